// The serial control on Windows: COM n is "\\.\COMn", opened for overlapped
// transfers and exclusively (a second user gets "Port already open").
// Writes are started and not waited for; the pending ones are collected on
// the next write and when the port closes. Reads take what the driver holds.
#include <windows.h>

#include <algorithm>
#include <deque>
#include <string>

#include "checked_serial_control.h"

namespace korvel {
namespace {

constexpr DWORD kQueueSize = 4096;

struct PendingWrite {
    OVERLAPPED overlapped{};
    Bytes bytes;
};

class Win32SerialControl final : public CheckedSerialControl {
public:
    ~Win32SerialControl() override { closePort(); }

private:
    bool isOpen() const override { return handle_ != INVALID_HANDLE_VALUE; }

    void openPort(std::int16_t port) override {
        const std::string name = "\\\\.\\COM" + std::to_string(port);
        HANDLE h = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                               FILE_FLAG_OVERLAPPED, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            const DWORD error = GetLastError();
            if (error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION)
                throw KorvelError(kErrPortOpen, "Port already open");
            throw KorvelError(kErrPortUnavailable, "The port is not available: COM" + std::to_string(port) +
                                                       ": error " + std::to_string(error));
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

    void closePort() override {
        if (handle_ == INVALID_HANDLE_VALUE) return;
        PurgeComm(handle_, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
        collectWrites(true);
        if (dtrEnable()) EscapeCommFunction(handle_, CLRDTR);
        CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
    }

    void applySettings() override {
        const LineSettings& settings = lineSettings();
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        if (!GetCommState(handle_, &dcb)) throw KorvelError(kErrSetState, "Could not set the line settings");
        dcb.BaudRate = settings.baud;
        dcb.ByteSize = static_cast<BYTE>(settings.dataBits);
        switch (settings.parity) {
            case 'e':
                dcb.Parity = EVENPARITY;
                break;
            case 'o':
                dcb.Parity = ODDPARITY;
                break;
            case 'm':
                dcb.Parity = MARKPARITY;
                break;
            case 's':
                dcb.Parity = SPACEPARITY;
                break;
            default:
                dcb.Parity = NOPARITY;
                break;
        }
        dcb.fParity = settings.parity != 'n';
        dcb.StopBits = settings.stopBits10 == 20 ? TWOSTOPBITS : settings.stopBits10 == 15 ? ONE5STOPBITS : ONESTOPBIT;
        dcb.fBinary = TRUE;
        dcb.fDtrControl = dtrEnable() ? DTR_CONTROL_ENABLE : DTR_CONTROL_DISABLE;
        dcb.fOutxCtsFlow = FALSE;
        dcb.fOutxDsrFlow = FALSE;
        dcb.fOutX = FALSE;
        dcb.fInX = FALSE;
        dcb.fRtsControl = RTS_CONTROL_ENABLE;
        if (!SetCommState(handle_, &dcb)) throw KorvelError(kErrSetState, "Could not set the line settings");
    }

    void applyDtr() override { EscapeCommFunction(handle_, dtrEnable() ? SETDTR : CLRDTR); }

    std::size_t waitingCount() const override {
        DWORD errors = 0;
        COMSTAT stat{};
        if (!ClearCommError(handle_, &errors, &stat)) throw KorvelError(kErrRead, "Error reading the port");
        return stat.cbInQue;
    }

    void purgeInput() override { PurgeComm(handle_, PURGE_RXCLEAR); }
    void purgeOutput() override { PurgeComm(handle_, PURGE_TXCLEAR); }

    void queueOutput(const Bytes& bytes) override {
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

    Bytes readInput(std::size_t most) override {
        const DWORD want = static_cast<DWORD>(std::min<std::size_t>(InBufferCount(), most));
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

    HANDLE handle_ = INVALID_HANDLE_VALUE;
    std::deque<PendingWrite> writes_;
};

}  // namespace

std::unique_ptr<SerialControl> makeSerialControl() { return std::make_unique<Win32SerialControl>(); }

void pauseMs(unsigned milliseconds) { Sleep(milliseconds); }

}  // namespace korvel
