// The system's print spooler, as the printer-queue port uses it: the state of
// a queue, raw jobs sent to it, and the queue names. Each method does what one
// spooler step does; when jobs begin and end is the port's business.
//
// Threads: a Spooler and its jobs are used by one thread at a time (the
// port's host thread and its watcher take turns), not always the same one.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace slipdrv {

class SpoolJob {
public:
    // A job that was not ended is dropped: nothing of it is printed.
    virtual ~SpoolJob() = default;

    // True when the spooler took the bytes.
    virtual bool write(std::span<const std::uint8_t> bytes) = 0;

    // Hands the job to the printer; false when the spooler refused it.
    virtual bool end() = 0;
};

class Spooler {
public:
    virtual ~Spooler() = default;

    // The default queue; empty when there is none.
    virtual std::string defaultQueue() = 0;

    // Every queue's name, in the spooler's order.
    virtual std::vector<std::string> queues() = 0;

    // True when the queue exists and takes jobs: not paused, offline, in
    // error or refusing them.
    virtual bool usable(const std::string& queue) = 0;

    // Starts a raw job named `title`: the bytes go to the printer unchanged.
    // Null when the spooler refused it.
    virtual std::unique_ptr<SpoolJob> begin(const std::string& queue, const std::string& title) = 0;

    // The file name of the running program's executable, which names its jobs.
    virtual std::string programName() = 0;
};

// The spooler of the system the library runs on: CUPS on Linux, the Windows
// spooler on Windows (names in the ANSI code page there, UTF-8 here).
std::unique_ptr<Spooler> systemSpooler();

}  // namespace slipdrv
