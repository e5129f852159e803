// The two bounds of one serial write, for both device backends: the total
// (100 ms per byte plus 30 s, as the port's write time-outs) and the progress
// bound, which starts again whenever a byte moves.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>

namespace slipdrv {

constexpr std::uint32_t kWriteMsPerByte = 100;
constexpr std::uint32_t kWriteConstantMs = 30000;

class WriteBounds {
public:
    using Clock = std::chrono::steady_clock;

    WriteBounds(std::uint32_t length, std::uint32_t progressBoundMs)
        : total_(Clock::now() + std::chrono::milliseconds(std::uint64_t{kWriteMsPerByte} * length + kWriteConstantMs)),
          progressBound_(progressBoundMs),
          lastMoved_(Clock::now()) {}

    // Bytes moved: the progress bound starts again.
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
