// The printer-queue port through the Windows spooler, run under Wine by
// run_queue_wine.sh, whose CUPS raw queue SLIPDRV_QUEUE (also the default
// queue) prints to a virtual printer. What the test sends is written to the
// file SLIPDRV_QUEUE_SENT; the runner compares it with what the printer
// recorded, and counts the jobs CUPS completed (five).
#include <windows.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <utility>

#include <gtest/gtest.h>

#include "channel/printer_queue.h"
#include "slipdrv.h"

namespace slipdrv {
namespace {

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

class WineQueueTest : public testing::Test {
protected:
    void SetUp() override {
        if (queueName_.empty() || sentFile_.empty()) GTEST_SKIP() << "run by run_queue_wine.sh";
    }

    const std::string queueName_ = environment("SLIPDRV_QUEUE");
    const std::string sentFile_ = environment("SLIPDRV_QUEUE_SENT");
};

// Three receipts, ended by the cut, by a pause (on the watcher's thread) and
// by the close: three jobs at the printer.
TEST_F(WineQueueTest, ReceiptsReachThePrinterByteForByteInJobsEndedByTheCutAPauseAndTheClose) {
    std::vector<std::uint8_t> first{0x1b, '@'};
    for (int value = 0; value < 256; ++value) first.push_back(static_cast<std::uint8_t>(value));
    const std::vector<std::uint8_t> second{'s', 'e', 'c', 'o', 'n', 'd', '\n'};
    const std::vector<std::uint8_t> third{'t', 'h', 'i', 'r', 'd', '\n', 0x1d, 'V', 1};

    PrinterQueue queue(systemSpooler());
    ASSERT_TRUE(queue.open(queueName_));
    ASSERT_TRUE(queue.write(first, 0));
    ASSERT_TRUE(queue.endJob());
    ASSERT_TRUE(queue.write(second, 0));
    std::this_thread::sleep_for(std::chrono::milliseconds(1600));
    ASSERT_TRUE(queue.write(third, 0));
    ASSERT_TRUE(queue.close());

    std::ofstream sent(sentFile_, std::ios::binary);
    for (const std::vector<std::uint8_t>* receipt : {&std::as_const(first), &second, &third}) {
        sent.write(reinterpret_cast<const char*>(receipt->data()), static_cast<std::streamsize>(receipt->size()));
    }
    ASSERT_TRUE(sent.good());
}

// The exports as an unchanged host calls them, with COM1 mapped to the queue:
// one job from open to cut, one for what the close hands over; queries are
// refused at once; the port list names the queue; Wine has no USB printers.
TEST_F(WineQueueTest, AQueueMappedToCOM1ServesAnUnchangedHost) {
    ASSERT_TRUE(SetEnvironmentVariableA("SLIPDRV_COM1", ("printer:" + queueName_).c_str()));
    ASSERT_EQ(BPOpenPrinter(1, 9600), 0);
    ASSERT_EQ(BPPrintString("Table 7  35.50\n"), 0);
    ASSERT_EQ(BPSelectCutPaper(66, 0), 0);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(BPRealtimeGetStatus(1), -1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(100));
    ASSERT_EQ(BPPrintString("after the cut\n"), 0);
    EXPECT_EQ(BPClosePrinter(), 0);
    SetEnvironmentVariableA("SLIPDRV_COM1", nullptr);

    std::ofstream sent(sentFile_, std::ios::binary | std::ios::app);
    sent << "Table 7  35.50\n" << std::string("\x1dVB\0", 4) << "after the cut\n";
    ASSERT_TRUE(sent.good());

    std::string list(65536, '\0');
    ASSERT_GT(BPEnumPrinterPorts(list.data(), static_cast<int>(list.size())), 0);
    const std::string listed = list.c_str();
    const std::string line = "printer:" + queueName_ + "\n";
    EXPECT_TRUE(listed.starts_with(line) || listed.find("\n" + line) != std::string::npos) << listed;
    const auto usb = std::chrono::steady_clock::now();
    EXPECT_EQ(BPOpenPrinterByName("usb:"), -1);
    EXPECT_LT(std::chrono::steady_clock::now() - usb, std::chrono::seconds(2));
}

TEST_F(WineQueueTest, TheDefaultQueueOpensByAnEmptyNameAndLeadsThePortList) {
    PrinterQueue queue(systemSpooler());
    ASSERT_TRUE(queue.open(""));
    EXPECT_EQ(queue.queueName(), queueName_);
    const auto spooler = systemSpooler();
    const std::vector<std::string> ports = printerQueuePorts(*spooler);
    ASSERT_FALSE(ports.empty());
    EXPECT_EQ(ports.front(), "printer:" + queueName_);
}

TEST_F(WineQueueTest, AMissingQueueDoesNotOpen) {
    PrinterQueue queue(systemSpooler());
    EXPECT_FALSE(queue.open("no such queue"));
    EXPECT_FALSE(queue.isOpen());
}

}  // namespace
}  // namespace slipdrv
