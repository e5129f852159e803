#include "printer_queue.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <utility>

#include "thread_end.h"

namespace slipdrv {
namespace {

using Clock = std::chrono::steady_clock;

// The lock is only ever held for a spooler step by the host's own thread, so
// the host waits for it only while the watcher takes or records a job.
constexpr auto kLockWait = std::chrono::seconds(1);
// The watcher ends a job in one spooler step, bounded by the backend.
constexpr auto kWatcherEndWait = std::chrono::seconds(15);
// A watcher that lives leaves within scheduling delays once told to.
constexpr auto kWatcherLeaveWait = std::chrono::seconds(2);
constexpr auto kPollStep = std::chrono::milliseconds(1);

using Lock = std::unique_lock<std::mutex>;

// Takes `turn` and keeps it once `ready()` holds under it; false, not held,
// when the lock has not been free for `lockWait` or `ready()` has not held
// within `readyWait`. The host polls instead of waiting on the condition
// variable: a watcher that the ending process ended inside a wait on it
// would hold up such a wait, and the lock with it, for good.
template <typename Ready>
bool holdWhen(Lock& turn, Ready ready, Clock::duration lockWait, Clock::duration readyWait) {
    const Clock::time_point start = Clock::now();
    Clock::time_point lastHeld = start;
    for (;;) {
        const Clock::time_point now = Clock::now();
        if (turn.try_lock()) {
            lastHeld = now;
            if (ready()) return true;
            turn.unlock();
        }
        if (now - lastHeld >= lockWait || now - start >= readyWait) return false;
        std::this_thread::sleep_for(kPollStep);
    }
}

}  // namespace

struct PrinterQueue::Shared {
    Shared(std::unique_ptr<Spooler> s, JobLimits l) : spooler(std::move(s)), limits(l) {}

    const std::unique_ptr<Spooler> spooler;
    const JobLimits limits;
    std::mutex mutex;
    // Wakes the watcher; only the watcher waits on it.
    std::condition_variable wake;
    // Under mutex: the job being gathered (null while the watcher ends it).
    std::unique_ptr<SpoolJob> job;
    std::size_t jobBytes = 0;
    Clock::time_point lastWrite;
    bool watcherEnding = false;
    bool idleEndFailed = false;
    bool watching = false;

    // Under mutex, with a job open.
    bool endJob() {
        const std::unique_ptr<SpoolJob> ending = std::move(job);
        jobBytes = 0;
        return ending->end();
    }

    // A failed end of a job the watcher ended is told once.
    bool takeIdleEndFailure() { return std::exchange(idleEndFailed, false); }

    // The watcher: ends the job once its last write is `limits.idle` old, and
    // leaves when no job is left.
    void watch() {
        std::unique_lock lock(mutex);
        while (job) {
            const Clock::time_point due = lastWrite + limits.idle;
            if (Clock::now() < due) {
                wake.wait_until(lock, due);
                continue;
            }
            std::unique_ptr<SpoolJob> ending = std::move(job);
            jobBytes = 0;
            watcherEnding = true;
            lock.unlock();
            const bool ended = ending->end();
            ending.reset();
            lock.lock();
            watcherEnding = false;
            if (!ended) idleEndFailed = true;
        }
        watching = false;
    }
};

PrinterQueue::PrinterQueue(std::unique_ptr<Spooler> spooler, JobLimits limits)
    : shared_(std::make_shared<Shared>(std::move(spooler), limits)) {}

PrinterQueue::~PrinterQueue() { close(); }

bool PrinterQueue::open(const std::string& name) {
    close();
    // Left with the watcher when a close could not have its turn.
    if (!shared_) return false;
    Spooler& spooler = *shared_->spooler;
    std::string queue = name.empty() ? spooler.defaultQueue() : name;
    if (queue.empty() || !spooler.usable(queue)) return false;
    queue_ = std::move(queue);
    title_ = spooler.programName();
    open_ = true;
    return true;
}

bool PrinterQueue::isOpen() const { return open_; }

bool PrinterQueue::close() {
    if (!open_) return true;
    open_ = false;
    Turn turn = takeTurn();
    if (!turn) {
        abandon();
        return false;
    }
    Shared& s = *shared_;
    bool handedOn = !s.takeIdleEndFailure();
    if (s.job && !s.endJob()) handedOn = false;
    // With no job left the watcher leaves as soon as it wakes; one that does
    // not was ended with the process and is let go.
    s.wake.notify_all();
    turn.unlock();
    const bool left = holdWhen(
        turn, [&s] { return !s.watching; }, kLockWait, kWatcherLeaveWait);
    if (left) turn.unlock();
    if (!left) {
        abandon();
    } else if (watcher_.joinable()) {
        endReturnedThread(watcher_);
    }
    return handedOn;
}

bool PrinterQueue::write(std::span<const std::uint8_t> bytes, int) {
    if (!open_) return false;
    Turn turn = takeTurn();
    if (!turn) return false;
    Shared& s = *shared_;
    if (s.takeIdleEndFailure()) return false;
    while (!bytes.empty()) {
        if (!s.job && !beginJob(turn)) return false;
        const auto piece = bytes.first(std::min(s.limits.mostBytes - s.jobBytes, bytes.size()));
        if (!s.job->write(piece)) {
            s.job.reset();
            return false;
        }
        s.jobBytes += piece.size();
        bytes = bytes.subspan(piece.size());
        s.lastWrite = Clock::now();
        if (s.jobBytes == s.limits.mostBytes && !s.endJob()) return false;
    }
    return true;
}

bool PrinterQueue::read(std::uint8_t*, int, int) { return false; }

void PrinterQueue::discardReceived() {}

const ReplyTiming* PrinterQueue::replyTiming() const { return nullptr; }

bool PrinterQueue::endJob() {
    if (!open_) return false;
    Turn turn = takeTurn();
    if (!turn) return false;
    Shared& s = *shared_;
    if (s.takeIdleEndFailure()) return false;
    const bool handedOn = !s.job || s.endJob();
    s.wake.notify_all();
    return handedOn;
}

// The lock, once the watcher is not ending a job; not held when either does
// not come within its bound.
PrinterQueue::Turn PrinterQueue::takeTurn() {
    Shared& s = *shared_;
    Turn turn(s.mutex, std::defer_lock);
    holdWhen(
        turn, [&s] { return !s.watcherEnding; }, kLockWait, kWatcherEndWait);
    return turn;
}

// With the turn held. A watcher that has not yet seen the last job end goes
// on watching this one; one that has left is joined (it no longer needs the
// lock).
bool PrinterQueue::beginJob(Turn&) {
    Shared& s = *shared_;
    s.job = s.spooler->begin(queue_, title_);
    if (!s.job) return false;
    s.jobBytes = 0;
    if (s.watching) return true;
    if (watcher_.joinable()) endReturnedThread(watcher_);
    try {
        // The starter holds the lock until it has set `watching` and written.
        watcher_ = std::thread([shared = shared_] { shared->watch(); });
    } catch (const std::system_error&) {
        // Without a watcher the job could wait indefinitely: refuse it.
        s.job.reset();
        return false;
    }
    s.watching = true;
    return true;
}

// Leaves the spooler, the job and the watcher as they are, for good: the
// port cannot be opened again. Only when the process is ending.
void PrinterQueue::abandon() {
    if (watcher_.joinable()) watcher_.detach();
    // Its mutex may be held by a thread that no longer exists, its job in a
    // spooler call that will never return: nothing of it is destroyed.
    auto kept = std::make_unique<std::shared_ptr<Shared>>(std::move(shared_));
    [[maybe_unused]] std::shared_ptr<Shared>* left = kept.release();
}

std::vector<std::string> printerQueuePorts(Spooler& spooler) {
    const std::string preferred = spooler.defaultQueue();
    std::vector<std::string> ports;
    if (!preferred.empty()) ports.push_back("printer:" + preferred);
    for (const std::string& queue : spooler.queues()) {
        if (queue != preferred) ports.push_back("printer:" + queue);
    }
    return ports;
}

}  // namespace slipdrv
