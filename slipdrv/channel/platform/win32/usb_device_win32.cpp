// A USB printer on Windows: its printing interface opened for overlapped
// transfers. Writes go as a serial line's do, bounded; a USB printer raises
// no comm events, so the worker keeps one read pending into a buffer of its
// own and sleeps on it and on the stop event, and inQueue and readPort hand
// out what that read brought.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstring>

#include "../../../error.h"
#include "../../usb_device.h"
#include "../../write_bounds.h"

namespace slipdrv {
namespace {

// A write is handed over in pieces of this size: each that completes is the
// progress the progress bound looks for.
constexpr DWORD kWritePiece = 4096;
constexpr DWORD kReadBuffer = 4096;
// How long the worker rests after a read that brought nothing or failed on
// its own, so a printer that keeps doing so costs no CPU.
constexpr DWORD kEmptyReadPauseMs = 20;

// Errors by which the system says the printer has gone (unplugged, switched
// off), or the other end of the stream has closed it.
bool isGone(DWORD error) {
    return error == ERROR_DEVICE_NOT_CONNECTED || error == ERROR_DEV_NOT_EXIST || error == ERROR_BROKEN_PIPE;
}

class Win32UsbDevice final : public UsbDevice {
public:
    explicit Win32UsbDevice(const WriteLimits& limits) : limits_(limits) {
        writeEvent_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        readEvent_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        cancelEvent_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        // Auto-reset: a stop is used up by the wait it ends, or by the next one.
        stopEvent_ = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        if (!writeEvent_ || !readEvent_ || !cancelEvent_ || !stopEvent_) {
            closeEvents();
            throw Error("can't create the USB printer's events");
        }
    }

    ~Win32UsbDevice() override {
        close();
        closeEvents();
    }

    Win32UsbDevice(const Win32UsbDevice&) = delete;
    Win32UsbDevice& operator=(const Win32UsbDevice&) = delete;

    bool open(const std::string& path) override {
        if (isOpen()) close();
        const HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                     nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
        if (h == INVALID_HANDLE_VALUE) return false;
        ResetEvent(cancelEvent_);
        ResetEvent(stopEvent_);
        hungUp_ = false;
        receiveEnded_ = false;
        readPending_ = false;
        held_ = 0;
        taken_ = 0;
        handle_ = h;
        return true;
    }

    bool isOpen() const override { return handle_.load() != INVALID_HANDLE_VALUE; }

    void close() override {
        const HANDLE h = handle_.exchange(INVALID_HANDLE_VALUE);
        if (h == INVALID_HANDLE_VALUE) return;
        if (readPending_) {
            // The read writes into our buffer when it ends: reap it first.
            CancelIoEx(h, &readOverlapped_);
            DWORD unused = 0;
            GetOverlappedResult(h, &readOverlapped_, &unused, TRUE);
            readPending_ = false;
        }
        CloseHandle(h);
        held_ = 0;
        taken_ = 0;
    }

    void purgeInput() override { taken_ = held_.load(); }

    bool write(const std::uint8_t* bytes, std::uint32_t length) override {
        const HANDLE h = handle_;
        if (h == INVALID_HANDLE_VALUE || hungUp_ || WaitForSingleObject(cancelEvent_, 0) == WAIT_OBJECT_0) return false;
        WriteBounds bounds(length, limits_);
        for (std::uint32_t sent = 0; sent < length;) {
            if (WaitForSingleObject(cancelEvent_, 0) == WAIT_OBJECT_0) return false;
            const DWORD piece = std::min<DWORD>(kWritePiece, length - sent);
            DWORD n = 0;
            if (!writePiece(h, bytes + sent, piece, bounds, n) || n == 0) return false;
            sent += n;
            bounds.moved();
        }
        return true;
    }

    void cancelWrites() override { SetEvent(cancelEvent_); }

    bool receiveEnded() const override { return receiveEnded_; }

    std::uint32_t inQueue() override { return isOpen() ? held_ - taken_ : 0; }

    std::uint32_t readPort(std::uint8_t* destination, std::uint32_t maximum) override {
        const std::uint32_t k = std::min(maximum, inQueue());
        if (k == 0) return 0;
        std::memcpy(destination, buffer_ + taken_, k);
        taken_ += k;
        return k;
    }

    bool watchReceive() override { return isOpen(); }

    bool waitReceive() override {
        const HANDLE h = handle_;
        if (h == INVALID_HANDLE_VALUE) return false;
        // What the last read brought and nobody has taken is still to hand out.
        if (inQueue() > 0) return true;
        // Nothing more can arrive: the stop alone ends the wait.
        if (receiveEnded_) {
            WaitForSingleObject(stopEvent_, INFINITE);
            return false;
        }
        // The system cancels a read when the thread that started it ends (a
        // worker that was stopped): then this thread starts another.
        for (int attempt = 0; attempt < 2; ++attempt) {
            if (!readPending_ && !startRead(h)) return finishRead(h, false) == Read::kBytes;
            const HANDLE events[2] = {readEvent_, stopEvent_};
            if (WaitForMultipleObjects(2, events, FALSE, INFINITE) != WAIT_OBJECT_0) return false;
            const Read read = finishRead(h, true);
            if (read != Read::kCancelled) return read == Read::kBytes;
        }
        return false;
    }

    void stopWatching() override { SetEvent(stopEvent_); }

private:
    // Sends one piece and waits for it under the bounds and the cancel. A piece
    // still pending then is cancelled and reaped, so it never outlives the
    // caller's bytes; one that completed just before counts as sent.
    bool writePiece(HANDLE h, const std::uint8_t* bytes, DWORD length, const WriteBounds& bounds, DWORD& written) {
        writeOverlapped_ = OVERLAPPED{};
        writeOverlapped_.hEvent = writeEvent_;
        if (WriteFile(h, bytes, length, &written, &writeOverlapped_)) return true;
        if (GetLastError() != ERROR_IO_PENDING) return failed(GetLastError());
        const HANDLE events[2] = {writeEvent_, cancelEvent_};
        const DWORD waited = WaitForMultipleObjects(2, events, FALSE, bounds.remainingMs());
        if (waited != WAIT_OBJECT_0) CancelIoEx(h, &writeOverlapped_);
        if (!GetOverlappedResult(h, &writeOverlapped_, &written, TRUE)) return failed(GetLastError());
        return true;
    }

    bool failed(DWORD error) {
        if (isGone(error)) hungUp_ = true;
        return false;
    }

    // Starts the read into the buffer; false when it failed at once. One that
    // completed at once is left for finishRead to collect, as a pending one is.
    bool startRead(HANDLE h) {
        ResetEvent(readEvent_);
        readOverlapped_ = OVERLAPPED{};
        readOverlapped_.hEvent = readEvent_;
        if (!ReadFile(h, buffer_, kReadBuffer, nullptr, &readOverlapped_) && GetLastError() != ERROR_IO_PENDING)
            return false;
        readPending_ = true;
        return true;
    }

    enum class Read { kBytes, kNothing, kCancelled };

    // Collects the read (`started`) or the failure of its start.
    Read finishRead(HANDLE h, bool started) {
        DWORD n = 0;
        const bool ok = started && GetOverlappedResult(h, &readOverlapped_, &n, FALSE);
        const DWORD error = ok ? ERROR_SUCCESS : GetLastError();
        readPending_ = false;
        if (ok && n > 0) {
            // Taken first, so that a look from another thread never sees more
            // handed out than held.
            taken_ = 0;
            held_ = n;
            return Read::kBytes;
        }
        if (!ok && error == ERROR_OPERATION_ABORTED) return Read::kCancelled;
        if (!ok && isGone(error)) {
            hungUp_ = true;
            receiveEnded_ = true;
        } else if (!ok) {
            // A printer that cannot send (no way back to the host) fails every
            // read: its replies will never come, but it still prints.
            receiveEnded_ = true;
        } else {
            Sleep(kEmptyReadPauseMs);
        }
        return Read::kNothing;
    }

    void closeEvents() {
        for (HANDLE e : {writeEvent_, readEvent_, cancelEvent_, stopEvent_})
            if (e) CloseHandle(e);
    }

    std::atomic<HANDLE> handle_{INVALID_HANDLE_VALUE};
    HANDLE writeEvent_ = nullptr;
    HANDLE readEvent_ = nullptr;
    HANDLE cancelEvent_ = nullptr;  // set by cancelWrites on any thread, reset by open
    HANDLE stopEvent_ = nullptr;    // set by stopWatching on any thread
    OVERLAPPED writeOverlapped_{};  // caller's thread
    OVERLAPPED readOverlapped_{};   // worker thread
    // The worker's read: the driver writes into the buffer until it ends, even
    // after the wait for it did.
    std::uint8_t buffer_[kReadBuffer];
    bool readPending_ = false;
    // What the last read brought, and how much of it was handed out; inQueue
    // runs on any thread.
    std::atomic<std::uint32_t> held_{0};
    std::atomic<std::uint32_t> taken_{0};
    std::atomic<bool> hungUp_{false};
    std::atomic<bool> receiveEnded_{false};
    WriteLimits limits_;
};

}  // namespace

std::unique_ptr<UsbDevice> makeUsbDevice(const WriteLimits& limits) { return std::make_unique<Win32UsbDevice>(limits); }

}  // namespace slipdrv
