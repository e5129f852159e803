// The serial channel's worker thread, as the platform runs it.
#pragma once

#include <cstdint>
#include <memory>

namespace slipdrv {

class WorkerThread {
public:
    // Releases the thread's handle; the thread itself must have ended or been terminated.
    virtual ~WorkerThread() = default;

    // Waits up to `ms` milliseconds for the thread to end; true when it has.
    virtual bool waitFor(std::uint32_t ms) = 0;

    // Ends the thread where it stands.
    virtual void terminate() = 0;
};

// Runs entry(argument) on a new thread; null when the thread cannot be created.
std::unique_ptr<WorkerThread> startWorkerThread(void (*entry)(void*), void* argument);

}  // namespace slipdrv
