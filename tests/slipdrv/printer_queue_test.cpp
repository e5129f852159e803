// The printer-queue port's jobs over a spooler that records every step: when
// jobs begin and end, and which call reports a step the spooler refused.
#include "channel/printer_queue.h"

#include <gtest/gtest.h>

#include <map>
#include <mutex>
#include <set>
#include <thread>
#include <utility>

namespace slipdrv {
namespace {

using namespace std::chrono_literals;

// What the spooler saw, shared with the test (the port owns the spooler and
// its watcher thread calls it too).
struct SpoolerRecord {
    std::mutex mutex;
    std::vector<std::string> steps;
    // The next step of this kind ("begin", "write", "end") is refused.
    std::set<std::string> refuseNext;
    // The next end takes this long.
    std::chrono::milliseconds slowEnd{};

    bool take(const std::string& kind, const std::string& step) {
        const std::lock_guard lock(mutex);
        if (refuseNext.erase(kind) > 0) {
            steps.push_back("refused " + step);
            return false;
        }
        steps.push_back(step);
        return true;
    }
    void note(const std::string& step) {
        const std::lock_guard lock(mutex);
        steps.push_back(step);
    }
    std::vector<std::string> seen() {
        const std::lock_guard lock(mutex);
        return steps;
    }
};

class RecordingJob final : public SpoolJob {
public:
    explicit RecordingJob(std::shared_ptr<SpoolerRecord> record) : record_(std::move(record)) {}
    ~RecordingJob() override {
        if (!ended_) record_->note("drop");
    }
    RecordingJob(const RecordingJob&) = delete;
    RecordingJob& operator=(const RecordingJob&) = delete;

    bool write(std::span<const std::uint8_t> bytes) override {
        return record_->take("write", "write " + std::string(bytes.begin(), bytes.end()));
    }
    bool end() override {
        ended_ = true;
        std::chrono::milliseconds slow{};
        {
            const std::lock_guard lock(record_->mutex);
            slow = std::exchange(record_->slowEnd, {});
        }
        std::this_thread::sleep_for(slow);
        return record_->take("end", "end");
    }

private:
    std::shared_ptr<SpoolerRecord> record_;
    bool ended_ = false;
};

class RecordingSpooler final : public Spooler {
public:
    // Queue names with whether each takes jobs.
    RecordingSpooler(std::shared_ptr<SpoolerRecord> record, std::map<std::string, bool> queues, std::string preferred)
        : record_(std::move(record)), queues_(std::move(queues)), preferred_(std::move(preferred)) {}

    std::string defaultQueue() override { return preferred_; }
    std::vector<std::string> queues() override {
        std::vector<std::string> names;
        for (const auto& [name, usable] : queues_) names.push_back(name);
        return names;
    }
    bool usable(const std::string& queue) override {
        const auto found = queues_.find(queue);
        return found != queues_.end() && found->second;
    }
    std::unique_ptr<SpoolJob> begin(const std::string& queue, const std::string& title) override {
        if (!record_->take("begin", "begin " + queue + " " + title)) return nullptr;
        return std::make_unique<RecordingJob>(record_);
    }
    std::string programName() override { return "host.exe"; }

private:
    std::shared_ptr<SpoolerRecord> record_;
    std::map<std::string, bool> queues_;
    std::string preferred_;
};

TEST(PrinterQueue, OpensANamedOrTheDefaultQueueOnlyWhenItTakesJobs) {
    const struct {
        const char* name;
        std::map<std::string, bool> queues;
        std::string preferred;
        const char* opened;  // null: the open fails
    } cases[] = {
        {"slip", {{"slip", true}}, "", "slip"},
        {"slip", {{"other", true}}, "other", nullptr},
        {"slip", {{"slip", false}}, "slip", nullptr},
        {"", {{"a", true}, {"b", true}}, "b", "b"},
        {"", {{"a", true}}, "", nullptr},
        {"", {{"a", false}}, "a", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "'" << c.name << "', default '" << c.preferred << "'");
        auto record = std::make_shared<SpoolerRecord>();
        PrinterQueue queue(std::make_unique<RecordingSpooler>(record, c.queues, c.preferred));
        EXPECT_EQ(queue.open(c.name), c.opened != nullptr);
        EXPECT_EQ(queue.isOpen(), c.opened != nullptr);
        if (c.opened) {
            EXPECT_EQ(queue.queueName(), c.opened);
        } else {
            // A failed open leaves a closed port that refuses writes.
            EXPECT_FALSE(queue.write(std::vector<std::uint8_t>{'x'}, 0));
        }
        EXPECT_TRUE(record->seen().empty()) << "no job at open";
    }
}

// One step of a host's use of the port, and what the call must return.
struct Step {
    enum Kind { kWrite, kCut, kClose, kReopen, kDestroy, kPause, kMark, kRefuse, kSlowEnd } kind;
    std::string text{};  // bytes written, step refused
    bool result = true;
    std::chrono::milliseconds pause{};
};

Step put(std::string text, bool result = true) { return {Step::kWrite, std::move(text), result}; }
Step cut(bool result = true) { return {Step::kCut, {}, result}; }
Step shut(bool result = true) { return {Step::kClose, {}, result}; }
Step pause(std::chrono::milliseconds ms) { return {Step::kPause, {}, true, ms}; }
Step mark() { return {Step::kMark}; }
Step refuse(std::string step) { return {Step::kRefuse, std::move(step)}; }
// The next end takes `ms`.
Step slowEnd(std::chrono::milliseconds ms) { return {Step::kSlowEnd, {}, true, ms}; }

constexpr JobLimits kLimits{300ms, 4};
constexpr auto kPastIdle = 700ms;
// Three of these are longer than the idle time, one is well within it.
constexpr auto kWithinIdle = 120ms;

struct Script {
    const char* name;
    std::vector<Step> steps;
    std::vector<std::string> seen;
};

void play(const Script& script) {
    SCOPED_TRACE(script.name);
    auto record = std::make_shared<SpoolerRecord>();
    auto queue = std::make_unique<PrinterQueue>(
        std::make_unique<RecordingSpooler>(record, std::map<std::string, bool>{{"slip", true}}, "slip"), kLimits);
    ASSERT_TRUE(queue->open("slip"));
    for (std::size_t i = 0; i < script.steps.size(); ++i) {
        const Step& step = script.steps[i];
        SCOPED_TRACE(testing::Message() << "step " << i + 1);
        switch (step.kind) {
            case Step::kWrite: {
                const std::vector<std::uint8_t> bytes(step.text.begin(), step.text.end());
                EXPECT_EQ(queue->write(bytes, 0), step.result);
                break;
            }
            case Step::kCut:
                EXPECT_EQ(queue->endJob(), step.result);
                break;
            case Step::kClose:
                EXPECT_EQ(queue->close(), step.result);
                break;
            case Step::kReopen:
                EXPECT_TRUE(queue->open("slip"));
                break;
            case Step::kDestroy:
                queue.reset();
                break;
            case Step::kPause:
                std::this_thread::sleep_for(step.pause);
                break;
            case Step::kMark:
                record->note("mark");
                break;
            case Step::kSlowEnd: {
                const std::lock_guard lock(record->mutex);
                record->slowEnd = step.pause;
                break;
            }
            case Step::kRefuse: {
                const std::lock_guard lock(record->mutex);
                record->refuseNext.insert(step.text);
                break;
            }
        }
    }
    queue.reset();
    EXPECT_EQ(record->seen(), script.seen);
}

// The jobs a host's writes make: "mark" shows what had reached the spooler
// at that point of the script.
TEST(PrinterQueue, GathersWritesIntoJobsEndedByTheCutTheCloseAPauseOrTheSizeLimit) {
    const std::string begin = "begin slip host.exe";
    const Script scripts[] = {
        {"a receipt is one job, ended by the cut",
         {put("ab"), put("c"), mark(), cut(), mark(), put("ef"), shut()},
         {begin, "write ab", "write c", "mark", "end", "mark", begin, "write ef", "end"}},
        {"the close ends the open job", {put("ab"), shut(), mark()}, {begin, "write ab", "end", "mark"}},
        {"destroying an open port ends its job", {put("ab"), {Step::kDestroy}}, {begin, "write ab", "end"}},
        {"opening again ends the job of the first open",
         {put("ab"), {Step::kReopen}, mark(), put("c")},
         {begin, "write ab", "end", "mark", begin, "write c", "end"}},
        {"a second without a write ends the job",
         {put("ab"), pause(kPastIdle), mark(), put("cd"), shut()},
         {begin, "write ab", "end", "mark", begin, "write cd", "end"}},
        {"the pause counts from the last write, not the first",
         {put("a"), pause(kWithinIdle), put("b"), pause(kWithinIdle), put("c"), pause(kWithinIdle), mark(), cut()},
         {begin, "write a", "write b", "write c", "mark", "end"}},
        {"a job ends as it reaches the limit, the rest of the write begins the next",
         {put("abcdef"), mark(), put("gh"), mark(), put("i"), shut()},
         {begin, "write abcd", "end", begin, "write ef", "mark", "write gh", "end", "mark", begin, "write i", "end"}},
        {"a write while the pause's end is under way waits for it, then begins the next job",
         {slowEnd(1000ms), put("ab"), pause(kLimits.idle + 300ms), put("cd"), mark(), shut()},
         {begin, "write ab", "end", begin, "write cd", "mark", "end"}},
        {"no job without bytes", {put(""), cut(), cut(), shut()}, {}},
        {"a closed port takes nothing", {shut(), put("ab", false), cut(false), shut()}, {}},
    };
    for (const Script& script : scripts) play(script);
}

// A refused step fails the call that reached it; a refused end of a job the
// pause ended fails the next call once, and that call sends nothing.
TEST(PrinterQueue, ReportsARefusedStepToTheCallThatMadeItOrOnceToTheNextAfterAPause) {
    const std::string begin = "begin slip host.exe";
    const Script scripts[] = {
        {"a refused job fails the write; the next write begins one",
         {refuse("begin"), put("ab", false), put("cd"), shut()},
         {"refused " + begin, begin, "write cd", "end"}},
        {"refused bytes fail the write and drop the job",
         {put("ab"), refuse("write"), put("cd", false), put("ef"), shut()},
         {begin, "write ab", "refused write cd", "drop", begin, "write ef", "end"}},
        {"a refused end fails the cut",
         {put("ab"), refuse("end"), cut(false), put("c"), cut()},
         {begin, "write ab", "refused end", begin, "write c", "end"}},
        {"a refused end fails the close", {put("ab"), refuse("end"), shut(false)}, {begin, "write ab", "refused end"}},
        {"a refused end fails the write that reached the limit",
         {refuse("end"), put("abcdef", false), shut()},
         {begin, "write abcd", "refused end"}},
        {"after a pause: the next write fails once, sending nothing",
         {put("ab"), refuse("end"), pause(kPastIdle), put("cd", false), put("ef"), shut()},
         {begin, "write ab", "refused end", begin, "write ef", "end"}},
        {"after a pause: the next cut fails once",
         {put("ab"), refuse("end"), pause(kPastIdle), cut(false), cut(), shut()},
         {begin, "write ab", "refused end"}},
        {"after a pause: the close fails",
         {put("ab"), refuse("end"), pause(kPastIdle), shut(false)},
         {begin, "write ab", "refused end"}},
    };
    for (const Script& script : scripts) play(script);
}

TEST(PrinterQueue, ListsTheQueuesAsPortsWithTheDefaultFirst) {
    const struct {
        std::map<std::string, bool> queues;
        std::string preferred;
        std::vector<std::string> ports;
    } cases[] = {
        {{{"a", true}, {"b", true}, {"c", false}}, "b", {"printer:b", "printer:a", "printer:c"}},
        {{{"a", true}, {"b", true}}, "", {"printer:a", "printer:b"}},
        {{}, "", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.preferred);
        RecordingSpooler spooler(std::make_shared<SpoolerRecord>(), c.queues, c.preferred);
        EXPECT_EQ(printerQueuePorts(spooler), c.ports);
    }
}

}  // namespace
}  // namespace slipdrv
