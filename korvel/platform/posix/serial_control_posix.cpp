// The serial control on Linux: COM n is the device named by KORVEL_COM<n>,
// else /dev/ttyS<n-1>, opened non-blocking with termios set from the
// Settings text. The port is locked with flock() while open, so a second
// control (another thread) cannot open it at the same time.
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "korvel_error.h"
#include "line_settings.h"
#include "serial_control.h"

namespace korvel {
namespace {

speed_t speedOf(unsigned baud) {
    switch (baud) {
    case 110: return B110;
    case 300: return B300;
    case 600: return B600;
    case 1200: return B1200;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    case 230400: return B230400;
    default: return B0;
    }
}

class PosixSerialControl final : public SerialControl {
public:
    ~PosixSerialControl() override { closePort(); }

    bool PortOpen() const override { return fd_ >= 0; }

    void PortOpen(bool open) override {
        if (!open) {
            closePort();
        } else if (fd_ < 0) {
            openPort();
        }
    }

    void CommPort(std::int16_t port) override {
        if (port < 1 || port > 16) throw KorvelError(kErrInvalidPort, "Invalid port number");
        if (fd_ >= 0 && port != port_) throw KorvelError(kErrPortOpen, "Port already open");
        port_ = port;
    }

    void Settings(const std::string& settings) override {
        const LineSettings parsed = parseLineSettings(settings);
        if (speedOf(parsed.baud) == B0 || parsed.stopBits10 == 15 || parsed.parity == 'm' || parsed.parity == 's' ||
            parsed.dataBits < 5)
            throw KorvelError(kErrInvalidProperty, "Invalid property value");
        settings_ = parsed;
        if (fd_ >= 0) applySettings();
    }

    void InputMode(std::int32_t mode) override {
        if (mode != 0 && mode != 1) throw KorvelError(kErrInvalidProperty, "Invalid property value");
    }

    void DTREnable(bool enable) override {
        dtr_ = enable;
        if (fd_ >= 0) setDtr(enable);
    }

    void RThreshold(std::int16_t count) override { checkNotNegative(count); }
    void SThreshold(std::int16_t count) override { checkNotNegative(count); }

    void InputLen(std::int16_t length) override {
        checkNotNegative(length);
        inputLen_ = length;
    }

    std::int16_t InBufferCount() const override {
        requireOpen();
        int waiting = 0;
        if (::ioctl(fd_, FIONREAD, &waiting) != 0) throw KorvelError(kErrRead, "Error reading the port");
        return static_cast<std::int16_t>(waiting > 32767 ? 32767 : waiting);
    }

    void InBufferCount(std::int16_t count) override {
        if (count != 0) throw KorvelError(kErrInvalidProperty, "Invalid property value");
        if (fd_ >= 0) ::tcflush(fd_, TCIFLUSH);
    }

    void OutBufferCount(std::int16_t count) override {
        if (count != 0) throw KorvelError(kErrInvalidProperty, "Invalid property value");
        if (fd_ >= 0) ::tcflush(fd_, TCOFLUSH);
    }

    // Hands the bytes to the driver and returns; the driver sends them on.
    void Output(const Bytes& bytes) override {
        requireOpen();
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

    Bytes Input() override {
        requireOpen();
        Bytes bytes;
        std::uint8_t chunk[256];
        for (;;) {
            std::size_t want = sizeof chunk;
            if (inputLen_ > 0) {
                if (bytes.size() >= static_cast<std::size_t>(inputLen_)) break;
                want = std::min(want, static_cast<std::size_t>(inputLen_) - bytes.size());
            }
            const ssize_t n = ::read(fd_, chunk, want);
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

private:
    static void checkNotNegative(std::int16_t value) {
        if (value < 0) throw KorvelError(kErrInvalidProperty, "Invalid property value");
    }

    void requireOpen() const {
        if (fd_ < 0) throw KorvelError(kErrPortNotOpen, "The port is not open");
    }

    std::string devicePath() const {
        const std::string variable = "KORVEL_COM" + std::to_string(port_);
        if (const char* value = std::getenv(variable.c_str()); value && *value) return value;
        return "/dev/ttyS" + std::to_string(port_ - 1);
    }

    void openPort() {
        const std::string path = devicePath();
        const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            throw KorvelError(kErrPortUnavailable, "The port is not available: " + path + ": " + std::strerror(errno));
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
        setDtr(dtr_);
        ::tcflush(fd_, TCIOFLUSH);
    }

    void applySettings() {
        termios tio{};
        if (::tcgetattr(fd_, &tio) != 0) throw KorvelError(kErrSetState, "Could not set the line settings");
        ::cfmakeraw(&tio);
        tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
        tio.c_cflag |= CREAD | CLOCAL;
        static const tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
        tio.c_cflag |= sizes[settings_.dataBits - 5];
        if (settings_.parity == 'e') tio.c_cflag |= PARENB;
        if (settings_.parity == 'o') tio.c_cflag |= PARENB | PARODD;
        if (settings_.stopBits10 == 20) tio.c_cflag |= CSTOPB;
        tio.c_cc[VMIN] = 0;
        tio.c_cc[VTIME] = 0;
        const speed_t speed = speedOf(settings_.baud);
        if (::cfsetispeed(&tio, speed) != 0 || ::cfsetospeed(&tio, speed) != 0 || ::tcsetattr(fd_, TCSANOW, &tio) != 0)
            throw KorvelError(kErrSetState, "Could not set the line settings");
    }

    // A device without modem lines (a pseudo-terminal) refuses; that is no error.
    void setDtr(bool on) {
        int dtr = TIOCM_DTR;
        ::ioctl(fd_, on ? TIOCMBIS : TIOCMBIC, &dtr);
    }

    void closePort() {
        if (fd_ < 0) return;
        if (dtr_) setDtr(false);
        ::close(fd_);  // releases the lock too
        fd_ = -1;
    }

    int fd_ = -1;
    std::int16_t port_ = 1;
    std::int16_t inputLen_ = 0;
    bool dtr_ = false;
    LineSettings settings_{};
};

}  // namespace

std::unique_ptr<SerialControl> makeSerialControl() { return std::make_unique<PosixSerialControl>(); }

void pauseMs(unsigned milliseconds) {
    timespec left{static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000L};
    while (::nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

}  // namespace korvel
