// Status and identification queries against a channel that answers them, on
// the serial and on the parallel channel.
#include <array>
#include <climits>
#include <string>
#include <vector>

#include "command_check.h"

namespace slipdrv {
namespace {

using namespace testing;

// One query, the request it must send, what the printer answers and the result.
struct QueryCase {
    std::string name;
    std::function<int()> call;
    Bytes request;
    Bytes reply;
    int result;
};

QueryCase realtime(int n, std::uint8_t selector, Bytes reply, int result) {
    return {callName("BPRealtimeGetStatus", {n}),
            [n] { return BPRealtimeGetStatus(n); },
            {0x10, 0x04, selector},
            std::move(reply),
            result};
}
QueryCase printerId(int n, std::uint8_t selector, Bytes reply, int result) {
    return {callName("BPTransmitPrinterID", {n}),
            [n] { return BPTransmitPrinterID(n); },
            {0x1D, 0x49, selector},
            std::move(reply),
            result};
}
QueryCase sensorStatus(int n, std::uint8_t selector, Bytes reply, int result) {
    return {callName("BPTransmitStatus", {n}),
            [n] { return BPTransmitStatus(n); },
            {0x1D, 0x72, selector},
            std::move(reply),
            result};
}

// Replies end with the byte the query accepts, so nothing is left behind for
// the next query. Bytes before it fail the query's test and are passed over.
std::vector<QueryCase> answeredQueries() {
    return {
        // Accepted when bit 7 is 0, bit 4 is 1, bit 1 is 1 and bit 0 is 0.
        realtime(1, 0x01, {0x12}, 0x12),
        realtime(2, 0x02, {0x16}, 0x16),
        realtime(5, 0x05, {0x13, 0x12}, 0x12),
        realtime(3, 0x03, {0x13, 0x10, 0x02, 0x92, 0xFF, 0x7E}, 0x7E),
        realtime(4, 0x04, {0x1E}, 0x1E),
        realtime(257, 0x01, {0x12}, 0x12),  // only the low 8 bits select
        realtime(-256 + 5, 0x05, {0x12}, 0x12),
        realtime(0x7FFFFF03, 0x03, {0x12}, 0x12),
        // Accepted when bits 6, 5 and 3 are all 0.
        printerId(1, 0x01, {0x00}, 0),
        printerId(2, 0x02, {0x08, 0x02}, 0x02),
        printerId(3, 0x03, {0x20, 0x40, 0x68, 0xFF, 0x97}, 0x97),
        printerId(49, 0x31, {0x41, 0x01}, 0x01),
        printerId(51, 0x33, {0x10}, 0x10),
        printerId(256 + 50, 0x32, {0x80}, 0x80),
        // Accepted when bits 7 and 4 are 0 and bits 6 and 5 are 1.
        sensorStatus(1, 0x01, {0x60}, 0x60),
        sensorStatus(49, 0x31, {0x6F}, 0x6F),
        sensorStatus(1, 0x01, {0x70, 0xE0, 0x40, 0x20, 0x00, 0xFF, 0x6F}, 0x6F),
        sensorStatus(256 + 49, 0x31, {0x60}, 0x60),
        sensorStatus(-256 + 1, 0x01, {0x65}, 0x65),
    };
}

// Selectors refused in their low 8 bits: -1, nothing sent.
std::vector<Case> refusedSelectors() {
    std::vector<Case> cases;
    for (const int n : {0, 6, 256, 256 + 6, -1, 48})
        cases.push_back({callName("BPRealtimeGetStatus", {n}), [n] { return BPRealtimeGetStatus(n); }, -1, {}});
    for (const int n : {0, 4, 48, 52, 256 + 4, 256 + 48, 256})
        cases.push_back({callName("BPTransmitPrinterID", {n}), [n] { return BPTransmitPrinterID(n); }, -1, {}});
    for (const int n : {0, 2, 48, 50, 256 + 2, -1})
        cases.push_back({callName("BPTransmitStatus", {n}), [n] { return BPTransmitStatus(n); }, -1, {}});
    return cases;
}

// The two status commands that read nothing back.
std::vector<Case> statusCommands() {
    auto cases = oneArgument("BPRealtimeResponse", BPRealtimeResponse, {0x10, 0x05}, {{1, 2}});
    const auto more = oneArgument("BPAutoStatusBackSet", BPAutoStatusBackSet, {0x1D, 0x61}, {kByte});
    cases.insert(cases.end(), more.begin(), more.end());
    return cases;
}

constexpr std::uint8_t kUntouched = 0xAA;
using SwitchBuffer = std::array<std::uint8_t, 16>;
SwitchBuffer freshBuffer() {
    SwitchBuffer b;
    b.fill(kUntouched);
    return b;
}
Bytes memorySwitchRequest(std::uint8_t a) { return {0x1D, 0x28, 0x45, 0x02, 0x00, 0x04, a}; }

class StatusQueriesTest : public CommandTest {
protected:
    // Each query sends its request once and returns what the printer's
    // answer makes of it.
    static void checkAnswered(RecordingChannel& printer, const std::vector<QueryCase>& cases) {
        for (const auto& c : cases) {
            printer.clearRules();
            printer.clear();
            printer.replyTo(c.request, c.reply);
            EXPECT_EQ(c.call(), c.result) << c.name;
            EXPECT_EQ(printer.written(), c.request) << c.name;
        }
        printer.clearRules();
        printer.clear();
    }

    // The printer's reply lands in the buffer as it was sent, without the
    // bytes it sent before the request; the bytes past the 11 read stay as
    // they were.
    static void checkMemorySwitches(RecordingChannel& printer) {
        const Bytes reply = {0x37, 0x00, 0xFF, 0x01, 0x80, 0x10, 0x20, 0x40, 0x7F, 0x0A, 0x1D};
        for (const int a : {1, 8}) {
            printer.clearRules();
            printer.clear();
            printer.arrive({0x12, 0x60});
            printer.replyTo(memorySwitchRequest(static_cast<std::uint8_t>(a)), reply);
            auto buffer = freshBuffer();
            EXPECT_EQ(BPGetMemorySwitch(a, buffer.data()), 0) << "a = " << a;
            EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + 11), reply) << "a = " << a;
            EXPECT_EQ(Bytes(buffer.begin() + 11, buffer.end()), Bytes(5, kUntouched)) << "a = " << a;
            EXPECT_EQ(printer.written(), memorySwitchRequest(static_cast<std::uint8_t>(a))) << "a = " << a;
        }
        printer.clearRules();
        printer.clear();

        // Refused switch sets and a null buffer: -1, nothing sent, the buffer untouched.
        std::vector<Case> refused;
        static auto buffer = freshBuffer();
        buffer = freshBuffer();
        for (const int a : {0, 9, 256 + 1, -1, INT_MIN})
            refused.push_back(
                {callName("BPGetMemorySwitch", {a}), [a] { return BPGetMemorySwitch(a, buffer.data()); }, -1, {}});
        refused.push_back({"BPGetMemorySwitch(1, null)", [] { return BPGetMemorySwitch(1, nullptr); }, -1, {}});
        check(printer, refused);
        EXPECT_EQ(buffer, freshBuffer());
    }
};

TEST_F(StatusQueriesTest, OneByteQueriesOnTheSerialChannel) { checkAnswered(openSerial(), answeredQueries()); }

TEST_F(StatusQueriesTest, OneByteQueriesOnTheParallelChannel) { checkAnswered(openParallel(), answeredQueries()); }

TEST_F(StatusQueriesTest, RefusedSelectorsSendNothing) {
    check(openSerial(), refusedSelectors());
    resetLibrary();
    check(openParallel(), refusedSelectors());
}

TEST_F(StatusQueriesTest, StatusCommandsWithoutReply) {
    check(openSerial(), statusCommands());
    resetLibrary();
    check(openParallel(), statusCommands());
}

// Nothing arrives: the serial query gives up after its read time-out, and so
// does one whose only reply byte is passed over.
TEST_F(StatusQueriesTest, SerialQueryWithoutAnAcceptedReply) {
    auto& printer = openSerial();
    EXPECT_EQ(BPRealtimeGetStatus(1), -1);
    EXPECT_EQ(printer.written(), (Bytes{0x10, 0x04, 0x01}));

    printer.clear();
    printer.replyTo({0x1D, 0x72, 0x01}, {0x70});
    EXPECT_EQ(BPTransmitStatus(1), -1) << "the rejected byte is not returned";
    EXPECT_EQ(printer.written(), (Bytes{0x1D, 0x72, 0x01}));
}

// Bytes held from before the request are never the answer, and a long run of
// rejected bytes is passed over rather than ending the query with one of them.
TEST_F(StatusQueriesTest, EarlierBytesAndLongRejectedRuns) {
    const Bytes request = {0x10, 0x04, 0x01};
    const Bytes rejected(1100, 0x41);  // 'A' fails the real-time status test
    const struct {
        const char* name;
        Bytes before;  // held when the query starts
        Bytes reply;
        int result;
    } cases[] = {
        {"an earlier byte that would pass, then the answer", {0x12}, {0x16}, 0x16},
        {"earlier bytes and no answer", {0x12, 0x16}, {}, -1},
        {"only rejected bytes", {}, rejected, -1},
        {"the answer after a long rejected run", {}, rejected + Bytes{0x12}, 0x12},
    };
    for (const ChannelKind kind : {ChannelKind::kSerial, ChannelKind::kParallel}) {
        auto& printer = kind == ChannelKind::kSerial ? openSerial() : openParallel();
        for (const auto& c : cases) {
            printer.clear();
            printer.clearRules();
            printer.arrive(c.before);
            if (!c.reply.empty()) printer.replyTo(request, c.reply);
            EXPECT_EQ(BPRealtimeGetStatus(1), c.result)
                << c.name << (kind == ChannelKind::kSerial ? " (serial)" : " (parallel)");
        }
    }
}

TEST_F(StatusQueriesTest, ParallelQueryWithoutReply) {
    auto& printer = openParallel();
    EXPECT_EQ(BPTransmitPrinterID(2), -1);
    EXPECT_EQ(printer.written(), (Bytes{0x1D, 0x49, 0x02}));
}

TEST_F(StatusQueriesTest, MemorySwitchesOnTheSerialChannel) { checkMemorySwitches(openSerial()); }

TEST_F(StatusQueriesTest, MemorySwitchesOnTheParallelChannel) {
    auto& printer = openParallel();
    checkMemorySwitches(printer);

    // The parallel read completes with what came: a short reply fills only its part.
    printer.replyTo(memorySwitchRequest(5), {0x01, 0x02, 0x03, 0x04});
    auto buffer = freshBuffer();
    EXPECT_EQ(BPGetMemorySwitch(5, buffer.data()), 0);
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + 4), (Bytes{0x01, 0x02, 0x03, 0x04}));
    EXPECT_EQ(Bytes(buffer.begin() + 4, buffer.end()), Bytes(12, kUntouched));
}

TEST_F(StatusQueriesTest, QueriesWithThePortClosed) {
    for (const bool serialActive : {false, true}) {
        if (serialActive) {
            ASSERT_EQ(BPOpenPrinter(3, 1200), -1);  // makes the serial kind active, nothing open
        }
        auto buffer = freshBuffer();
        EXPECT_EQ(BPRealtimeGetStatus(1), -1);
        EXPECT_EQ(BPTransmitPrinterID(49), -1);
        EXPECT_EQ(BPTransmitStatus(1), -1);
        EXPECT_EQ(BPGetMemorySwitch(1, buffer.data()), -1);
        EXPECT_EQ(buffer, freshBuffer());
        EXPECT_EQ(BPRealtimeGetStatus(6), -1);
        EXPECT_EQ(BPGetMemorySwitch(9, buffer.data()), -1);
        checkClosed(statusCommands());
    }
}

}  // namespace
}  // namespace slipdrv
