// The serial control on Windows: COM n is "\\.\COMn", opened for overlapped
// transfers and exclusively (a second user gets "Port already open").
// Writes are started and not waited for; the pending ones are collected on
// the next write and when the port closes. Reads take what the driver holds.
#include <windows.h>

#include <deque>
#include <string>

#include "korvel_error.h"
#include "line_settings.h"
#include "serial_control.h"

namespace korvel {
namespace {

constexpr DWORD kQueueSize = 4096;

struct PendingWrite {
    OVERLAPPED overlapped{};
    Bytes bytes;
};

class Win32SerialControl final : public SerialControl {
public:
    ~Win32SerialControl() override { closePort(); }

    bool PortOpen() const override { return handle_ != INVALID_HANDLE_VALUE; }

    void PortOpen(bool open) override {
        if (!open) closePort();
        else if (handle_ == INVALID_HANDLE_VALUE) openPort();
    }

    void CommPort(std::int16_t port) override {
        if (port < 1 || port > 16) throw KorvelError(kErrInvalidPort, "Invalid port number");
        if (PortOpen() && port != port_) throw KorvelError(kErrPortOpen, "Port already open");
        port_ = port;
    }

    void Settings(const std::string& settings) override {
        settings_ = parseLineSettings(settings);
        if (PortOpen()) applySettings();
    }

    void InputMode(std::int32_t mode) override {
        if (mode != 0 && mode != 1) invalid();
    }

    void DTREnable(bool enable) override {
        dtr_ = enable;
        if (PortOpen()) EscapeCommFunction(handle_, enable ? SETDTR : CLRDTR);
    }

    void RThreshold(std::int16_t count) override { notNegative(count); }
    void SThreshold(std::int16_t count) override { notNegative(count); }
    void InputLen(std::int16_t length) override {
        notNegative(length);
        inputLen_ = length;
    }

    std::int16_t InBufferCount() const override {
        requireOpen();
        DWORD errors = 0;
        COMSTAT stat{};
        if (!ClearCommError(handle_, &errors, &stat)) throw KorvelError(kErrRead, "Error reading the port");
        return static_cast<std::int16_t>(stat.cbInQue > 32767 ? 32767 : stat.cbInQue);
    }

    void InBufferCount(std::int16_t count) override {
        if (count != 0) invalid();
        if (PortOpen()) PurgeComm(handle_, PURGE_RXCLEAR);
    }

    void OutBufferCount(std::int16_t count) override {
        if (count != 0) invalid();
        if (PortOpen()) PurgeComm(handle_, PURGE_TXCLEAR);
    }

    void Output(const Bytes& bytes) override {
        requireOpen();
        collectWrites(false);
        auto& w = writes_.emplace_back();
        w.bytes = bytes;
        w.overlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        if (!w.overlapped.hEvent) {
            writes_.pop_back();
            throw KorvelError(kErrWrite, "Error writing the port");
        }
        if (!WriteFile(handle_, w.bytes.data(), static_cast<DWORD>(w.bytes.size()), nullptr, &w.overlapped) &&
            GetLastError() != ERROR_IO_PENDING) {
            CloseHandle(w.overlapped.hEvent);
            writes_.pop_back();
            throw KorvelError(kErrWrite, "Error writing the port");
        }
    }

    Bytes Input() override {
        requireOpen();
        DWORD want = static_cast<DWORD>(InBufferCount());
        if (inputLen_ > 0 && want > static_cast<DWORD>(inputLen_)) want = static_cast<DWORD>(inputLen_);
        Bytes bytes(want);
        if (want == 0) return bytes;
        OVERLAPPED o{};
        o.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        DWORD got = 0;
        BOOL ok = ReadFile(handle_, bytes.data(), want, &got, &o);
        // The read may be queued even for bytes already waiting; it ends at once.
        if (!ok && GetLastError() == ERROR_IO_PENDING) ok = GetOverlappedResult(handle_, &o, &got, TRUE);
        CloseHandle(o.hEvent);
        if (!ok) throw KorvelError(kErrRead, "Error reading the port");
        bytes.resize(got);
        return bytes;
    }

private:
    [[noreturn]] static void invalid() { throw KorvelError(kErrInvalidProperty, "Invalid property value"); }
    static void notNegative(std::int16_t v) {
        if (v < 0) invalid();
    }
    void requireOpen() const {
        if (!PortOpen()) throw KorvelError(kErrPortNotOpen, "The port is not open");
    }

    void openPort() {
        const std::string name = "\\\\.\\COM" + std::to_string(port_);
        HANDLE h = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                               FILE_FLAG_OVERLAPPED, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            const DWORD error = GetLastError();
            if (error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION)
                throw KorvelError(kErrPortOpen, "Port already open");
            throw KorvelError(kErrPortUnavailable,
                              "The port is not available: COM" + std::to_string(port_) + ": error " + std::to_string(error));
        }
        handle_ = h;
        try {
            SetupComm(handle_, kQueueSize, kQueueSize);
            // Reads return at once with what is there.
            COMMTIMEOUTS timeouts{MAXDWORD, 0, 0, 0, 0};
            SetCommTimeouts(handle_, &timeouts);
            applySettings();
        } catch (...) {
            closePort();
            throw;
        }
        PurgeComm(handle_, PURGE_RXCLEAR | PURGE_TXCLEAR);
    }

    void applySettings() {
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        if (!GetCommState(handle_, &dcb)) throw KorvelError(kErrSetState, "Could not set the line settings");
        dcb.BaudRate = settings_.baud;
        dcb.ByteSize = static_cast<BYTE>(settings_.dataBits);
        switch (settings_.parity) {
        case 'e': dcb.Parity = EVENPARITY; break;
        case 'o': dcb.Parity = ODDPARITY; break;
        case 'm': dcb.Parity = MARKPARITY; break;
        case 's': dcb.Parity = SPACEPARITY; break;
        default: dcb.Parity = NOPARITY; break;
        }
        dcb.fParity = settings_.parity != 'n';
        dcb.StopBits = settings_.stopBits10 == 20 ? TWOSTOPBITS : settings_.stopBits10 == 15 ? ONE5STOPBITS : ONESTOPBIT;
        dcb.fBinary = TRUE;
        dcb.fDtrControl = dtr_ ? DTR_CONTROL_ENABLE : DTR_CONTROL_DISABLE;
        dcb.fOutxCtsFlow = FALSE;
        dcb.fOutxDsrFlow = FALSE;
        dcb.fOutX = FALSE;
        dcb.fInX = FALSE;
        dcb.fRtsControl = RTS_CONTROL_ENABLE;
        if (!SetCommState(handle_, &dcb)) throw KorvelError(kErrSetState, "Could not set the line settings");
    }

    // Collects finished writes; with `all`, waits for every one.
    void collectWrites(bool all) {
        while (!writes_.empty()) {
            auto& w = writes_.front();
            DWORD done = 0;
            if (!GetOverlappedResult(handle_, &w.overlapped, &done, all ? TRUE : FALSE) &&
                GetLastError() == ERROR_IO_INCOMPLETE)
                return;
            CloseHandle(w.overlapped.hEvent);
            writes_.pop_front();
        }
    }

    void closePort() {
        if (handle_ == INVALID_HANDLE_VALUE) return;
        PurgeComm(handle_, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
        collectWrites(true);
        if (dtr_) EscapeCommFunction(handle_, CLRDTR);
        CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
    }

    HANDLE handle_ = INVALID_HANDLE_VALUE;
    std::int16_t port_ = 1;
    std::int16_t inputLen_ = 0;
    bool dtr_ = false;
    LineSettings settings_{};
    std::deque<PendingWrite> writes_;
};

}  // namespace

std::unique_ptr<SerialControl> makeSerialControl() { return std::make_unique<Win32SerialControl>(); }

void pauseMs(unsigned milliseconds) { Sleep(milliseconds); }

}  // namespace korvel
