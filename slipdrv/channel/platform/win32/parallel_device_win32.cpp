// An LPT port on Windows: one overlapped handle and an auto-reset event for
// each direction. Every transfer is waited for up to the caller's time-out;
// one still pending then is cancelled and reaped before the call returns, so
// it never outlives the caller's buffer or its OVERLAPPED.
#include <windows.h>

#include <cstdio>

#include "../../parallel_device.h"

namespace slipdrv {
namespace {

// Unnamed, default security, auto reset, not signalled.
HANDLE makeAutoResetEvent() { return CreateEventA(nullptr, FALSE, FALSE, nullptr); }

class Win32ParallelDevice final : public ParallelDevice {
public:
    Win32ParallelDevice() = default;
    ~Win32ParallelDevice() override { close(); }
    Win32ParallelDevice(const Win32ParallelDevice&) = delete;
    Win32ParallelDevice& operator=(const Win32ParallelDevice&) = delete;

    bool open(int port) override {
        if (isOpen()) close();
        char name[MAX_PATH];
        std::snprintf(name, sizeof name, "\\\\.\\LPT%d", port);
        const HANDLE h = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                     OPEN_EXISTING, FILE_FLAG_OVERLAPPED | FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) return false;
        handle_ = h;
        if (!readEvent_) readEvent_ = makeAutoResetEvent();
        if (readEvent_ && !writeEvent_) writeEvent_ = makeAutoResetEvent();
        if (!readEvent_ || !writeEvent_) {
            close();
            return false;
        }
        return true;
    }

    void close() override {
        closeAndClear(handle_);
        closeAndClear(readEvent_);
        closeAndClear(writeEvent_);
    }

    // A null handle is a closed port.
    bool isOpen() const override { return handle_ != nullptr; }

    Transfer write(const std::uint8_t* bytes, int length, int timeoutMs) override {
        OVERLAPPED overlapped = fresh(writeEvent_);
        if (WriteFile(handle_, bytes, static_cast<DWORD>(length), nullptr, &overlapped))
            return Transfer::kCompletedAtOnce;
        return finish(overlapped, timeoutMs);
    }

    Transfer read(std::uint8_t* destination, int length, int timeoutMs) override {
        OVERLAPPED overlapped = fresh(readEvent_);
        if (ReadFile(handle_, destination, static_cast<DWORD>(length), nullptr, &overlapped))
            return Transfer::kCompletedAtOnce;
        return finish(overlapped, timeoutMs);
    }

    // The port's driver reads from the printer only when a read asks.
    void discardReceived() override {}

private:
    static OVERLAPPED fresh(HANDLE event) {
        OVERLAPPED overlapped{};
        overlapped.hEvent = event;
        return overlapped;
    }

    static void closeAndClear(HANDLE& h) {
        if (h) CloseHandle(h);
        h = nullptr;
    }

    // The transfer did not complete at once. The byte count is not looked at:
    // a transfer that ended in time counts as done.
    Transfer finish(OVERLAPPED& overlapped, int timeoutMs) {
        if (GetLastError() != ERROR_IO_PENDING) return Transfer::kFailed;
        const DWORD waited = WaitForSingleObject(overlapped.hEvent, static_cast<DWORD>(timeoutMs));
        if (waited == WAIT_OBJECT_0) return Transfer::kCompleted;
        CancelIoEx(handle_, &overlapped);
        DWORD unused = 0;
        GetOverlappedResult(handle_, &overlapped, &unused, TRUE);
        return waited == WAIT_TIMEOUT ? Transfer::kTimedOut : Transfer::kWaitFailed;
    }

    HANDLE handle_ = nullptr;
    HANDLE readEvent_ = nullptr;
    HANDLE writeEvent_ = nullptr;
};

}  // namespace

std::unique_ptr<ParallelDevice> makeParallelDevice() { return std::make_unique<Win32ParallelDevice>(); }

}  // namespace slipdrv
