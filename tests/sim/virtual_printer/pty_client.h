// The client's end of a virtual printer's line, opened and driven as the
// library drives a serial port (or connected as it reaches a network
// printer), for the tests of the printer and its program.
#pragma once

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vptest {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;

inline int remainingMs(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return static_cast<int>(std::max<long long>(0, left.count()));
}

// Opened as the library opens a serial port; its line settings are left as
// the printer made them.
class Client {
public:
    explicit Client(const std::string& path) : fd_(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)) {}
    // Connected to 127.0.0.1 at `port`; not open when the connection failed.
    explicit Client(std::uint16_t port) : fd_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(port);
        if (fd_ >= 0 && ::connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) close();
        if (fd_ >= 0) ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) | O_NONBLOCK);
    }
    ~Client() { close(); }
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    bool isOpen() const { return fd_ >= 0; }
    int fd() const { return fd_; }
    void close() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

    // Writes everything, waiting for room; false when the line fails or stays full.
    bool write(const Bytes& bytes, std::chrono::milliseconds timeout = 10s) {
        const auto deadline = Clock::now() + timeout;
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
            if (n > 0) {
                done += static_cast<std::size_t>(n);
                continue;
            }
            if (n < 0 && errno != EAGAIN && errno != EINTR) return false;
            pollfd p{fd_, POLLOUT, 0};
            if (::poll(&p, 1, remainingMs(deadline)) <= 0) return false;
        }
        return true;
    }

    // Reads until `count` bytes have arrived or the time is up.
    Bytes read(std::size_t count, std::chrono::milliseconds timeout = 10s) {
        const auto deadline = Clock::now() + timeout;
        Bytes got;
        while (got.size() < count) {
            std::uint8_t buffer[4096];
            const ssize_t n = ::read(fd_, buffer, std::min(sizeof buffer, count - got.size()));
            if (n > 0) {
                got.insert(got.end(), buffer, buffer + n);
                continue;
            }
            if (n == 0 || (errno != EAGAIN && errno != EINTR)) break;
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, remainingMs(deadline)) <= 0) break;
        }
        return got;
    }

    // Whatever arrives within `wait`; used to show that nothing (more) came.
    Bytes readAnything(std::chrono::milliseconds wait) { return read(1 << 20, wait); }

private:
    int fd_;
};

}  // namespace vptest
