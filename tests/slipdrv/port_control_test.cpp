#include "port_control.h"

#include <algorithm>
#include <mutex>
#include <thread>

#include "printer_fixture.h"
#include "slipdrv.h"

namespace slipdrv {
namespace {

using namespace testing;
using Clock = std::chrono::steady_clock;

class PortControlTest : public PrinterTest {};

enum PortKind { kParallel, kSerial };

PortKind activeKind() { return library().active.load() == &library().parallel ? kParallel : kSerial; }

TEST_F(PortControlTest, OpenPrinterRefusalsAndTheActiveChannel) {
    com(1);
    lpt(1);
    const struct {
        int port, baud, result;
        PortKind activeAfter;
    } cases[] = {
        {0, 9600, -1, kParallel}, {13, 9600, -1, kParallel}, {-1, 9600, -1, kParallel},
        {3, 1200, -1, kSerial},   {11, 0, 0, kParallel},     {1, 2399, -1, kSerial},
        {11, -5, 0, kParallel},   {1, 115201, -1, kSerial},  {1, 2400, 0, kSerial},
        {1, 115200, 0, kSerial},  {1, 12345, 0, kSerial},    {0x10000 + 1, 9600, -1, kSerial},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(BPOpenPrinter(c.port, c.baud), c.result) << "BPOpenPrinter(" << c.port << ", " << c.baud << ")";
        EXPECT_EQ(activeKind(), c.activeAfter) << "BPOpenPrinter(" << c.port << ", " << c.baud << ")";
    }
}

TEST_F(PortControlTest, NothingOpenRefusesCommandsAndClosesQuietly) {
    EXPECT_EQ(BPPrintString("x"), -1);
    EXPECT_EQ(BPClosePrinter(), 0);
    EXPECT_EQ(BPOpenPrinter(2, 9600), -1) << "no COM2 device here";
    missing("SLIPDRV_COM2");
    missing("SLIPDRV_LPT2");
    EXPECT_EQ(BPOpenPrinter(2, 9600), -1);
    EXPECT_EQ(BPPrintString("x"), -1);
    EXPECT_EQ(BPOpenPrinter(12, 9600), -1);
    EXPECT_EQ(BPPrintString("x"), -1);
    EXPECT_EQ(BPClosePrinter(), 0);
}

TEST_F(PortControlTest, PrintStringArrivesUnchangedOnBothChannels) {
    auto& serial = com(1);
    auto& parallel = lpt(2);
    const std::string text = "Table 7\t\xD7\xC0\xBA\xC5 \x1b@ end\r\n";
    ASSERT_EQ(BPOpenPrinter(1, 9600), 0);
    EXPECT_EQ(BPPrintString(text.c_str()), 0);
    EXPECT_EQ(BPPrintString(""), 0) << "zero bytes of zero asked on the serial channel";
    EXPECT_EQ(BPPrintString(nullptr), -1);
    ASSERT_TRUE(serial.waitForReceived(text.size(), 2s));
    EXPECT_EQ(serial.received(), bytesOf(text));

    ASSERT_EQ(BPOpenPrinter(12, 0), 0);
    EXPECT_EQ(BPPrintString(text.c_str()), 0);
    EXPECT_EQ(BPPrintString(""), -1) << "the parallel channel refuses an empty write";
    ASSERT_TRUE(parallel.waitForReceived(text.size(), 2s));
    EXPECT_EQ(parallel.received(), bytesOf(text));
    EXPECT_EQ(serial.received().size(), text.size()) << "nothing more went to the serial port";
}

// A print the call reported as sent must reach the printer even when the port
// is closed, or opened again, before the printer has read it (here: it reads
// only afterwards).
TEST_F(PortControlTest, ClosingRightAfterAPrintLosesNothing) {
    auto& serial = com(1);
    const std::string receipt(2400, 'r');
    ASSERT_EQ(BPOpenPrinter(1, 9600), 0);
    serial.setReading(false);
    ASSERT_EQ(BPPrintString(receipt.c_str()), 0);
    ASSERT_EQ(BPClosePrinter(), 0);
    ASSERT_EQ(BPOpenPrinter(1, 9600), 0) << "the next open must not lose them either";
    serial.setReading(true);
    EXPECT_TRUE(serial.waitForReceived(receipt.size(), 2s)) << serial.received().size() << " bytes arrived";
}

TEST_F(PortControlTest, OnlyTheActiveKindIsClosed) {
    auto& serial = com(1);
    lpt(2);
    ASSERT_EQ(BPOpenPrinter(1, 9600), 0);
    ASSERT_EQ(BPOpenPrinter(12, 0), 0);
    EXPECT_EQ(BPClosePrinter(), 0);
    EXPECT_FALSE(library().parallel.IsOpen());
    EXPECT_TRUE(library().serial->isOpen()) << "COM1 stays open while the parallel kind is active";
    EXPECT_EQ(BPPrintString("x"), -1) << "the active (parallel) port is closed";

    // A refused open still makes the serial kind active, and the open COM1 serves it.
    EXPECT_EQ(BPOpenPrinter(3, 1200), -1);
    EXPECT_EQ(BPPrintString("y"), 0);
    ASSERT_TRUE(serial.waitForReceived(1, 2s));
    EXPECT_EQ(serial.received(), bytesOf("y"));
    EXPECT_EQ(BPClosePrinter(), 0);
    EXPECT_FALSE(library().serial->isOpen());
}

// What the host's status callback saw.
std::mutex seenMutex;
std::vector<int> seen;

void SLIPDRV_CALL recordStatus(int status) {
    std::lock_guard lock(seenMutex);
    seen.push_back(status);
}

std::vector<int> seenSoFar() {
    std::lock_guard lock(seenMutex);
    return seen;
}

std::vector<int> waitForSeen(std::size_t count) {
    const auto start = Clock::now();
    while (seenSoFar().size() < count && Clock::now() - start < 3s) std::this_thread::sleep_for(1ms);
    return seenSoFar();
}

TEST_F(PortControlTest, ReceivedBytesReachTheHostOneCallEachInOrder) {
    seen.clear();
    auto& printer = com(1);
    EXPECT_EQ(BPSetCallBackFunc(nullptr), -1);
    EXPECT_EQ(BPSetCallBackFunc(recordStatus), 0);
    EXPECT_EQ(BPSetCallBackFunc(nullptr), -1) << "and the stored callback stays";
    EXPECT_EQ(BPEnableCallBackFunc(5), 0);
    ASSERT_EQ(BPOpenPrinter(1, 9600), 0);

    Bytes burst;
    for (int i = 0; i < 64; ++i) burst.push_back(static_cast<std::uint8_t>(0xF0 + i * 3));
    printer.send(burst);
    const auto got = waitForSeen(burst.size());
    ASSERT_EQ(got.size(), burst.size());
    for (std::size_t i = 0; i < burst.size(); ++i) EXPECT_EQ(got[i] & 0xFF, burst[i]) << "byte " << i;
    EXPECT_EQ(library().serial->receiveCount(), 0);
}

TEST_F(PortControlTest, WithoutDeliveryOrCallbackBytesStayInTheBuffer) {
    seen.clear();
    auto& printer = com(1);
    ASSERT_EQ(BPOpenPrinter(1, 9600), 0);

    EXPECT_EQ(BPEnableCallBackFunc(1), 0);  // on, but no callback stored
    printer.send({1, 2});
    const auto start = Clock::now();
    while (library().serial->receiveCount() < 2 && Clock::now() - start < 2s) std::this_thread::sleep_for(1ms);
    EXPECT_EQ(library().serial->receiveCount(), 2);

    EXPECT_EQ(BPSetCallBackFunc(recordStatus), 0);
    EXPECT_EQ(BPEnableCallBackFunc(0), 0);  // stored, but off
    printer.send({3});
    while (library().serial->receiveCount() < 3 && Clock::now() - start < 2s) std::this_thread::sleep_for(1ms);
    EXPECT_EQ(library().serial->receiveCount(), 3);
    std::this_thread::sleep_for(20ms);
    EXPECT_TRUE(seenSoFar().empty());

    // Switched on, the held bytes go out with the next batch, in order.
    EXPECT_EQ(BPEnableCallBackFunc(-7), 0);
    printer.send({4});
    const auto got = waitForSeen(4);
    EXPECT_EQ(got, (std::vector<int>{1, 2, 3, 4}));
}

TEST_F(PortControlTest, ParallelBytesNeverReachTheCallback) {
    seen.clear();
    auto& printer = lpt(1);
    BPSetCallBackFunc(recordStatus);
    BPEnableCallBackFunc(1);
    ASSERT_EQ(BPOpenPrinter(11, 0), 0);
    printer.send({9, 9, 9});
    std::this_thread::sleep_for(50ms);
    EXPECT_TRUE(seenSoFar().empty());
    std::uint8_t out[3] = {};
    EXPECT_EQ(ChannelRead(out, 3, 500), 0) << "they wait for a read";
    EXPECT_EQ(out[0], 9);
}

TEST_F(PortControlTest, ChannelReadOnEachChannel) {
    auto& serial = com(1);
    auto& parallel = lpt(1);
    std::uint8_t out[4] = {};
    EXPECT_EQ(ChannelRead(out, 1, 50), -1) << "nothing open";
    ASSERT_EQ(BPOpenPrinter(1, 9600), 0);
    EXPECT_EQ(ChannelRead(out, 1, 50), -1) << "nothing arrived on the serial line";
    serial.replyTo({0x10, 0x04, 0x01}, {0x16});
    const Bytes request = {0x10, 0x04, 0x01};
    ASSERT_EQ(ChannelWrite(request.data(), 3, 1000), 0);
    EXPECT_EQ(ChannelRead(out, 1, 500), 0);
    EXPECT_EQ(out[0], 0x16);

    ASSERT_EQ(BPOpenPrinter(11, 0), 0);
    EXPECT_EQ(ChannelRead(out, 1, 50), -1) << "the parallel read timed out";
    parallel.replyTo({0x10, 0x04, 0x02}, {0x12});
    const Bytes second = {0x10, 0x04, 0x02};
    ASSERT_EQ(ChannelWrite(second.data(), 3, 1000), 0);
    EXPECT_EQ(ChannelRead(out, 1, 500), 0);
    EXPECT_EQ(out[0], 0x12);
}

// A reply that comes a while after the request, and an accepted byte that
// comes later still after one passed over, reach the query on both kinds of port.
TEST_F(PortControlTest, QueriesWaitForLateReplies) {
    auto& serial = com(1);
    auto& parallel = lpt(1);
    for (const int port : {1, 11}) {
        auto& printer = port == 1 ? serial : parallel;
        ASSERT_EQ(BPOpenPrinter(port, 9600), 0) << port;
        printer.replyTo({0x10, 0x04, 0x02}, {0x12}, 300ms);
        EXPECT_EQ(BPRealtimeGetStatus(2), 0x12) << port;
        printer.clearRules();
        printer.replyTo({0x1D, 0x72, 0x01}, {0x70});
        printer.sendAfter(300ms, {0x62});
        EXPECT_EQ(BPTransmitStatus(1), 0x62) << port;
        printer.clearRules();
    }
}

// On both kinds of port a query ignores a byte the printer sent before the
// request, and gives up on a printer that keeps sending bytes that fail its
// test once the reply time-out all its reads share has run out.
TEST_F(PortControlTest, QueriesIgnoreEarlierBytesAndStopOnARejectedStream) {
    auto& serial = com(1);
    auto& parallel = lpt(1);
    const Bytes request = {0x10, 0x04, 0x01};
    for (const int port : {1, 11}) {
        SCOPED_TRACE(port == 1 ? "serial" : "parallel");
        auto& printer = port == 1 ? serial : parallel;
        ASSERT_EQ(BPOpenPrinter(port, 9600), 0);
        printer.send({0x12});  // would pass the test
        if (port == 1) {
            const auto start = Clock::now();
            while (library().serial->receiveCount() < 1 && Clock::now() - start < 2s) std::this_thread::sleep_for(1ms);
        }
        printer.replyTo(request, {0x16});
        EXPECT_EQ(BPRealtimeGetStatus(1), 0x16);
        printer.clearRules();

        // 'A' fails the test; one comes every 50 ms for far longer than the time-out.
        for (int i = 0; i < 150; ++i) printer.sendAfter(i * 50ms, {0x41});
        const auto bound = port == 1 ? 500ms : 3000ms;
        const auto start = Clock::now();
        EXPECT_EQ(BPRealtimeGetStatus(1), -1);
        EXPECT_LT(Clock::now() - start, bound + 1500ms);
    }
}

// A printer that stops reading part-way through a print: the call fails once
// no byte has moved for the progress bound (shortened here), long before the
// total bound of 100 ms per byte; once the printer reads again the next call
// prints.
TEST_F(PortControlTest, APrintToAPrinterThatStopsReadingFailsWithinTheProgressBound) {
    constexpr std::uint32_t kProgressBoundMs = 300;
    auto& printer = com(1);
    CComm comm(nullptr, 0,
               makeSerialDevice({.msPerByte = kSerialWriteLimits.msPerByte, .progressBoundMs = kProgressBoundMs}));
    ASSERT_EQ(comm.Open(1, 9600), 1);
    library().active = &comm;

    printer.stopReadingAfter(1000);
    const std::string text(200000, 'x');
    const auto start = Clock::now();
    EXPECT_EQ(BPPrintString(text.c_str()), -1);
    const auto took = Clock::now() - start;
    EXPECT_GE(took, std::chrono::milliseconds(kProgressBoundMs));
    EXPECT_LT(took, 10s);

    printer.setReading(true);
    EXPECT_EQ(BPPrintString("again"), 0);
    const auto endsWithAgain = [&] {
        const Bytes got = printer.received();
        return got.size() >= 5 && Bytes(got.end() - 5, got.end()) == bytesOf("again");
    };
    const auto resumed = Clock::now();
    while (!endsWithAgain() && Clock::now() - resumed < 2s) std::this_thread::sleep_for(1ms);
    EXPECT_TRUE(endsWithAgain());
    library().active = &library().parallel;
}

TEST_F(PortControlTest, ASlowHostCallbackDoesNotHoldUpCommands) {
    static std::atomic<int> slowCalls{0};
    slowCalls = 0;
    auto& printer = com(1);
    BPSetCallBackFunc([](int) SLIPDRV_CALL {
        ++slowCalls;
        std::this_thread::sleep_for(300ms);
    });
    BPEnableCallBackFunc(1);
    ASSERT_EQ(BPOpenPrinter(1, 9600), 0);
    printer.send({1, 2, 3});
    const auto start = Clock::now();
    while (slowCalls == 0 && Clock::now() - start < 2s) std::this_thread::sleep_for(1ms);
    const auto before = Clock::now();
    EXPECT_EQ(BPPrintString("while the host is busy"), 0);
    EXPECT_LT(Clock::now() - before, 250ms);
    EXPECT_TRUE(printer.waitForReceived(22, 2s));
    BPEnableCallBackFunc(0);
}

TEST_F(PortControlTest, ASlowHostCallbackDoesNotStarveAQuery) {
    static std::atomic<int> entered{0};
    entered = 0;
    auto& printer = com(1);
    BPSetCallBackFunc([](int) SLIPDRV_CALL {
        ++entered;
        std::this_thread::sleep_for(700ms);
    });
    BPEnableCallBackFunc(1);
    ASSERT_EQ(BPOpenPrinter(1, 9600), 0);
    printer.send({0x55});  // unsolicited: the host is busy with it
    const auto start = Clock::now();
    while (entered == 0 && Clock::now() - start < 2s) std::this_thread::sleep_for(1ms);
    ASSERT_EQ(entered.load(), 1);
    // The reply is collected while the callback still runs, and the query gets it.
    printer.replyTo({0x10, 0x04, 0x01}, {0x12});
    EXPECT_EQ(BPRealtimeGetStatus(1), 0x12);
    BPEnableCallBackFunc(0);
}

// A host callback that is still busy when the port closes is left to finish:
// Close returns without it, the port opens again at once, and the next call
// starts only after the busy one has returned. Run under the sanitizers, this
// also shows that the thread left behind touches nothing of the channel.
TEST_F(PortControlTest, ACallbackBusyAtCloseIsLeftToFinish) {
    static std::mutex m;
    static std::vector<int> events;  // +byte on entry, -byte on return
    static int inside = 0, mostInside = 0;
    {
        std::lock_guard lock(m);
        events.clear();
        inside = mostInside = 0;
    }
    const auto snapshot = [] {
        std::lock_guard lock(m);
        return events;
    };
    const auto waitForEvents = [&](std::size_t count) {
        const auto start = Clock::now();
        while (snapshot().size() < count && Clock::now() - start < 10s) std::this_thread::sleep_for(1ms);
        return snapshot();
    };
    auto& printer = com(1);
    BPSetCallBackFunc([](int status) SLIPDRV_CALL {
        {
            std::lock_guard lock(m);
            events.push_back(status);
            mostInside = std::max(mostInside, ++inside);
        }
        if (status == 1) std::this_thread::sleep_for(3s);
        std::lock_guard lock(m);
        --inside;
        events.push_back(-status);
    });
    BPEnableCallBackFunc(1);
    ASSERT_EQ(BPOpenPrinter(1, 9600), 0);
    printer.send({1, 3});  // the 3 waits behind the busy call; the closing port drops it
    ASSERT_EQ(waitForEvents(1), std::vector<int>{1});

    EXPECT_EQ(BPClosePrinter(), 0);
    EXPECT_EQ(snapshot(), std::vector<int>{1}) << "Close returned while the callback still ran";
    ASSERT_EQ(BPOpenPrinter(1, 9600), 0);
    printer.clear();
    EXPECT_EQ(BPPrintString("again"), 0);
    EXPECT_TRUE(printer.waitForReceived(5, 2s));
    EXPECT_EQ(printer.received(), bytesOf("again"));
    printer.send({2});

    EXPECT_EQ(waitForEvents(4), (std::vector<int>{1, -1, 2, -2})) << "the blocked call ended, then the next began";
    std::lock_guard lock(m);
    EXPECT_EQ(mostInside, 1);
}

}  // namespace
}  // namespace slipdrv
