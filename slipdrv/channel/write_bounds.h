// The bounds of one write, for every device backend: the total (a time per
// byte plus a constant) and the progress bound, which starts again whenever
// the printer takes bytes.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>

namespace slipdrv {

struct WriteLimits {
    std::uint32_t msPerByte;
    std::uint32_t constantMs = 30000;
    // How long a write may go without the printer taking a byte before it
    // fails: a printer that has stopped reading fails the call long before
    // the total bound would.
    std::uint32_t progressBoundMs = 30000;
};

// A serial line: 100 ms per byte plus 30 s, as the port's write time-outs.
constexpr WriteLimits kSerialWriteLimits{100};
// A network printer: 1 ms per byte, about the pace of a 9600-baud line, which
// no working network printer is slower than, plus 30 s.
constexpr WriteLimits kNetworkWriteLimits{1};

class WriteBounds {
public:
    using Clock = std::chrono::steady_clock;

    WriteBounds(std::uint32_t length, const WriteLimits& limits)
        : total_(Clock::now() +
                 std::chrono::milliseconds(std::uint64_t{limits.msPerByte} * length + limits.constantMs)),
          progressBound_(limits.progressBoundMs),
          lastMoved_(Clock::now()) {}

    // The printer took bytes: the progress bound starts again.
    void moved() { lastMoved_ = Clock::now(); }

    // Milliseconds until the first of the two runs out, rounded up so that a
    // wait never ends before it; 0 once one has.
    std::uint32_t remainingMs() const {
        const auto end = std::min(total_, lastMoved_ + progressBound_);
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(end - Clock::now()).count();
        return left <= 0 ? 0 : static_cast<std::uint32_t>(std::min<long long>(left, 1 << 30));
    }

private:
    Clock::time_point total_;
    std::chrono::milliseconds progressBound_;
    Clock::time_point lastMoved_;
};

}  // namespace slipdrv
