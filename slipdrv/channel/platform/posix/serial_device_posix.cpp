// A COM port on Linux: a tty opened non-blocking, set up with termios, and a
// worker that sleeps in poll() on the port and on an eventfd that
// stopWatching() signals, so an idle open port costs no CPU.
#include <asm/termbits.h>
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "../../serial_device.h"
#include "common/platform/posix/device_path.h"
#include "common/platform/posix/serial_line.h"

namespace slipdrv {
namespace {

constexpr std::uint32_t kWriteMsPerByte = 100;
constexpr std::uint32_t kWriteConstantMs = 30000;

using Clock = std::chrono::steady_clock;

int remainingMs(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left <= 0 ? 0 : static_cast<int>(std::min<long long>(left, 1 << 30));
}

class PosixSerialDevice final : public SerialDevice {
public:
    PosixSerialDevice() {
        wake_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        if (wake_ < 0) throw "can't create event1 in CComm::CComm";
    }
    ~PosixSerialDevice() override {
        close();
        ::close(wake_);
    }

    bool open(int port) override {
        const int fd = ::open(kit::devicePath("SLIPDRV_COM", "/dev/ttyS", port).c_str(),
                              O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) return false;
        hungUp_ = false;
        fd_ = fd;
        return true;
    }

    void setUp(int baud) override {
        purge();
        // 8N1 with the CTS/RTS handshake at the caller's rate, standard or not.
        kit::SerialLine line;
        line.baud = static_cast<unsigned>(baud);
        line.rtsCts = true;
        kit::setUpSerialLine(fd_, line);
        // DTR is raised by hand; a device without modem lines (a pty) refuses, which is fine.
        int dtr = TIOCM_DTR;
        ::ioctl(fd_, TIOCMBIS, &dtr);
    }

    bool isOpen() const override { return fd_ >= 0; }

    void close() override {
        const int fd = fd_.exchange(-1);
        if (fd < 0) return;
        int dtr = TIOCM_DTR;
        ::ioctl(fd, TIOCMBIC, &dtr);
        ::ioctl(fd, TCFLSH, TCIOFLUSH);
        ::close(fd);
    }

    bool write(const std::uint8_t* bytes, std::uint32_t length) override {
        if (fd_ < 0) return false;
        const auto deadline =
            Clock::now() + std::chrono::milliseconds(std::uint64_t{kWriteMsPerByte} * length + kWriteConstantMs);
        std::uint32_t sent = 0;
        while (sent < length) {
            const ssize_t n = ::write(fd_, bytes + sent, length - sent);
            if (n > 0) {
                sent += static_cast<std::uint32_t>(n);
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && errno != EAGAIN) break;
            pollfd p{fd_, POLLOUT, 0};
            const int left = remainingMs(deadline);
            if (left == 0 || ::poll(&p, 1, left) <= 0 || (p.revents & (POLLERR | POLLHUP | POLLNVAL))) break;
        }
        // Like a flush of the file buffers: come back when the driver has transmitted the run.
        while (sent == length) {
            int pending = 0;
            if (::ioctl(fd_, TIOCOUTQ, &pending) != 0 || pending <= 0) break;
            if (remainingMs(deadline) == 0) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return sent == length;
    }

    std::uint32_t inQueue() override {
        int waiting = 0;
        if (fd_ < 0 || ::ioctl(fd_, FIONREAD, &waiting) != 0 || waiting < 0) return 0;
        return static_cast<std::uint32_t>(waiting);
    }

    std::uint32_t readPort(std::uint8_t* destination, std::uint32_t maximum) override {
        const std::uint32_t k = std::min(maximum, inQueue());
        if (k == 0) return 0;
        const ssize_t n = ::read(fd_, destination, k);
        return n > 0 ? static_cast<std::uint32_t>(n) : 0;
    }

    bool watchReceive() override { return fd_ >= 0; }

    bool waitReceive() override {
        // After a hang-up nothing more can arrive: sleep on the wake-up alone.
        pollfd p[2] = {{wake_, POLLIN, 0}, {hungUp_ ? -1 : fd_.load(), POLLIN, 0}};
        for (;;) {
            const int n = ::poll(p, 2, -1);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) return false;
            break;
        }
        if (p[0].revents & POLLIN) {
            std::uint64_t count;
            while (::read(wake_, &count, sizeof count) > 0) {
            }
            return false;
        }
        // A hung-up line reports readable for ever with nothing to read: from
        // then on wait for the wake-up alone instead of spinning.
        if ((p[1].revents & POLLIN) && inQueue() > 0) return true;
        if (p[1].revents & (POLLHUP | POLLERR | POLLNVAL)) hungUp_ = true;
        return false;
    }

    void stopWatching() override {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(wake_, &one, sizeof one);
    }

private:
    void purge() { ::ioctl(fd_, TCFLSH, TCIOFLUSH); }

    // Read by the worker and the delivery thread (isOpen) while the host's
    // thread opens and closes the port.
    std::atomic<int> fd_{-1};
    int wake_ = -1;
    bool hungUp_ = false;  // touched by the worker only, reset by open
};

}  // namespace

std::unique_ptr<SerialDevice> makeSerialDevice() { return std::make_unique<PosixSerialDevice>(); }

}  // namespace slipdrv
