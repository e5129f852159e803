// A printer queue of the system's spooler as the active port ("printer:NAME").
// What the host writes is gathered into jobs: a job begins with the first
// write after the open or after the previous job ended, and goes to the
// printer at the first of endJob() (the paper was cut), close(), a second
// without a write, or 1 MiB of data, so that a receipt is one job and nothing
// waits in the library for much more than a second. Nothing is ever received.
//
// Threads: the host's thread calls every member. While a job is open a
// watcher thread ends it once the writes pause. The two take turns at the
// spooler: the host's calls hold the lock through their spooler steps; the
// watcher holds it only to take the job and to record the result, and ends
// the job outside it while the host's calls wait. close() and the destructor
// stop the watcher and wait for it. They neither hang where it cannot finish:
// a watcher that cannot finish exiting (Windows, the library unloading) is
// let go (thread_end.h); a lock or a turn that does not come within bounds
// means the process is ending (Windows ended the watcher, perhaps while it
// held the lock or the spooler): the port is then left as it is, the watcher
// and the job with it.
#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "spooler.h"
#include "transport.h"

namespace slipdrv {

struct JobLimits {
    // A job whose last write is this old goes to the printer.
    std::chrono::milliseconds idle{1000};
    // A job that reaches this size goes to the printer; the rest of the write
    // begins the next one.
    std::size_t mostBytes = std::size_t{1} << 20;
};

class PrinterQueue final : public Transport {
public:
    explicit PrinterQueue(std::unique_ptr<Spooler> spooler, JobLimits limits = {});
    // Closes the queue, which joins the watcher (see close()).
    ~PrinterQueue() override;
    PrinterQueue(const PrinterQueue&) = delete;
    PrinterQueue& operator=(const PrinterQueue&) = delete;

    // Opens the queue `name`, or the default queue when `name` is empty; an
    // open queue is closed first. False when there is no such queue or the
    // spooler reports it paused, offline, in error or refusing jobs. No job
    // is started.
    bool open(const std::string& name);
    bool isOpen() const override;
    // Hands the open job to the printer. False when that failed, or when the
    // last job ended for the pause failed and nothing has reported it yet.
    bool close() override;
    // True when the spooler took the bytes. False when it refused them, when
    // the job this write filled to the limit could not be ended, or (once,
    // with nothing sent) when the job ended for the pause failed.
    bool write(std::span<const std::uint8_t> bytes, int transferTimeoutMs) override;
    // Nothing is ever received.
    bool read(std::uint8_t* destination, int length, int timeoutMs) override;
    void discardReceived() override;
    // Null: queries are refused with nothing sent.
    const ReplyTiming* replyTiming() const override;
    // Hands the open job to the printer; false when that failed, or when the
    // job ended for the pause failed and nothing has reported it yet.
    bool endJob() override;

    // The queue that was opened (the default queue's name for an empty name).
    const std::string& queueName() const { return queue_; }

private:
    struct Shared;
    using Turn = std::unique_lock<std::mutex>;

    Turn takeTurn();
    bool beginJob(Turn& turn);
    void abandon();

    // The spooler and the job, shared with the watcher, which keeps them as
    // long as it runs: a watcher that is let go never outlives what it uses.
    std::shared_ptr<Shared> shared_;
    std::string queue_;
    std::string title_;
    bool open_ = false;
    // Started, joined and replaced by the host's thread only.
    std::thread watcher_;
};

// The port list's printer queues: one "printer:NAME" line a queue, the
// default queue first.
std::vector<std::string> printerQueuePorts(Spooler& spooler);

}  // namespace slipdrv
