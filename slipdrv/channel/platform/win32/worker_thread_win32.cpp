// The channel's threads as Windows threads, created suspended and resumed
// once their handle is stored. A released thread takes a reference to this
// module on its way and gives it back with FreeLibraryAndExitThread, so the
// library can be unloaded while the thread still runs the host's code without
// pulling the code the thread returns to from under it.
#include <windows.h>

#include <atomic>
#include <functional>
#include <memory>

#include "../../worker_thread.h"

namespace slipdrv {
namespace {

// How long a thread that has left its entry is given to finish exiting. While
// the library unloads, the unloading thread holds the loader lock and no
// thread can finish exiting; one that has left its entry runs none of this
// module's code any more but a return, and counts as ended after this wait.
constexpr DWORD kExitGraceMs = 50;
// A terminated thread stops in the kernel without the loader lock; this only
// bounds the wait should it not.
constexpr DWORD kTerminateWaitMs = 1000;

// Shared by the object and the thread: the object may go first.
struct Control {
    enum State { kRunning, kFinished, kReleasing, kReleased };
    std::function<void()> entry;
    std::atomic<int> state{kRunning};
    HMODULE module = nullptr;  // written before state turns kReleased
    HANDLE entryReturned = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ~Control() {
        if (entryReturned) CloseHandle(entryReturned);
    }
};

DWORD WINAPI run(LPVOID start) {
    // The thread takes over the hold it is handed.
    std::shared_ptr<Control> control =
        std::move(*std::unique_ptr<std::shared_ptr<Control>>(static_cast<std::shared_ptr<Control>*>(start)));
    // The entry and what it holds go before the thread is seen to end: once
    // it is, the module may be unloading.
    {
        const std::function<void()> entry = std::move(control->entry);
        entry();
    }
    int expected = Control::kRunning;
    if (control->state.compare_exchange_strong(expected, Control::kFinished)) {
        SetEvent(control->entryReturned);
        return 0;
    }
    // Released while running: wait for the reference, then leave without
    // returning into this module.
    while (control->state.load() != Control::kReleased) SwitchToThread();
    const HMODULE module = control->module;
    control.reset();
    // Without a reference (it could not be taken) there is nothing to give back.
    if (!module) ExitThread(0);
    FreeLibraryAndExitThread(module, 0);
}

class Win32WorkerThread final : public WorkerThread {
public:
    explicit Win32WorkerThread(std::shared_ptr<Control> control) : control_(std::move(control)) {}
    ~Win32WorkerThread() override {
        if (handle_) CloseHandle(handle_);
    }
    Win32WorkerThread(const Win32WorkerThread&) = delete;
    Win32WorkerThread& operator=(const Win32WorkerThread&) = delete;

    bool start() {
        auto start = std::make_unique<std::shared_ptr<Control>>(control_);
        DWORD id = 0;
        handle_ = CreateThread(nullptr, 0, &run, start.get(), CREATE_SUSPENDED, &id);
        if (!handle_) return false;
        if (ResumeThread(handle_) == static_cast<DWORD>(-1)) {
            // Never ran: end it so nothing is left behind.
            TerminateThread(handle_, 0);
            return false;
        }
        // The thread owns it now.
        [[maybe_unused]] std::shared_ptr<Control>* handedOver = start.release();
        return true;
    }

    // Ended: the thread is gone, or it has left its entry and had its grace.
    bool waitFor(std::uint32_t ms) override {
        const HANDLE either[] = {handle_, control_->entryReturned};
        const DWORD waited = WaitForMultipleObjects(control_->entryReturned ? 2 : 1, either, FALSE, ms);
        if (waited == WAIT_OBJECT_0) return true;
        if (waited != WAIT_OBJECT_0 + 1) return false;
        WaitForSingleObject(handle_, kExitGraceMs);
        return true;
    }

    // TerminateThread returns before the thread has stopped; the wait makes
    // sure it runs no more of the channel's code.
    void terminate() override {
        TerminateThread(handle_, 0);
        WaitForSingleObject(handle_, kTerminateWaitMs);
    }

    void release() override {
        int expected = Control::kRunning;
        // A thread already past its entry needs nothing more.
        if (!control_->state.compare_exchange_strong(expected, Control::kReleasing)) return;
        HMODULE module = nullptr;
        GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&run), &module);
        control_->module = module;
        control_->state = Control::kReleased;
    }

private:
    std::shared_ptr<Control> control_;
    HANDLE handle_ = nullptr;
};

}  // namespace

std::unique_ptr<WorkerThread> startWorkerThread(std::function<void()> entry) {
    auto control = std::make_shared<Control>();
    control->entry = std::move(entry);
    auto thread = std::make_unique<Win32WorkerThread>(std::move(control));
    if (!thread->start()) return nullptr;
    return thread;
}

}  // namespace slipdrv
