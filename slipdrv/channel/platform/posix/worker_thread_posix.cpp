// The channel's threads on Linux: POSIX threads. A released thread is still
// joined when its object goes, so a library unloaded while one runs the
// host's code waits for that code to return instead of unmapping under it.
#include <pthread.h>
#include <time.h>

#include <cerrno>
#include <functional>
#include <memory>

#include "../../worker_thread.h"

namespace slipdrv {
namespace {

using Entry = std::function<void()>;

// The thread takes over the entry it is handed.
void* run(void* start) {
    const std::unique_ptr<Entry> entry(static_cast<Entry*>(start));
    (*entry)();
    return nullptr;
}

class PosixWorkerThread final : public WorkerThread {
public:
    explicit PosixWorkerThread(pthread_t thread) : thread_(thread) {}
    ~PosixWorkerThread() override {
        if (!joined_) pthread_join(thread_, nullptr);
    }

    bool waitFor(std::uint32_t ms) override {
        if (joined_) return true;
        timespec until{};
        clock_gettime(CLOCK_REALTIME, &until);
        until.tv_sec += ms / 1000;
        until.tv_nsec += static_cast<long>(ms % 1000) * 1000000L;
        if (until.tv_nsec >= 1000000000L) until.tv_sec += 1, until.tv_nsec -= 1000000000L;
        joined_ = pthread_timedjoin_np(thread_, nullptr, &until) == 0;
        return joined_;
    }

    void terminate() override {
        if (joined_) return;
        // Cancelled threads unwind; nobody waits for one that is stuck outside a cancellation point.
        pthread_cancel(thread_);
        pthread_detach(thread_);
        joined_ = true;
    }

    // Nothing to do now: the destructor joins the thread.
    void release() override {}

private:
    pthread_t thread_;
    bool joined_ = false;
};

}  // namespace

std::unique_ptr<WorkerThread> startWorkerThread(std::function<void()> entry) {
    auto start = std::make_unique<Entry>(std::move(entry));
    pthread_t thread;
    if (pthread_create(&thread, nullptr, run, start.get()) != 0) return nullptr;
    // The thread owns it now.
    [[maybe_unused]] Entry* handedOver = start.release();
    return std::make_unique<PosixWorkerThread>(thread);
}

}  // namespace slipdrv
