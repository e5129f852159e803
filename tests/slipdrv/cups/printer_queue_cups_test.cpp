// The printer-queue port through libcups, against a CUPS scheduler of the
// test's own (cups_queue.sh: its own folder and socket) whose raw queues print
// to a virtual printer behind a TCP port. CUPS's socket backend opens one
// connection per job, so the printer's connection count is the job count.
#include <cups/cups.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "channel/printer_queue.h"
#include "port_control.h"
#include "slipdrv.h"
#include "virtual_printer.h"

namespace slipdrv {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

constexpr auto kDelivery = 10s;
// The port's own pause is a second; this leaves room for a loaded machine.
constexpr auto kPastIdle = 2500ms;
constexpr auto kWithinIdle = 600ms;

std::string shell(const std::string& command) { return "bash " SLIPDRV_CUPS_SCRIPT " " + command; }

class CupsQueueTest : public testing::Test {
protected:
    static void SetUpTestSuite() {
        if (std::system(shell("available").c_str()) != 0) {
            // CI installs CUPS (tools/install-deps): there a missing scheduler is a failure.
            if (std::getenv("CI")) {
                unavailable_ = "CUPS (cupsd, lpadmin, the socket backend) is missing: run tools/install-deps";
            } else {
                skipped_ = "CUPS is not installed (tools/install-deps installs it)";
            }
            return;
        }
        char folder[] = "/tmp/slipdrv-cups-XXXXXX";
        if (!mkdtemp(folder)) {
            unavailable_ = "no folder for the scheduler";
            return;
        }
        folder_ = folder;
        // Every libcups call of this process, on any thread, goes to this scheduler.
        setenv("CUPS_SERVER", (folder_ + "/cups.sock").c_str(), 1);
        if (std::system(shell("start " + folder_).c_str()) != 0) unavailable_ = "cupsd did not start";
    }
    static void TearDownTestSuite() {
        if (folder_.empty()) return;
        std::system(shell("stop " + folder_).c_str());
        std::filesystem::remove_all(folder_);
    }

    void SetUp() override {
        if (!skipped_.empty()) GTEST_SKIP() << skipped_;
        ASSERT_TRUE(unavailable_.empty()) << unavailable_;
        addQueue("slip", printer_.tcpPort());
    }

    // Made anew: enabled and accepting jobs.
    static void addQueue(const std::string& name, std::uint16_t port) {
        ASSERT_EQ(run(shell("add " + folder_ + " " + name + " " + std::to_string(port))), 0);
    }

    static int run(const std::string& command) { return std::system(command.c_str()); }

    // Waits for `count` bytes at the printer, then a little for any beyond them.
    Bytes printed(std::size_t count) {
        EXPECT_TRUE(printer_.waitForReceived(count, kDelivery)) << printer_.received().size() << " of " << count;
        std::this_thread::sleep_for(100ms);
        return printer_.received();
    }

    static inline std::string folder_;
    static inline std::string skipped_;
    static inline std::string unavailable_;
    vprinter::VirtualPrinter printer_{vprinter::VirtualPrinter::TcpPort{}};
    PrinterQueue queue_{systemSpooler()};
};

Bytes bytesOf(const std::string& text) { return {text.begin(), text.end()}; }

TEST_F(CupsQueueTest, AReceiptArrivesByteForByteAsOneJobNamedAfterTheProgram) {
    Bytes receipt = bytesOf("\x1b@receipt\n\x1dV\x01");
    for (int value = 0; value < 256; ++value) receipt.push_back(static_cast<std::uint8_t>(value));
    // Data a spooler might take for a document of its own.
    const Bytes postscript = bytesOf("%!PS-Adobe-3.0\n%cupsJobTicket: x\n");
    ASSERT_TRUE(queue_.open("slip"));
    ASSERT_TRUE(queue_.write(postscript, 0));
    ASSERT_TRUE(queue_.write(receipt, 0));
    ASSERT_TRUE(queue_.endJob());

    Bytes expected = postscript;
    expected.insert(expected.end(), receipt.begin(), receipt.end());
    EXPECT_EQ(printed(expected.size()), expected);
    EXPECT_EQ(printer_.connections(), 1u);

    cups_job_t* jobs = nullptr;
    const int count = cupsGetJobs2(CUPS_HTTP_DEFAULT, &jobs, "slip", 0, CUPS_WHICHJOBS_ALL);
    ASSERT_EQ(count, 1);
    EXPECT_STREQ(jobs[0].title, "slipdrv_queue_cups_test");
    cupsFreeJobs(count, jobs);
}

// Each row: receipts written in pieces, ended as the row says; the printer
// sees every byte in order, in the number of jobs the row expects.
TEST_F(CupsQueueTest, JobsEndAtTheCutTheCloseAndAfterASecondWithoutAWrite) {
    enum Ending { kCut, kPause, kNothing };
    const struct {
        const char* name;
        std::vector<std::pair<std::string, Ending>> pieces;
        std::size_t jobs;
    } cases[] = {
        {"pieces of one receipt and its cut", {{"one ", kNothing}, {"receipt", kCut}}, 1},
        {"two receipts, each cut", {{"first", kCut}, {"second", kCut}}, 2},
        {"a receipt without a cut ends at the close", {{"first", kCut}, {"second", kNothing}}, 2},
        {"a pause ends a receipt without a cut", {{"first", kPause}, {"second", kCut}}, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        printer_.clear();
        const std::size_t before = printer_.connections();
        std::string all;
        ASSERT_TRUE(queue_.open("slip"));
        for (const auto& [text, ending] : c.pieces) {
            all += text;
            ASSERT_TRUE(queue_.write(bytesOf(text), 0));
            if (ending == kCut) {
                EXPECT_TRUE(queue_.endJob());
            }
            // Printed with no further call: nothing waits for the host.
            if (ending == kPause) {
                EXPECT_FALSE(printer_.waitForReceived(all.size(), kWithinIdle)) << "ended before the second";
                EXPECT_TRUE(printer_.waitForReceived(all.size(), kPastIdle));
            }
        }
        EXPECT_TRUE(queue_.close());
        EXPECT_EQ(printed(all.size()), bytesOf(all));
        EXPECT_EQ(printer_.connections() - before, c.jobs);
    }
}

TEST_F(CupsQueueTest, AJobOfMoreThanAMebibyteIsSplit) {
    Bytes big(std::size_t{1} << 20 | 300);
    for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<std::uint8_t>(i * 131 + i / 4093);
    ASSERT_TRUE(queue_.open("slip"));
    ASSERT_TRUE(queue_.write(big, 0));
    ASSERT_TRUE(queue_.close());
    EXPECT_EQ(printed(big.size()), big);
    EXPECT_EQ(printer_.connections(), 2u);
}

// A queue CUPS holds or refuses jobs for cannot be opened; one that starts to
// refuse them while open refuses the next write.
TEST_F(CupsQueueTest, AMissingStoppedOrRefusingQueueFails) {
    const struct {
        const char* name;
        const char* queue;
        const char* command;
        bool afterOpen;
    } cases[] = {
        {"missing", "nosuchqueue", "true", false},
        {"stopped", "slip", "cupsdisable slip", false},
        {"refusing jobs", "slip", "cupsreject slip", false},
        {"refusing jobs once open", "slip", "cupsreject slip", true},
        {"removed once open", "slip", "lpadmin -x slip", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        addQueue("slip", printer_.tcpPort());
        if (c.afterOpen) {
            ASSERT_TRUE(queue_.open(c.queue));
            ASSERT_EQ(run(c.command), 0);
            EXPECT_FALSE(queue_.write(bytesOf("lost"), 0));
        } else {
            ASSERT_EQ(run(c.command), 0);
            EXPECT_FALSE(queue_.open(c.queue));
            EXPECT_FALSE(queue_.isOpen());
        }
        queue_.close();
    }
    std::this_thread::sleep_for(300ms);
    EXPECT_TRUE(printer_.received().empty());
}

// The scheduler goes while a job is open and before one begins.
TEST_F(CupsQueueTest, AStoppedSchedulerFailsTheJobAndTheOpen) {
    ASSERT_TRUE(queue_.open("slip"));
    ASSERT_TRUE(queue_.write(bytesOf("first"), 0));
    ASSERT_EQ(run(shell("stop " + folder_)), 0);
    // The pause ends the job; its failure comes with the next write, once.
    std::this_thread::sleep_for(kPastIdle);
    EXPECT_FALSE(queue_.write(bytesOf("second"), 0));
    EXPECT_FALSE(queue_.write(bytesOf("third"), 0)) << "no scheduler to begin a job";
    EXPECT_TRUE(queue_.close());
    EXPECT_FALSE(queue_.open("slip"));
    EXPECT_FALSE(queue_.open(""));
    ASSERT_EQ(run(shell("start " + folder_)), 0);
}

TEST_F(CupsQueueTest, TheDefaultQueueOpensByAnEmptyNameAndComesFirstInThePortList) {
    addQueue("other", 9);
    ASSERT_EQ(run("lpadmin -d slip"), 0);
    const auto spooler = systemSpooler();
    const std::vector<std::string> ports = printerQueuePorts(*spooler);
    EXPECT_EQ(ports, (std::vector<std::string>{"printer:slip", "printer:other"}));

    ASSERT_TRUE(queue_.open(""));
    EXPECT_EQ(queue_.queueName(), "slip");
    ASSERT_TRUE(queue_.write(bytesOf("default"), 0));
    ASSERT_TRUE(queue_.close());
    EXPECT_EQ(printed(7), bytesOf("default"));
}

// A queue named by COM1's variable is what an unchanged host prints to: the
// receipt from open to cut is one job, a query is refused at once with
// nothing sent, the close hands over what followed the cut, and the port
// list names the queue.
TEST_F(CupsQueueTest, AQueueMappedToACOMPortServesAnUnchangedHost) {
    setenv("SLIPDRV_COM1", "printer:slip", 1);
    ASSERT_EQ(BPOpenPrinter(1, 9600), 0);
    EXPECT_EQ(BPPrintString("Table 7  35.50\n"), 0);
    EXPECT_EQ(BPSelectCutPaper(66, 0), 0);
    const Bytes receipt = bytesOf(std::string("Table 7  35.50\n\x1dVB\0", 19));
    EXPECT_EQ(printed(receipt.size()), receipt);
    EXPECT_EQ(printer_.connections(), 1u);

    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(BPRealtimeGetStatus(1), -1);
    std::uint8_t switches[11] = {};
    EXPECT_EQ(BPGetMemorySwitch(1, switches), -1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 100ms) << "a queue waits for no reply";

    EXPECT_EQ(BPPrintString("after the cut"), 0);
    EXPECT_EQ(BPClosePrinter(), 0);
    Bytes all = receipt;
    for (const char c : std::string("after the cut")) all.push_back(static_cast<std::uint8_t>(c));
    EXPECT_EQ(printed(all.size()), all) << "the queries sent nothing";
    EXPECT_EQ(printer_.connections(), 2u);

    std::vector<char> list(65536);
    ASSERT_GT(BPEnumPrinterPorts(list.data(), static_cast<int>(list.size())), 0);
    EXPECT_NE(("\n" + std::string(list.data())).find("\nprinter:slip\n"), std::string::npos) << list.data();
    unsetenv("SLIPDRV_COM1");
}

}  // namespace
}  // namespace slipdrv
