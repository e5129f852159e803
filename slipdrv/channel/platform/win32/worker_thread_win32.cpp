// The serial channel's worker as a Windows thread. The thread is created
// suspended and resumed once its handle is stored.
#include <windows.h>

#include "../../worker_thread.h"

namespace slipdrv {
namespace {

class Win32WorkerThread final : public WorkerThread {
public:
    Win32WorkerThread(void (*entry)(void*), void* argument) : entry_(entry), argument_(argument) {}
    ~Win32WorkerThread() override {
        if (handle_) CloseHandle(handle_);
    }
    Win32WorkerThread(const Win32WorkerThread&) = delete;
    Win32WorkerThread& operator=(const Win32WorkerThread&) = delete;

    // The object outlives the thread (see the destructor's contract), so the
    // thread reads what to run straight from it.
    static DWORD WINAPI run(LPVOID self) {
        const auto* thread = static_cast<const Win32WorkerThread*>(self);
        thread->entry_(thread->argument_);
        return 0;
    }

    bool start() {
        DWORD id = 0;
        handle_ = CreateThread(nullptr, 0, &Win32WorkerThread::run, this, CREATE_SUSPENDED, &id);
        if (!handle_) return false;
        if (ResumeThread(handle_) == static_cast<DWORD>(-1)) {
            // Never ran: end it so nothing is left behind.
            TerminateThread(handle_, 0);
            return false;
        }
        return true;
    }

    bool waitFor(std::uint32_t ms) override { return WaitForSingleObject(handle_, ms) == WAIT_OBJECT_0; }

    void terminate() override { TerminateThread(handle_, 0); }

private:
    void (*const entry_)(void*);
    void* const argument_;
    HANDLE handle_ = nullptr;
};

}  // namespace

std::unique_ptr<WorkerThread> startWorkerThread(void (*entry)(void*), void* argument) {
    auto thread = std::make_unique<Win32WorkerThread>(entry, argument);
    if (!thread->start()) return nullptr;
    return thread;
}

}  // namespace slipdrv
