// A network printer on Linux: a non-blocking TCP socket, and a worker that
// sleeps in poll() on it and on an eventfd that stopWatching() signals, as the
// serial line's does. Sends use MSG_NOSIGNAL: a printer that went away makes
// the write fail instead of raising SIGPIPE in the host. What the printer has
// taken is what it has acknowledged: the bytes handed over less what the
// system's send queue still holds (SIOCOUTQ).
#include <errno.h>
#include <linux/sockios.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <string>

#include "../../socket_device.h"
#include "../../write_bounds.h"
#include "worker_wake.h"

namespace slipdrv {
namespace {

using Clock = std::chrono::steady_clock;

int msUntil(Clock::time_point deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

// Waits for `events` on `fd` for at most `ms`; the events seen, 0 on time-out.
short pollOne(int fd, short events, int ms) {
    pollfd p{fd, events, 0};
    for (;;) {
        const int n = ::poll(&p, 1, ms);
        if (n < 0 && errno == EINTR) continue;
        return n > 0 ? p.revents : short{0};
    }
}

// One connection attempt to one address, bounded by the deadline; the socket or -1.
int connectTo(const addrinfo& address, Clock::time_point deadline) {
    const int fd = ::socket(address.ai_family, address.ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, address.ai_protocol);
    if (fd < 0) return -1;
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &kSendBufferBytes, sizeof kSendBufferBytes);
    if (::connect(fd, address.ai_addr, address.ai_addrlen) == 0) return fd;
    if (errno == EINPROGRESS || errno == EINTR) {
        if (pollOne(fd, POLLOUT, msUntil(deadline)) & (POLLOUT | POLLERR | POLLHUP)) {
            int error = 0;
            socklen_t size = sizeof error;
            if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0) return fd;
        }
    }
    ::close(fd);
    return -1;
}

// How often a write that waits for room looks at what the printer has
// acknowledged: room opens only once a third of the buffer is free, and a
// printer that takes a little at a time is still making progress.
constexpr int kProgressLookMs = 100;

// Bytes handed to the system that the printer has not acknowledged yet.
std::uint64_t unacknowledged(int fd) {
    int queued = 0;
    if (::ioctl(fd, SIOCOUTQ, &queued) != 0 || queued < 0) return 0;
    return static_cast<std::uint64_t>(queued);
}

// The connection is gone both ways (reset, or closed by a failed write).
bool connectionGone(int fd) { return (pollOne(fd, 0, 0) & (POLLHUP | POLLERR | POLLNVAL)) != 0; }

// The printer has ended its side of the stream: it sends nothing more, and
// may or may not still read.
bool printerFinished(int fd) { return (pollOne(fd, POLLRDHUP, 0) & POLLRDHUP) != 0; }

// Reads and drops what is waiting now (not what keeps arriving).
void discardInput(int fd) {
    int waiting = 0;
    if (fd < 0 || ::ioctl(fd, FIONREAD, &waiting) != 0) return;
    std::uint8_t sink[4096];
    while (waiting > 0) {
        const ssize_t n = ::recv(fd, sink, std::min(sizeof sink, static_cast<std::size_t>(waiting)), MSG_DONTWAIT);
        if (n <= 0) return;
        waiting -= static_cast<int>(n);
    }
}

class PosixSocketDevice final : public SocketDevice {
public:
    explicit PosixSocketDevice(const WriteLimits& limits)
        : wake_("can't create the wake-up event of the network port"),
          cancel_("can't create the cancel event of the network port"),
          limits_(limits) {}
    ~PosixSocketDevice() override { close(); }
    PosixSocketDevice(const PosixSocketDevice&) = delete;
    PosixSocketDevice& operator=(const PosixSocketDevice&) = delete;

    bool connect(const std::string& host, std::uint16_t port) override {
        close();
        cancel_.clear();
        const auto deadline = Clock::now() + std::chrono::milliseconds(kConnectTimeoutMs);
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        hints.ai_flags = AI_NUMERICSERV;
        addrinfo* found = nullptr;
        if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0) return false;
        int fd = -1;
        for (const addrinfo* address = found; address && fd < 0 && msUntil(deadline) > 0; address = address->ai_next)
            fd = connectTo(*address, deadline);
        ::freeaddrinfo(found);
        if (fd < 0) return false;
        hungUp_ = false;
        fd_ = fd;
        return true;
    }

    bool isOpen() const override { return fd_ >= 0; }

    // The write side is shut first, so the printer sees the end of the stream
    // after the last byte rather than a reset.
    void close() override {
        const int fd = fd_.exchange(-1);
        if (fd < 0) return;
        discardInput(fd);
        ::shutdown(fd, SHUT_WR);
        ::close(fd);
    }

    void purgeInput() override { discardInput(fd_); }

    // After a half-close the run must also be acknowledged: a printer that
    // closed altogether answers the bytes with a reset, which only shows once
    // they have reached it, and the write fails instead of reporting a print
    // that was never read.
    bool write(const std::uint8_t* bytes, std::uint32_t length) override {
        const int fd = fd_;
        if (fd < 0 || cancel_.cancelled()) return false;
        WriteBounds bounds(length, limits_);
        if (!connectionGone(fd) && sendAll(fd, bytes, length, bounds) &&
            (!printerFinished(fd) || awaitAcknowledged(fd, bounds)))
            return true;
        // Resetting the connection drops what the system still holds of the
        // run, so a printer that reads again never gets its tail. The socket
        // stays, unconnected: later writes fail, the worker sees a hang-up.
        sockaddr noAddress{};
        noAddress.sa_family = AF_UNSPEC;
        [[maybe_unused]] const int reset = ::connect(fd, &noAddress, sizeof noAddress);
        return false;
    }

    void cancelWrites() override { cancel_.signal(); }

    bool receiveEnded() const override { return hungUp_; }

    std::uint32_t inQueue() override {
        int waiting = 0;
        if (fd_ < 0 || ::ioctl(fd_, FIONREAD, &waiting) != 0 || waiting < 0) return 0;
        return static_cast<std::uint32_t>(waiting);
    }

    std::uint32_t readPort(std::uint8_t* destination, std::uint32_t maximum) override {
        const std::uint32_t k = std::min(maximum, inQueue());
        if (k == 0) return 0;
        const ssize_t n = ::recv(fd_, destination, k, MSG_DONTWAIT);
        return n > 0 ? static_cast<std::uint32_t>(n) : 0;
    }

    bool watchReceive() override { return fd_ >= 0; }

    bool waitReceive() override {
        const short seen = wake_.wait(hungUp_ ? -1 : fd_.load(), POLLIN | POLLRDHUP);
        if (seen <= 0) return false;
        if ((seen & POLLIN) && inQueue() > 0) return true;
        // The printer ended its side of the stream (readable for ever with
        // nothing to read), or the connection was reset: from then on wait
        // for the wake-up alone instead of spinning. Readable with no such
        // sign means a purge took the bytes first; the next wait sees what
        // comes.
        if (seen & (POLLRDHUP | POLLHUP | POLLERR | POLLNVAL)) hungUp_ = true;
        return false;
    }

    void stopWatching() override { wake_.signal(); }

private:
    // Hands the run to the system; what the printer acknowledges is the progress.
    bool sendAll(int fd, const std::uint8_t* bytes, std::uint32_t length, WriteBounds& bounds) {
        // What the system holds already (the tail of earlier runs) counts as handed over.
        std::uint64_t handed = unacknowledged(fd);
        std::uint64_t taken = 0;
        const auto lookAtProgress = [&] {
            const std::uint64_t queued = std::min(unacknowledged(fd), handed);
            if (handed - queued > taken) {
                taken = handed - queued;
                bounds.moved();
            }
        };
        std::uint32_t sent = 0;
        while (sent < length) {
            if (cancel_.cancelled()) return false;
            const ssize_t n = ::send(fd, bytes + sent, length - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n > 0) {
                sent += static_cast<std::uint32_t>(n);
                handed += static_cast<std::uint64_t>(n);
                lookAtProgress();
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && errno != EAGAIN) return false;
            lookAtProgress();
            const std::uint32_t left = bounds.remainingMs();
            if (left == 0) return false;
            const short seen =
                cancel_.wait(fd, POLLOUT, static_cast<int>(std::min<std::uint32_t>(left, kProgressLookMs)));
            if (seen < 0 || (seen & (POLLERR | POLLHUP | POLLNVAL))) return false;
        }
        return true;
    }

    // Waits until the printer has acknowledged everything handed over; false
    // when the connection is reset first, or a bound or a cancel ends the
    // wait. What it acknowledges meanwhile is progress.
    bool awaitAcknowledged(int fd, WriteBounds& bounds) {
        std::uint64_t last = unacknowledged(fd);
        for (;;) {
            // A reset may arrive together with the last acknowledgement.
            const std::uint64_t queued = unacknowledged(fd);
            if (connectionGone(fd)) return false;
            if (queued == 0) return true;
            if (queued < last) bounds.moved();
            last = queued;
            const std::uint32_t left = bounds.remainingMs();
            if (left == 0 || cancel_.wait(fd, 0, static_cast<int>(std::min<std::uint32_t>(left, 2))) < 0) return false;
        }
    }

    // Read by the worker and the delivery thread (isOpen) while the host's
    // thread connects and closes.
    std::atomic<int> fd_{-1};
    WorkerWake wake_;
    WriteCancel cancel_;
    // Written by the worker (reset by connect), read by the host's reads.
    std::atomic<bool> hungUp_{false};
    WriteLimits limits_;
};

}  // namespace

std::unique_ptr<SocketDevice> makeSocketDevice(const WriteLimits& limits) {
    return std::make_unique<PosixSocketDevice>(limits);
}

}  // namespace slipdrv
