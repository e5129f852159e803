// An LPT port on Linux: the printer device (or the path in SLIPDRV_LPT<n>)
// opened non-blocking, every transfer bounded by the caller's time-out.
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "../../parallel_device.h"
#include "common/platform/posix/device_path.h"

namespace slipdrv {
namespace {

using Clock = std::chrono::steady_clock;

class PosixParallelDevice final : public ParallelDevice {
public:
    ~PosixParallelDevice() override { close(); }

    bool open(int port) override {
        fd_ =
            ::open(kit::devicePath("SLIPDRV_LPT", "/dev/lp", port).c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        return fd_ >= 0;
    }

    void close() override {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

    bool isOpen() const override { return fd_ >= 0; }

    // Everything written: complete. Waits for room until the time-out.
    Transfer write(const std::uint8_t* bytes, int length, int timeoutMs) override {
        return transfer(length, timeoutMs, POLLOUT,
                        [&](int done) { return ::write(fd_, bytes + done, static_cast<std::size_t>(length - done)); });
    }

    // Like the port's own reads, a read is complete once anything has arrived.
    Transfer read(std::uint8_t* destination, int length, int timeoutMs) override {
        bool any = false;
        return transfer(length, timeoutMs, POLLIN, [&](int done) -> ssize_t {
            if (any) return -2;  // stop: the read completed with what came
            const ssize_t n = ::read(fd_, destination + done, static_cast<std::size_t>(length - done));
            if (n > 0) any = true;
            return n;
        });
    }

    // A USB printer's device (or a pseudo-terminal) keeps what came in unasked
    // until it is read. At most kMostDiscarded bytes, so a printer that never
    // stops talking cannot hold the call.
    void discardReceived() override {
        std::uint8_t sink[512];
        for (std::size_t taken = 0; taken < kMostDiscarded;) {
            const ssize_t n = ::read(fd_, sink, sizeof sink);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return;
            taken += static_cast<std::size_t>(n);
        }
    }

private:
    static constexpr std::size_t kMostDiscarded = 65536;

    // `step(done)` moves bytes: >0 moved, 0 or EAGAIN wait, -2 done, other errors fail.
    template <typename Step>
    Transfer transfer(int length, int timeoutMs, short direction, Step&& step) {
        // The time-out is unsigned, as the platform's waits take it: -1 waits about 49 days.
        const auto deadline = Clock::now() + std::chrono::milliseconds(static_cast<std::uint32_t>(timeoutMs));
        int done = 0;
        bool waited = false;
        bool readyButIdle = false;  // the last poll said ready and still nothing moved
        while (done < length) {
            const ssize_t n = step(done);
            if (n == -2) break;
            if (n > 0) {
                done += static_cast<int>(n);
                readyButIdle = false;
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && errno != EAGAIN) return waited ? Transfer::kWaitFailed : Transfer::kFailed;
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (left <= 0) return Transfer::kTimedOut;
            // A device that claims to be ready but moves nothing (or has nobody at the
            // other end) is retried gently rather than in a tight loop.
            if (readyButIdle) std::this_thread::sleep_for(std::chrono::milliseconds(1));
            waited = true;
            pollfd p{fd_, direction, 0};
            const int ready = ::poll(&p, 1, static_cast<int>(std::min<long long>(left, 1 << 30)));
            if (ready < 0 && errno != EINTR) return Transfer::kWaitFailed;
            if (ready > 0 && (p.revents & (POLLERR | POLLNVAL))) return Transfer::kWaitFailed;
            readyButIdle = ready > 0;
        }
        return waited ? Transfer::kCompleted : Transfer::kCompletedAtOnce;
    }

    int fd_ = -1;
};

}  // namespace

std::unique_ptr<ParallelDevice> makeParallelDevice() { return std::make_unique<PosixParallelDevice>(); }

}  // namespace slipdrv
