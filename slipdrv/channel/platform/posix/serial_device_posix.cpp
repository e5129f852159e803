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
#include "bounded_write.h"
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
    // A serial line neither hangs up for good nor refuses a write for a reason of its own.
    bool send(const std::uint8_t* bytes, std::uint32_t length, WriteBounds& bounds) {
        return sendBounded(
            fd_, bytes, length, bounds, cancel_, [] { return false; }, [] {});
    }
    bool drain(WriteBounds& bounds) {
        return drainBounded(fd_, bounds, cancel_, false, [] {});
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
