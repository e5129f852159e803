// A COM port on Linux: a tty opened non-blocking, set up with termios, and a
// worker that sleeps in poll() on the port and on an eventfd that
// stopWatching() signals, so an idle open port costs no CPU.
#include <asm/termbits.h>
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "../../serial_device.h"
#include "../../write_bounds.h"
#include "worker_wake.h"
#include "common/platform/posix/device_path.h"
#include "common/platform/posix/serial_line.h"

namespace slipdrv {
namespace {

class PosixSerialDevice final : public SerialDevice {
public:
    explicit PosixSerialDevice(const WriteLimits& limits)
        : wake_("can't create event1 in CComm::CComm"),
          cancel_("can't create event2 in CComm::CComm"),
          limits_(limits) {}
    ~PosixSerialDevice() override { close(); }

    bool open(int port) override {
        const int fd = ::open(kit::devicePath("SLIPDRV_COM", "/dev/ttyS", port).c_str(),
                              O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) return false;
        hungUp_ = false;
        cancel_.clear();
        fd_ = fd;
        return true;
    }

    void setUp(int baud) override {
        // Stale input goes; output a previous opener left is still the printer's.
        ::ioctl(fd_, TCFLSH, TCIFLUSH);
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
        // Only unread input goes. Output is never pending here: a write
        // returns once the driver has sent its run, or flushes what it could
        // not send. Flushing output anyway would, on a pseudo-terminal, throw
        // away bytes the other end has been handed but not yet read (so would
        // the next open).
        ::ioctl(fd, TCFLSH, TCIFLUSH);
        ::close(fd);
    }

    bool write(const std::uint8_t* bytes, std::uint32_t length) override {
        if (fd_ < 0 || cancel_.cancelled()) return false;
        WriteBounds bounds(length, limits_);
        if (send(bytes, length, bounds) && drain(bounds)) return true;
        // Not sent once the printer reads again, long after the call failed.
        ::ioctl(fd_, TCFLSH, TCOFLUSH);
        return false;
    }

    void cancelWrites() override { cancel_.signal(); }

    void purgeInput() override {
        const int fd = fd_;
        if (fd >= 0) ::ioctl(fd, TCFLSH, TCIFLUSH);
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
        const short seen = wake_.wait(hungUp_ ? -1 : fd_.load(), POLLIN);
        if (seen <= 0) return false;
        // A hung-up line reports readable for ever with nothing to read: from
        // then on wait for the wake-up alone instead of spinning.
        if ((seen & POLLIN) && inQueue() > 0) return true;
        if (seen & (POLLHUP | POLLERR | POLLNVAL)) hungUp_ = true;
        return false;
    }

    void stopWatching() override { wake_.signal(); }

private:
    // Hands the run to the driver; the bytes it accepts are the progress.
    bool send(const std::uint8_t* bytes, std::uint32_t length, WriteBounds& bounds) {
        std::uint32_t sent = 0;
        while (sent < length) {
            if (cancel_.cancelled()) return false;
            const ssize_t n = ::write(fd_, bytes + sent, length - sent);
            if (n > 0) {
                sent += static_cast<std::uint32_t>(n);
                bounds.moved();
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && errno != EAGAIN) return false;
            const std::uint32_t left = bounds.remainingMs();
            if (left == 0) return false;
            const short seen = cancel_.wait(fd_, POLLOUT, static_cast<int>(left));
            if (seen <= 0 || (seen & (POLLERR | POLLHUP | POLLNVAL))) return false;
        }
        return true;
    }

    // Like a flush of the file buffers: comes back when the driver has
    // transmitted the run; the output queue going down is the progress.
    bool drain(WriteBounds& bounds) {
        int last = -1;
        for (;;) {
            int pending = 0;
            if (::ioctl(fd_, TIOCOUTQ, &pending) != 0 || pending <= 0) return true;
            if (pending != last) bounds.moved();
            last = pending;
            if (bounds.remainingMs() == 0 || cancel_.cancelled()) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }

    // Read by the worker and the delivery thread (isOpen) while the host's
    // thread opens and closes the port.
    std::atomic<int> fd_{-1};
    WorkerWake wake_;
    WriteCancel cancel_;
    bool hungUp_ = false;  // touched by the worker only, reset by open
    WriteLimits limits_;
};

}  // namespace

std::unique_ptr<SerialDevice> makeSerialDevice(const WriteLimits& limits) {
    return std::make_unique<PosixSerialDevice>(limits);
}

}  // namespace slipdrv
