#include "printer_queue.h"

#include <algorithm>
#include <system_error>
#include <utility>

namespace slipdrv {

PrinterQueue::PrinterQueue(std::unique_ptr<Spooler> spooler, JobLimits limits)
    : spooler_(std::move(spooler)), limits_(limits) {}

PrinterQueue::~PrinterQueue() { close(); }

bool PrinterQueue::open(const std::string& name) {
    close();
    std::string queue = name.empty() ? spooler_->defaultQueue() : name;
    if (queue.empty() || !spooler_->usable(queue)) return false;
    const std::lock_guard lock(mutex_);
    queue_ = std::move(queue);
    title_ = spooler_->programName();
    idleEndFailed_ = false;
    open_ = true;
    return true;
}

bool PrinterQueue::isOpen() const { return open_; }

bool PrinterQueue::close() {
    std::unique_lock lock(mutex_);
    if (!open_) return true;
    open_ = false;
    bool handedOn = !std::exchange(idleEndFailed_, false);
    if (job_ && !endJobLocked()) handedOn = false;
    lock.unlock();
    // With no job left the watcher leaves as soon as it wakes.
    wake_.notify_all();
    if (watcher_.joinable()) watcher_.join();
    return handedOn;
}

bool PrinterQueue::write(std::span<const std::uint8_t> bytes, int) {
    const std::lock_guard lock(mutex_);
    if (!open_ || takeIdleEndFailure()) return false;
    while (!bytes.empty()) {
        if (!job_ && !beginJobLocked()) return false;
        const auto piece = bytes.first(std::min(limits_.mostBytes - jobBytes_, bytes.size()));
        if (!job_->write(piece)) {
            job_.reset();
            return false;
        }
        jobBytes_ += piece.size();
        bytes = bytes.subspan(piece.size());
        lastWrite_ = Clock::now();
        if (jobBytes_ == limits_.mostBytes && !endJobLocked()) return false;
    }
    return true;
}

bool PrinterQueue::read(std::uint8_t*, int, int) { return false; }

void PrinterQueue::discardReceived() {}

const ReplyTiming* PrinterQueue::replyTiming() const { return nullptr; }

bool PrinterQueue::endJob() {
    const std::lock_guard lock(mutex_);
    if (!open_ || takeIdleEndFailure()) return false;
    const bool handedOn = !job_ || endJobLocked();
    wake_.notify_all();
    return handedOn;
}

// Under mutex_: a failed end of a job the watcher ended is told once.
bool PrinterQueue::takeIdleEndFailure() { return std::exchange(idleEndFailed_, false); }

// Under mutex_. A watcher that has not yet seen the last job end goes on
// watching this one; one that has left is joined (it no longer needs the lock).
bool PrinterQueue::beginJobLocked() {
    job_ = spooler_->begin(queue_, title_);
    if (!job_) return false;
    jobBytes_ = 0;
    if (watching_) return true;
    if (watcher_.joinable()) watcher_.join();
    try {
        watcher_ = std::thread([this] { watchIdle(); });
    } catch (const std::system_error&) {
        // Without a watcher the job could wait indefinitely: refuse it.
        job_.reset();
        return false;
    }
    watching_ = true;
    return true;
}

// Under mutex_, with a job open.
bool PrinterQueue::endJobLocked() {
    const std::unique_ptr<SpoolJob> job = std::move(job_);
    jobBytes_ = 0;
    return job->end();
}

void PrinterQueue::watchIdle() {
    // The starter holds the lock until it has set watching_ and written.
    std::unique_lock lock(mutex_);
    while (job_) {
        const Clock::time_point due = lastWrite_ + limits_.idle;
        if (Clock::now() < due) {
            wake_.wait_until(lock, due);
            continue;
        }
        if (!endJobLocked()) idleEndFailed_ = true;
    }
    watching_ = false;
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
