// The threads of a receiving port (the worker that collects received bytes
// and the delivery thread that hands them to the host), as the platform runs
// them.
//
// Threads: a WorkerThread object is made, waited for, terminated, released and
// destroyed by the thread that owns the port (the host's thread), never by
// the thread it runs.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

namespace slipdrv {

class WorkerThread {
public:
    // Releases what the object holds of the thread. A thread that was neither
    // seen to end, terminated nor released is waited for. A released thread
    // is waited for too where its code could not otherwise stay loaded
    // (Linux: a shared object cannot be kept mapped while it unloads).
    virtual ~WorkerThread() = default;

    // Waits up to `ms` milliseconds for the thread to end; true when it has.
    virtual bool waitFor(std::uint32_t ms) = 0;

    // Ends the thread where it stands. Only for a thread that runs none of the
    // host's code.
    virtual void terminate() = 0;

    // Lets the thread finish on its own; its owner will touch nothing of it
    // but this object. The module holding the thread's code stays loaded
    // until the thread has ended (Windows: the thread holds a reference to it
    // and gives it back as it exits).
    virtual void release() = 0;
};

// Runs `entry` on a new thread, which owns it; null when the thread cannot be
// created.
std::unique_ptr<WorkerThread> startWorkerThread(std::function<void()> entry);

}  // namespace slipdrv
