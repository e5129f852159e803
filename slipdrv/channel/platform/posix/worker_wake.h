// The worker's sleep on Linux, shared by the serial line and the network
// printer: poll() on the device and on an eventfd that stopWatching()
// signals, so an idle open port costs no CPU. Also the cancelling of a
// write, which sleeps the same way.
#pragma once

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>

#include "../../../error.h"

namespace slipdrv {

// One eventfd, raised from any thread and drained by the thread that sleeps on it.
class EventFd {
public:
    // Throws Error(`failure`) when no eventfd can be made.
    explicit EventFd(const char* failure) : fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
        if (fd_ < 0) throw Error(failure);
    }
    ~EventFd() { ::close(fd_); }
    EventFd(const EventFd&) = delete;
    EventFd& operator=(const EventFd&) = delete;

    int fd() const { return fd_; }
    void raise() {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(fd_, &one, sizeof one);
    }
    void drain() {
        std::uint64_t count;
        while (::read(fd_, &count, sizeof count) > 0) {
        }
    }

private:
    int fd_;
};

class WorkerWake {
public:
    // Throws Error(`failure`) when no eventfd can be made.
    explicit WorkerWake(const char* failure) : wake_(failure) {}

    // From any thread: ends a pending wait (or the next one).
    void signal() { wake_.raise(); }

    // Sleeps until signal() (the signal is then used up and the result is 0),
    // or until `fd` reports one of `events` or a hang-up or error; returns its
    // revents then. A negative `fd` is not watched. -1 when poll fails.
    short wait(int fd, short events) {
        pollfd p[2] = {{wake_.fd(), POLLIN, 0}, {fd, events, 0}};
        for (;;) {
            const int n = ::poll(p, 2, -1);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) return -1;
            break;
        }
        if (p[0].revents & POLLIN) {
            wake_.drain();
            return 0;
        }
        return p[1].revents;
    }

private:
    EventFd wake_;
};

// Lets another thread end a write that waits on the device: once signalled,
// every wait returns at once until clear() (at the next open).
class WriteCancel {
public:
    // Throws Error(`failure`) when no eventfd can be made.
    explicit WriteCancel(const char* failure) : event_(failure) {}

    // From any thread.
    void signal() {
        cancelled_ = true;
        event_.raise();
    }

    // On the writing thread, while no write runs.
    void clear() {
        cancelled_ = false;
        event_.drain();
    }

    bool cancelled() const { return cancelled_; }

    // Waits at most `ms` for `events` on `fd`; their revents, 0 on time-out,
    // -1 when cancelled (or when poll fails).
    short wait(int fd, short events, int ms) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        pollfd p[2] = {{event_.fd(), POLLIN, 0}, {fd, events, 0}};
        for (;;) {
            if (cancelled_) return -1;
            const int n = ::poll(p, 2, ms);
            if (n < 0 && errno == EINTR) {
                // Only what is left of the wait: signals must not stretch it.
                const auto left =
                    std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
                ms = static_cast<int>(std::max<long long>(left.count(), 0));
                continue;
            }
            if (n < 0 || (p[0].revents & POLLIN)) return -1;
            return n == 0 ? short{0} : p[1].revents;
        }
    }

private:
    EventFd event_;
    std::atomic<bool> cancelled_{false};
};

}  // namespace slipdrv
