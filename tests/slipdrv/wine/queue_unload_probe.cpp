// A library holding an open printer queue, as slipdrv.dll's state holds its
// port, over a spooler that only tells the host when a job ends. Its queue is
// closed by the library's own teardown: at FreeLibrary or at the process end.
#include <windows.h>

#include "channel/printer_queue.h"

namespace slipdrv {
namespace {

using JobEnded = void (*)();

class TellingJob final : public SpoolJob {
public:
    explicit TellingJob(JobEnded ended) : ended_(ended) {}
    bool write(std::span<const std::uint8_t>) override { return true; }
    bool end() override {
        ended_();
        return true;
    }

private:
    JobEnded ended_;
};

class TellingSpooler final : public Spooler {
public:
    explicit TellingSpooler(JobEnded ended) : ended_(ended) {}
    std::string defaultQueue() override { return "probe"; }
    std::vector<std::string> queues() override { return {"probe"}; }
    bool usable(const std::string&) override { return true; }
    std::unique_ptr<SpoolJob> begin(const std::string&, const std::string&) override {
        return std::make_unique<TellingJob>(ended_);
    }
    std::string programName() override { return "probe"; }

private:
    JobEnded ended_;
};

std::unique_ptr<PrinterQueue> queue;

}  // namespace
}  // namespace slipdrv

// Opens the queue and writes: a job is open and its watcher runs.
extern "C" __declspec(dllexport) int probe_print(void (*ended)()) {
    using namespace slipdrv;
    queue = std::make_unique<PrinterQueue>(std::make_unique<TellingSpooler>(ended));
    const std::uint8_t receipt[] = {0x1b, '@', 'x'};
    return queue->open("probe") && queue->write(receipt, 0) ? 1 : 0;
}
