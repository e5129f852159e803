// A COM port on Windows: one overlapped handle, an event for the reads, one
// for the writes, one for the worker's receive wait and one that cancels the
// writes. The worker and the
// delivery thread read the handle while the host's thread opens, writes and
// closes it, so the handle is atomic.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>

#include "../../../error.h"
#include "../../serial_device.h"
#include "../../write_bounds.h"

namespace slipdrv {
namespace {

constexpr DWORD kQueueSize = 1024;
constexpr DWORD kPurgeAll = PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;
static_assert(kPurgeAll == 15);
static_assert(sizeof(DCB) == 28);

// How long the worker rests after a receive wait that failed on its own (not
// ended by stopWatching), so a port that keeps failing costs no CPU.
constexpr DWORD kFailedWaitPauseMs = 20;
// How often a pending write's output queue is looked at for progress.
constexpr DWORD kWriteProgressPollMs = 100;

// Unnamed, default security, manual reset, not signalled.
HANDLE makeManualResetEvent() { return CreateEventA(nullptr, TRUE, FALSE, nullptr); }

class Win32SerialDevice final : public SerialDevice {
public:
    explicit Win32SerialDevice(const WriteLimits& limits) : limits_(limits) {
        readEvent_ = makeManualResetEvent();
        if (!readEvent_) throw Error("can't create event1 in CComm::CComm");
        writeEvent_ = makeManualResetEvent();
        if (!writeEvent_) {
            CloseHandle(readEvent_);
            throw Error("can't create event2 in CComm::CComm");
        }
        waitEvent_ = makeManualResetEvent();
        if (!waitEvent_) {
            CloseHandle(writeEvent_);
            CloseHandle(readEvent_);
            throw Error("can't create event3 in CComm::CComm");
        }
        cancelEvent_ = makeManualResetEvent();
        if (!cancelEvent_) {
            CloseHandle(waitEvent_);
            CloseHandle(writeEvent_);
            CloseHandle(readEvent_);
            throw Error("can't create event4 in CComm::CComm");
        }
    }

    ~Win32SerialDevice() override {
        close();
        CloseHandle(cancelEvent_);
        CloseHandle(waitEvent_);
        CloseHandle(writeEvent_);
        CloseHandle(readEvent_);
    }

    Win32SerialDevice(const Win32SerialDevice&) = delete;
    Win32SerialDevice& operator=(const Win32SerialDevice&) = delete;

    bool open(int port) override {
        if (isOpen()) close();
        char name[MAX_PATH];
        std::snprintf(name, sizeof name, "\\\\.\\COM%d", port);
        const HANDLE h = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                     FILE_FLAG_OVERLAPPED | FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) return false;
        ResetEvent(cancelEvent_);
        handle_ = h;
        return true;
    }

    void setUp(int baud) override {
        const HANDLE h = handle_;
        SetCommMask(h, EV_RXCHAR);
        SetupComm(h, kQueueSize, kQueueSize);
        PurgeComm(h, kPurgeAll);

        // Reads take what is waiting; a write may last 100 ms per byte plus 30 s.
        COMMTIMEOUTS timeouts{};
        timeouts.ReadIntervalTimeout = MAXDWORD;
        timeouts.ReadTotalTimeoutMultiplier = 0;
        timeouts.ReadTotalTimeoutConstant = 2000;
        timeouts.WriteTotalTimeoutMultiplier = limits_.msPerByte;
        timeouts.WriteTotalTimeoutConstant = limits_.constantMs;
        SetCommTimeouts(h, &timeouts);

        DCB dcb{};
        dcb.DCBlength = sizeof(DCB);
        if (!GetCommState(h, &dcb)) return;
        dcb.BaudRate = static_cast<DWORD>(baud);
        dcb.ByteSize = 8;
        dcb.Parity = NOPARITY;
        dcb.StopBits = ONESTOPBIT;
        // 8N1 with CTS/RTS handshake; DTR is left alone by the driver and raised below.
        dcb.fBinary = 1;
        dcb.fParity = 1;
        dcb.fOutxCtsFlow = 1;
        dcb.fOutxDsrFlow = 0;
        dcb.fDtrControl = DTR_CONTROL_DISABLE;
        dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
        SetCommState(h, &dcb);
        EscapeCommFunction(h, SETDTR);
    }

    bool isOpen() const override { return handle_.load() != INVALID_HANDLE_VALUE; }

    void close() override {
        const HANDLE h = handle_.exchange(INVALID_HANDLE_VALUE);
        if (h == INVALID_HANDLE_VALUE) return;
        EscapeCommFunction(h, CLRDTR);
        PurgeComm(h, kPurgeAll);
        CloseHandle(h);
    }

    bool write(const std::uint8_t* bytes, std::uint32_t length) override {
        const HANDLE h = handle_;
        if (h == INVALID_HANDLE_VALUE || WaitForSingleObject(cancelEvent_, 0) == WAIT_OBJECT_0) return false;
        WriteBounds bounds(length, limits_);
        writeOverlapped_ = OVERLAPPED{};
        writeOverlapped_.hEvent = writeEvent_;
        DWORD n = 0;
        bool sent = WriteFile(h, bytes, length, &n, &writeOverlapped_) != FALSE && n == length;
        if (!sent && GetLastError() == ERROR_IO_PENDING) sent = awaitWrite(h, bounds, n) && n == length;
        if (!sent) {
            // Not sent once the printer reads again, long after the call failed.
            PurgeComm(h, PURGE_TXCLEAR);
            clearErrors(h);
            return false;
        }
        // Comes back when the driver has transmitted what it was given. Only
        // once the write has completed: a flush while it is pending blocks for
        // as long as the printer holds the line.
        FlushFileBuffers(h);
        return true;
    }

    void cancelWrites() override { SetEvent(cancelEvent_); }

    void purgeInput() override {
        const HANDLE h = handle_;
        if (h != INVALID_HANDLE_VALUE) PurgeComm(h, PURGE_RXCLEAR);
    }

    std::uint32_t inQueue() override {
        const HANDLE h = handle_;
        if (h == INVALID_HANDLE_VALUE) return 0;
        DWORD errors = 0;
        COMSTAT stat{};
        if (!ClearCommError(h, &errors, &stat)) return 0;
        return stat.cbInQue;
    }

    std::uint32_t readPort(std::uint8_t* destination, std::uint32_t maximum) override {
        const HANDLE h = handle_;
        const DWORD k = std::min(maximum, inQueue());
        if (k == 0) return 0;
        readOverlapped_ = OVERLAPPED{};
        readOverlapped_.hEvent = readEvent_;
        DWORD n = 0;
        if (ReadFile(h, destination, k, &n, &readOverlapped_)) return n;
        if (GetLastError() != ERROR_IO_PENDING) {
            clearErrors(h);
            return 0;
        }
        // Even a read of exactly what is queued may go pending for a moment (Wine does).
        n = 0;
        while (!GetOverlappedResult(h, &readOverlapped_, &n, TRUE)) {
            if (GetLastError() != ERROR_IO_INCOMPLETE) {
                clearErrors(h);
                break;
            }
        }
        return n;
    }

    bool watchReceive() override {
        stopping_ = false;
        return SetCommMask(handle_, EV_RXCHAR) != FALSE;
    }

    bool waitReceive() override {
        // stopWatching came before this wait began: the mask is already cleared.
        if (stopping_.exchange(false)) return false;
        const HANDLE h = handle_;
        ResetEvent(waitEvent_);
        waitOverlapped_ = OVERLAPPED{};
        waitOverlapped_.hEvent = waitEvent_;
        // The mask and the OVERLAPPED are members: the driver writes them when the
        // wait ends, even if this thread is no longer there to see it.
        waitMask_ = 0;
        BOOL ok = WaitCommEvent(h, &waitMask_, &waitOverlapped_);
        if (!ok && GetLastError() == ERROR_IO_PENDING) {
            DWORD unused = 0;
            ok = GetOverlappedResult(h, &waitOverlapped_, &unused, TRUE);
        }
        if (ok && (waitMask_ & EV_RXCHAR)) return true;
        // Woken by stopWatching: Windows ends the wait with success and an empty
        // mask, Wine with ERROR_OPERATION_ABORTED. Either way the caller looks at
        // its stop request. Any other ending is a failure of the port (or, on a
        // pseudo-terminal under Wine, every wait ends at once as cancelled): rest
        // before the caller waits again.
        if (!stopping_.exchange(false)) Sleep(kFailedWaitPauseMs);
        return false;
    }

    void stopWatching() override {
        stopping_ = true;
        SetCommMask(handle_, 0);
    }

private:
    // Waits for the pending write under both bounds; its progress shows as the
    // output queue changing. A driver that has not reported a queue during this
    // write (Wine never does, nor do some USB adapters) gives no sign of
    // progress, so until it does only the total bound applies. A write still
    // pending when a bound runs out or cancelWrites is called is cancelled and
    // reaped, so it never outlives the caller's bytes; one that completed just
    // before the cancel counts as sent.
    bool awaitWrite(HANDLE h, WriteBounds& bounds, DWORD& written) {
        DWORD lastQueued = MAXDWORD;
        bool queueReported = false;
        for (;;) {
            const DWORD step = std::min<DWORD>(kWriteProgressPollMs, bounds.remainingMs());
            const HANDLE events[2] = {writeEvent_, cancelEvent_};
            const DWORD waited = WaitForMultipleObjects(2, events, FALSE, step);
            if (waited == WAIT_OBJECT_0) return GetOverlappedResult(h, &writeOverlapped_, &written, FALSE) != FALSE;
            if (waited != WAIT_TIMEOUT) break;
            DWORD errors = 0;
            COMSTAT stat{};
            if (ClearCommError(h, &errors, &stat)) {
                queueReported = queueReported || stat.cbOutQue != 0;
                if (!queueReported || (lastQueued != MAXDWORD && stat.cbOutQue != lastQueued)) bounds.moved();
                lastQueued = stat.cbOutQue;
            }
            if (bounds.remainingMs() == 0) break;
        }
        CancelIoEx(h, &writeOverlapped_);
        return GetOverlappedResult(h, &writeOverlapped_, &written, TRUE) != FALSE;
    }

    static void clearErrors(HANDLE h) {
        DWORD errors = 0;
        COMSTAT stat{};
        ClearCommError(h, &errors, &stat);
    }

    std::atomic<HANDLE> handle_{INVALID_HANDLE_VALUE};
    HANDLE readEvent_ = nullptr;
    HANDLE writeEvent_ = nullptr;
    HANDLE waitEvent_ = nullptr;
    HANDLE cancelEvent_ = nullptr;  // set by cancelWrites on any thread, reset by open
    OVERLAPPED readOverlapped_{};   // worker thread
    OVERLAPPED writeOverlapped_{};  // caller's thread
    OVERLAPPED waitOverlapped_{};   // worker thread
    DWORD waitMask_ = 0;
    // Set by stopWatching, taken by the wait it ended (or the next one): tells a
    // wake-up from a failed wait, which both end with a false result.
    std::atomic<bool> stopping_{false};
    WriteLimits limits_;
};

}  // namespace

std::unique_ptr<SerialDevice> makeSerialDevice(const WriteLimits& limits) {
    return std::make_unique<Win32SerialDevice>(limits);
}

}  // namespace slipdrv
