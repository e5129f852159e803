// The serial control on Linux: COM n is the device named by KORVEL_COM<n>,
// else /dev/ttyS<n-1>, opened non-blocking and set up through termios2, so
// every rate, mark and space parity and 1.5 stop bits the checked Settings
// allow reach the driver. The port is locked with flock() while open, so a
// second control (another thread) cannot open it at the same time.
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <system_error>

#include "checked_serial_control.h"
#include "common/platform/posix/device_path.h"
#include "common/platform/posix/serial_line.h"

namespace korvel {
namespace {

class PosixSerialControl final : public CheckedSerialControl {
public:
    ~PosixSerialControl() override { closePort(); }

private:
    bool isOpen() const override { return fd_ >= 0; }

    void openPort(std::int16_t port) override {
        const std::string path = kit::devicePath("KORVEL_COM", "/dev/ttyS", port);
        const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            throw KorvelError(kErrPortUnavailable,
                              "The port is not available: " + path + ": " + std::generic_category().message(errno));
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            ::close(fd);
            throw KorvelError(kErrPortOpen, "Port already open");
        }
        fd_ = fd;
        try {
            applySettings();
        } catch (...) {
            closePort();
            throw;
        }
        applyDtr();
        ::tcflush(fd_, TCIOFLUSH);
    }

    void closePort() override {
        if (fd_ < 0) return;
        if (dtrEnable()) setDtr(false);
        ::close(fd_);  // releases the lock too
        fd_ = -1;
    }

    // With 5 data bits the UART's long stop setting is 1.5 bits, which is
    // the only 1.5 the checked Settings let through.
    void applySettings() override {
        const LineSettings& s = lineSettings();
        kit::SerialLine line;
        line.baud = s.baud;
        line.dataBits = s.dataBits;
        line.parity = s.parity;
        line.twoStopBits = s.stopBits10 != 10;
        if (!kit::setUpSerialLine(fd_, line)) throw KorvelError(kErrSetState, "Could not set the line settings");
    }

    void applyDtr() override { setDtr(dtrEnable()); }

    std::size_t waitingCount() const override {
        int waiting = 0;
        if (::ioctl(fd_, FIONREAD, &waiting) != 0) throw KorvelError(kErrRead, "Error reading the port");
        return waiting > 0 ? static_cast<std::size_t>(waiting) : 0;
    }

    void purgeInput() override { ::tcflush(fd_, TCIFLUSH); }
    void purgeOutput() override { ::tcflush(fd_, TCOFLUSH); }

    // Hands the bytes to the driver and returns; the driver sends them on.
    void queueOutput(const Bytes& bytes) override {
        std::size_t sent = 0;
        while (sent < bytes.size()) {
            const ssize_t n = ::write(fd_, bytes.data() + sent, bytes.size() - sent);
            if (n > 0) {
                sent += static_cast<std::size_t>(n);
            } else if (n < 0 && errno == EAGAIN) {
                // The driver's queue is full: wait for room, as a full transmit buffer would.
                pollfd p{fd_, POLLOUT, 0};
                if (::poll(&p, 1, 5000) <= 0) throw KorvelError(kErrWrite, "Error writing the port");
            } else if (!(n < 0 && errno == EINTR)) {
                throw KorvelError(kErrWrite, "Error writing the port");
            }
        }
    }

    Bytes readInput(std::size_t most) override {
        Bytes bytes;
        std::uint8_t chunk[256];
        while (bytes.size() < most) {
            const ssize_t n = ::read(fd_, chunk, std::min(sizeof chunk, most - bytes.size()));
            if (n > 0) {
                bytes.insert(bytes.end(), chunk, chunk + n);
            } else if (n == 0 || errno == EAGAIN || errno == EIO) {
                break;  // nothing more buffered (EIO: a pty whose other side is gone)
            } else if (errno != EINTR) {
                throw KorvelError(kErrRead, "Error reading the port");
            }
        }
        return bytes;
    }

    // A device without modem lines (a pseudo-terminal) refuses; that is no error.
    void setDtr(bool on) {
        int dtr = TIOCM_DTR;
        ::ioctl(fd_, on ? TIOCMBIS : TIOCMBIC, &dtr);
    }

    int fd_ = -1;
};

}  // namespace

std::unique_ptr<SerialControl> makeSerialControl() { return std::make_unique<PosixSerialControl>(); }

void pauseMs(unsigned milliseconds) {
    timespec left{static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000L};
    while (::nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

}  // namespace korvel
