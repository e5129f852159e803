// Two host threads that call the exports at the same time, against the rule of
// one thread at a time: the library must neither crash nor deadlock, and must
// work normally once they are done. Each thread opens, prints, queries and
// closes in a loop, with the status callback on, so that opens and closes meet
// the worker and delivery threads of the other thread's port.
#include <atomic>
#include <chrono>
#include <thread>

#include "printer_fixture.h"
#include "slipdrv.h"

namespace slipdrv {
namespace {

using namespace testing;
using Clock = std::chrono::steady_clock;

// How long the two threads run: longer under ThreadSanitizer, which is the
// point of this test there.
constexpr int kStressSeconds = SLIPDRV_STRESS_SECONDS;
const Bytes kStatusRequest = {0x10, 0x04, 0x01};  // DLE EOT 1

std::atomic<int> callbackBytes{0};
void SLIPDRV_CALL countByte(int) { ++callbackBytes; }

class ConcurrentExportsTest : public PrinterTest {};

TEST_F(ConcurrentExportsTest, TwoThreadsOpenPrintQueryAndCloseWithoutHarm) {
    auto& serial = com(1);
    auto& parallel = lpt(1);
    // Real-time status 1: online, no error; the serial printer also sends
    // unasked bytes with every line, for the callback.
    serial.replyTo(kStatusRequest, {0x12});
    serial.replyTo({'\n'}, {0x41, 0x42, 0x43});
    parallel.replyTo(kStatusRequest, {0x12});
    ASSERT_EQ(BPSetCallBackFunc(countByte), 0);
    ASSERT_EQ(BPEnableCallBackFunc(1), 0);

    const auto end = Clock::now() + std::chrono::seconds(kStressSeconds);
    std::atomic<int> unexpected{0};
    auto host = [&](int port) {
        while (Clock::now() < end) {
            const int results[] = {BPOpenPrinter(port, 9600), BPPrintString("line\n"), BPRealtimeGetStatus(1),
                                   BPPrintAndFeed(), BPClosePrinter()};
            for (const int r : results)
                if (r != 0 && r != -1 && r != 0x12) ++unexpected;
        }
    };
    std::thread first(host, 1);
    std::thread second(host, 11);
    first.join();
    second.join();
    EXPECT_EQ(unexpected.load(), 0) << "results other than 0, -1 or the status byte";

    // One thread again: everything works as before.
    ASSERT_EQ(BPEnableCallBackFunc(0), 0);
    ASSERT_EQ(BPOpenPrinter(1, 9600), 0);
    serial.clearRules();
    serial.replyTo(kStatusRequest, {0x12});
    serial.clear();
    EXPECT_EQ(BPPrintString("after"), 0);
    EXPECT_TRUE(serial.waitForReceived(5, 2s));
    EXPECT_EQ(BPRealtimeGetStatus(1), 0x12);
    EXPECT_EQ(BPClosePrinter(), 0);
}

}  // namespace
}  // namespace slipdrv
