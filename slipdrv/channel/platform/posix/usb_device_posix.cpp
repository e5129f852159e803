// A USB printer on Linux: the usblp driver's character device, opened
// non-blocking, with the worker sleeping in poll() on it and on the wake-up
// that stopWatching() raises (worker_wake.h), as the serial line does.
//
// The usblp driver answers no FIONREAD: once poll() reports it readable the
// device says bytes may be waiting, and readPort reads what has come. A
// device that does count its input (a pseudo-terminal standing for the
// printer) is read as a serial line is.
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <optional>
#include <string>
#include <thread>

#include "../../usb_device.h"
#include "../../write_bounds.h"
#include "bounded_write.h"
#include "worker_wake.h"

namespace slipdrv {
namespace {

// What inQueue reports for a device without a byte count once it is readable:
// the usblp driver hands out at most this much at a time.
constexpr std::uint32_t kMayBeWaiting = 1024;

// The byte count of a device that keeps one; nothing for one that does not.
std::optional<std::uint32_t> waitingBytes(int fd) {
    int waiting = 0;
    if (fd < 0 || ::ioctl(fd, FIONREAD, &waiting) != 0) return std::nullopt;
    return static_cast<std::uint32_t>(std::max(waiting, 0));
}

class PosixUsbDevice final : public UsbDevice {
public:
    explicit PosixUsbDevice(const WriteLimits& limits)
        : wake_("can't create the USB printer's receive event"),
          cancel_("can't create the USB printer's cancel event"),
          limits_(limits) {}
    ~PosixUsbDevice() override { close(); }

    PosixUsbDevice(const PosixUsbDevice&) = delete;
    PosixUsbDevice& operator=(const PosixUsbDevice&) = delete;

    bool open(const std::string& path) override {
        if (isOpen()) close();
        const int fd = ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (fd < 0) return false;
        hungUp_ = false;
        mayHoldInput_ = false;
        cancel_.clear();
        fd_ = fd;
        return true;
    }

    bool isOpen() const override { return fd_ >= 0; }

    void close() override {
        const int fd = fd_.exchange(-1);
        if (fd >= 0) ::close(fd);
    }

    void purgeInput() override {
        const int fd = fd_;
        if (fd < 0) return;
        mayHoldInput_ = false;
        if (::ioctl(fd, TCFLSH, TCIFLUSH) == 0) return;
        // No input queue to flush: read off what the driver holds now.
        std::uint8_t scratch[kMayBeWaiting];
        for (int i = 0; i < 64 && ::read(fd, scratch, sizeof scratch) > 0; ++i) {
        }
    }

    bool write(const std::uint8_t* bytes, std::uint32_t length) override {
        if (fd_ < 0 || hungUp_ || cancel_.cancelled()) return false;
        WriteBounds bounds(length, limits_);
        if (send(bytes, length, bounds) && drain(bounds)) return true;
        // A device with an output queue (a terminal) drops what it still
        // holds, so it is not printed once the printer reads again; usblp
        // keeps none beyond the transfer in flight.
        ::ioctl(fd_, TCFLSH, TCOFLUSH);
        return false;
    }

    void cancelWrites() override { cancel_.signal(); }

    bool receiveEnded() const override { return hungUp_; }

    std::uint32_t inQueue() override {
        const auto waiting = waitingBytes(fd_);
        if (waiting) return *waiting;
        return fd_ >= 0 && mayHoldInput_ ? kMayBeWaiting : 0;
    }

    std::uint32_t readPort(std::uint8_t* destination, std::uint32_t maximum) override {
        const int fd = fd_;
        if (fd < 0 || maximum == 0) return 0;
        if (const auto waiting = waitingBytes(fd)) {
            const std::uint32_t k = std::min(maximum, *waiting);
            if (k == 0) return 0;
            const ssize_t n = ::read(fd, destination, k);
            return n > 0 ? static_cast<std::uint32_t>(n) : 0;
        }
        const ssize_t n = ::read(fd, destination, maximum);
        if (n > 0) return static_cast<std::uint32_t>(n);
        mayHoldInput_ = false;
        // The end of the stream, or an unplugged printer (ENODEV): nothing
        // more can come. Only "nothing yet" leaves the device as it is.
        if (n == 0 || (errno != EAGAIN && errno != EINTR)) hungUp_ = true;
        return 0;
    }

    bool watchReceive() override { return fd_ >= 0; }

    bool waitReceive() override {
        // After a hang-up nothing more can arrive: sleep on the wake-up alone.
        const short seen = wake_.wait(hungUp_ ? -1 : fd_.load(), POLLIN);
        if (seen <= 0) return false;
        const auto waiting = waitingBytes(fd_);
        if ((seen & POLLIN) && waiting && *waiting > 0) return true;
        // A hung-up device reports itself ready for ever with nothing to
        // read: from then on wait for the wake-up alone instead of spinning.
        // (An unplugged usblp printer, or a hung-up terminal, no longer
        // counts its input either, and has nothing more to hand out.)
        if (seen & kHangUpEvents) {
            hungUp_ = true;
            return false;
        }
        if ((seen & POLLIN) && !waiting) {
            // Whether bytes or the end came, the read tells.
            mayHoldInput_ = true;
            return true;
        }
        return false;
    }

    void stopWatching() override { wake_.signal(); }

private:
    bool send(const std::uint8_t* bytes, std::uint32_t length, WriteBounds& bounds) {
        return sendBounded(
            fd_, bytes, length, bounds, cancel_, [this] { return failed(); }, [this] { hungUp_ = true; });
    }

    // Comes back when the run has gone out: a device with an output queue
    // (a terminal) when the queue is empty, the usblp driver when its last
    // transfer has completed (it reports writable again).
    bool drain(WriteBounds& bounds) {
        return drainBounded(fd_, bounds, cancel_, true, [this] { hungUp_ = true; });
    }

    // A write the device refused: an unplugged printer (ENODEV) or a hung-up
    // line (EIO) stays so until the next open.
    bool failed() {
        if (errno == ENODEV || errno == EIO || errno == EPIPE || errno == ENXIO) hungUp_ = true;
        return false;
    }

    // Read by the worker and the delivery thread (isOpen) while the host's
    // thread opens and closes the device.
    std::atomic<int> fd_{-1};
    WorkerWake wake_;
    WriteCancel cancel_;
    // Set by the worker (and by a write that found the device gone), read by
    // the host's thread; reset by open.
    std::atomic<bool> hungUp_{false};
    // A device without a byte count was readable and has not been read empty.
    std::atomic<bool> mayHoldInput_{false};
    WriteLimits limits_;
};

}  // namespace

std::unique_ptr<UsbDevice> makeUsbDevice(const WriteLimits& limits) { return std::make_unique<PosixUsbDevice>(limits); }

}  // namespace slipdrv
