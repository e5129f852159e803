// A write to a non-blocking device under the write bounds, for the serial
// line and the USB printer alike: the run is handed to the driver, then the
// call waits until the driver has sent it, and each stretch of progress (bytes
// the driver took, its output queue going down) restarts the progress bound.
#pragma once

#include <errno.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <thread>

#include "../../write_bounds.h"
#include "worker_wake.h"

namespace slipdrv {

constexpr short kHangUpEvents = POLLHUP | POLLERR | POLLNVAL;

// `hungUp()` is called when the device reports a hang-up while a write waits
// for room; `refused()` when it refuses a write (errno set), and its result is
// the write's (an unplugged printer hangs up there too).

// Sleeps until `fd` takes bytes again, within the bounds; false on a hang-up,
// a cancel or a bound running out.
template <typename HungUp>
bool awaitWritable(int fd, const WriteBounds& bounds, WriteCancel& cancel, HungUp&& hungUp) {
    const std::uint32_t left = bounds.remainingMs();
    if (left == 0) return false;
    const short seen = cancel.wait(fd, POLLOUT, static_cast<int>(left));
    if (seen > 0 && (seen & kHangUpEvents)) hungUp();
    return seen > 0 && !(seen & kHangUpEvents);
}

// Hands the run to the driver; the bytes it accepts are the progress.
template <typename Refused, typename HungUp>
bool sendBounded(int fd, const std::uint8_t* bytes, std::uint32_t length, WriteBounds& bounds, WriteCancel& cancel,
                 Refused&& refused, HungUp&& hungUp) {
    std::uint32_t sent = 0;
    while (sent < length) {
        if (cancel.cancelled()) return false;
        const ssize_t n = ::write(fd, bytes + sent, length - sent);
        if (n > 0) {
            sent += static_cast<std::uint32_t>(n);
            bounds.moved();
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN) return refused();
        if (!awaitWritable(fd, bounds, cancel, hungUp)) return false;
    }
    return true;
}

// Like a flush of the file buffers: comes back when the driver has sent the
// run; its output queue going down is the progress. A device without an
// output queue to ask (the usblp driver) has sent it once it takes bytes
// again, when `writableMeansSent`; otherwise it is taken as sent.
template <typename HungUp>
bool drainBounded(int fd, WriteBounds& bounds, WriteCancel& cancel, bool writableMeansSent, HungUp&& hungUp) {
    int last = -1;
    for (;;) {
        int pending = 0;
        if (::ioctl(fd, TIOCOUTQ, &pending) != 0)
            return !writableMeansSent || awaitWritable(fd, bounds, cancel, hungUp);
        if (pending <= 0) return true;
        if (pending != last) bounds.moved();
        last = pending;
        if (bounds.remainingMs() == 0 || cancel.cancelled()) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

}  // namespace slipdrv
