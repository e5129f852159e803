// The virtual printer answering from its printer state: each request's answer
// for each condition, read from the line and through the library's status
// exports (whose acceptance tests the answers must pass), the memory switches,
// the precedence of reply rules, DLE ENQ and automatic status back.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <optional>
#include <string>
#include <vector>

#include "pty_client.h"
#include "slipdrv.h"
#include "virtual_printer.h"

namespace {

using namespace std::chrono_literals;
using vprinter::Condition;
using vprinter::Conditions;
using vprinter::VirtualPrinter;
using vptest::Bytes;
using vptest::Client;

constexpr std::uint8_t DLE = 0x10, GS = 0x1d;

Bytes eot(std::uint8_t n) { return {DLE, 0x04, n}; }
Bytes gsR(std::uint8_t n) { return {GS, 'r', n}; }
Bytes gsI(std::uint8_t n) { return {GS, 'I', n}; }
Bytes enq(std::uint8_t n) { return {DLE, 0x05, n}; }
Bytes gsA(std::uint8_t n) { return {GS, 'a', n}; }

// The printer attached to the library as LPT1, whose reads end as soon as
// the answer has come.
class LibraryPrinter {
public:
    LibraryPrinter() {
        ::setenv("SLIPDRV_LPT1", printer.devicePath().c_str(), 1);
        opened = BPOpenPrinter(11, 0) == 0;
    }
    ~LibraryPrinter() {
        BPClosePrinter();
        ::unsetenv("SLIPDRV_LPT1");
    }
    VirtualPrinter printer;
    bool opened = false;
};

// The export that sends `request`, called through the library; nullopt when
// none sends it.
std::optional<int> throughExport(const Bytes& request) {
    const int n = request[2];
    if (request[0] == DLE) return BPRealtimeGetStatus(n);
    if (request[1] == 'I') return BPTransmitPrinterID(n);
    if (n == 1 || n == 49) return BPTransmitStatus(n);
    return std::nullopt;
}

struct AnswerCase {
    Conditions state;
    Bytes request;
    std::uint8_t answer;
};

// The bits: DLE EOT answers carry 12h; n = 1 drawer 04h, offline 08h; n = 2
// cover 04h, stopped at the paper end 20h, error 40h; n = 3 autocutter error
// 08h; n = 4 near end 0Ch, paper end 60h. GS r answers carry 60h; near end
// 03h, paper end 0Ch; the drawer 01h.
TEST(PrinterStateAnswers, EachRequestFromEachState) {
    const Conditions ok, nearEnd{Condition::kPaperNearEnd}, out{Condition::kPaperOut}, cover{Condition::kCoverOpen},
        drawer{Condition::kDrawerOpen}, offline{Condition::kOffline}, error{Condition::kError},
        all{Condition::kPaperNearEnd, Condition::kPaperOut, Condition::kCoverOpen,
            Condition::kDrawerOpen,   Condition::kOffline,  Condition::kError};
    const std::vector<AnswerCase> cases{
        {ok, eot(1), 0x12},      {ok, eot(2), 0x12},      {ok, eot(3), 0x12},      {ok, eot(4), 0x12},
        {ok, eot(5), 0x12},      {ok, gsR(1), 0x60},      {ok, gsR(2), 0x60},      {ok, gsI(1), 0x02},
        {ok, gsI(2), 0x03},      {ok, gsI(3), 0x10},      {ok, gsI(49), 0x02},     {ok, gsI(50), 0x03},
        {ok, gsI(51), 0x10},     {nearEnd, eot(1), 0x12}, {nearEnd, eot(4), 0x1e}, {nearEnd, gsR(49), 0x63},
        {out, eot(1), 0x1a},     {out, eot(2), 0x32},     {out, eot(3), 0x12},     {out, eot(4), 0x72},
        {out, gsR(1), 0x6c},     {cover, eot(1), 0x1a},   {cover, eot(2), 0x16},   {cover, eot(4), 0x12},
        {drawer, eot(1), 0x16},  {drawer, gsR(1), 0x60},  {drawer, gsR(50), 0x61}, {offline, eot(1), 0x1a},
        {offline, eot(2), 0x12}, {error, eot(1), 0x1a},   {error, eot(2), 0x52},   {error, eot(3), 0x1a},
        {all, eot(1), 0x1e},     {all, eot(2), 0x76},     {all, eot(4), 0x7e},     {all, gsR(1), 0x6f},
        {all, gsR(2), 0x61},     {all, gsI(2), 0x03},
    };
    VirtualPrinter onLine;
    Client client(onLine.devicePath());
    LibraryPrinter library;
    ASSERT_TRUE(library.opened);
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.state.names() << ", request " << testing::PrintToString(c.request));
        onLine.setConditions(c.state);
        ASSERT_TRUE(client.write(c.request));
        EXPECT_EQ(client.read(1), Bytes{c.answer}) << "a second byte shows here as the next case's answer";

        library.printer.setConditions(c.state);
        if (const auto result = throughExport(c.request)) {
            EXPECT_EQ(*result, c.answer) << "through the export";
        }
    }
    EXPECT_TRUE(client.readAnything(50ms).empty()) << "more than one byte to the last request";
}

// GS ( E function 3 stores a switch's eight settings (1 on, 0 off, 2 kept)
// and function 4 answers 37h 21h, the settings as '0' and '1', and a NUL.
TEST(PrinterStateAnswers, MemorySwitchesAreStoredAndReadBack) {
    LibraryPrinter library;
    ASSERT_TRUE(library.opened);
    library.printer.setConditions({});
    const int first[8] = {1, 0, 1, 1, 0, 0, 0, 1}, second[8] = {2, 2, 2, 2, 2, 2, 2, 0};
    ASSERT_EQ(BPSetMemorySwitch(3, first), 0);
    ASSERT_EQ(BPSetMemorySwitch(3, second), 0);
    const struct {
        int a;
        const char* settings;
    } cases[] = {{3, "10110000"}, {8, "00000000"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.a);
        unsigned char buffer[11] = {};
        ASSERT_EQ(BPGetMemorySwitch(c.a, buffer), 0);
        Bytes expected{0x37, 0x21};
        expected.insert(expected.end(), c.settings, c.settings + 8);
        expected.push_back(0x00);
        EXPECT_EQ(Bytes(buffer, buffer + 11), expected);
    }
}

// One step of a conversation with the printer: conditions set through the
// API or bytes written by the client, then exactly `expected` arriving.
struct Step {
    const char* name;
    std::optional<Conditions> set;
    Bytes write;
    Bytes expected;
};

void converse(VirtualPrinter& printer, const std::vector<Step>& steps) {
    Client client(printer.devicePath());
    for (const auto& step : steps) {
        SCOPED_TRACE(step.name);
        if (step.set) printer.setConditions(*step.set);
        if (!step.write.empty()) {
            ASSERT_TRUE(client.write(step.write));
        }
        EXPECT_EQ(client.read(step.expected.size(), 2s), step.expected);
        EXPECT_TRUE(client.readAnything(50ms).empty()) << "more than expected";
    }
}

Bytes join(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

TEST(PrinterStateAnswers, AReplyRuleTakesPrecedence) {
    VirtualPrinter printer;
    printer.replyTo(eot(4), {0x55});
    printer.replyTo({0x04, 0x02}, {0x56});  // ends where DLE EOT 2 ends
    converse(printer, {
                          {"before any state only the rules answer", std::nullopt, join({eot(1), eot(4)}), {0x55}},
                          {"the rule, not the state", Conditions{Condition::kPaperOut}, eot(4), {0x55}},
                          {"a rule matching the request's end", std::nullopt, eot(2), {0x56}},
                          {"rule and state answers in the order of the requests",
                           std::nullopt,
                           join({eot(1), eot(4), eot(1)}),
                           {0x1a, 0x55, 0x1a}},
                      });
}

TEST(PrinterStateAnswers, RealtimeRequestClearsARecoverableError) {
    VirtualPrinter printer;
    converse(printer, {
                          {"the error", Conditions{Condition::kError, Condition::kDrawerOpen}, eot(3), {0x1a}},
                          {"DLE ENQ 3 is no recovery", std::nullopt, join({enq(3), eot(3)}), {0x1a}},
                          {"DLE ENQ 1 answers nothing and clears it", std::nullopt, join({enq(1), eot(3)}), {0x12}},
                          {"the error again", Conditions{Condition::kError}, eot(2), {0x52}},
                          {"DLE ENQ 2 clears it too", std::nullopt, join({enq(2), eot(2)}), {0x12}},
                      });
    EXPECT_EQ(printer.conditions(), (Conditions{}));
}

// The four bytes: drawer 04h, offline 08h and cover 20h over the fixed 10h;
// the autocutter error 08h; near end 03h and paper end 0Ch; then 00h.
TEST(PrinterStateAnswers, AutomaticStatusOnEnableAndOnChange) {
    VirtualPrinter printer;
    const Conditions out{Condition::kPaperOut};
    converse(printer, {
                          {"off: a change sends nothing", Conditions{Condition::kPaperNearEnd}, {}, {}},
                          {"enabled: the status at once", std::nullopt, gsA(0x0f), {0x10, 0x00, 0x03, 0x00}},
                          {"a change", out, {}, {0x18, 0x00, 0x0c, 0x00}},
                          {"the same state again", out, {}, {}},
                          {"an error, cleared by DLE ENQ",
                           Conditions{Condition::kError},
                           enq(1),
                           {0x18, 0x08, 0x00, 0x00, 0x10, 0x00, 0x00, 0x00}},
                          {"the drawer only: the status at once", std::nullopt, gsA(0x01), {0x10, 0x00, 0x00, 0x00}},
                          {"a paper change is not watched", out, {}, {}},
                          {"a drawer change is",
                           Conditions{Condition::kPaperOut, Condition::kDrawerOpen},
                           {},
                           {0x1c, 0x00, 0x0c, 0x00}},
                          {"disabled", std::nullopt, gsA(0x00), {}},
                          {"nothing on a change", Conditions{}, {}, {}},
                      });
}

// GS ( L / GS 8 L with payload m fn ...
Bytes graphics(const Bytes& payload, bool large = false) {
    const auto n = payload.size();
    Bytes out = large ? Bytes{GS,
                              '8',
                              'L',
                              static_cast<std::uint8_t>(n & 0xff),
                              static_cast<std::uint8_t>((n >> 8) & 0xff),
                              static_cast<std::uint8_t>(n >> 16),
                              0}
                      : Bytes{GS, '(', 'L', static_cast<std::uint8_t>(n & 0xff), static_cast<std::uint8_t>(n >> 8)};
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
}

// A monochrome raster definition of w x h dots, all black: fn 67 NV, 83 download.
Bytes defineGraphic(std::uint8_t fn, char kc1, char kc2, int w, int h) {
    Bytes p{48,
            fn,
            48,
            static_cast<std::uint8_t>(kc1),
            static_cast<std::uint8_t>(kc2),
            1,
            static_cast<std::uint8_t>(w & 0xff),
            static_cast<std::uint8_t>(w >> 8),
            static_cast<std::uint8_t>(h & 0xff),
            static_cast<std::uint8_t>(h >> 8),
            49};
    p.insert(p.end(), static_cast<std::size_t>((w + 7) / 8 * h), 0xff);
    return graphics(p, p.size() > 0xffff);
}

// 37h, an identifier (30h capacity, 31h NV remaining, 32h download
// remaining), the bytes in decimal digits, NUL; key codes: 37h, 72h (NV) or
// 73h (download), 40h, the pairs, NUL. Each memory holds 384 KiB.
Bytes number(std::uint8_t id, const std::string& digits) {
    Bytes out{0x37, id};
    for (const char digit : digits) out.push_back(static_cast<std::uint8_t>(digit));
    out.push_back(0x00);
    return out;
}

TEST(PrinterStateAnswers, GraphicsMemoryQueries) {
    VirtualPrinter printer;
    const Bytes capacity = graphics({48, 48}), nvLeft = graphics({48, 51}), downloadLeft = graphics({48, 52}),
                nvKeys = graphics({48, 64, 'K', 'C'}), downloadKeys = graphics({48, 80, 'K', 'C'});
    converse(
        printer,
        {
            {"empty", Conditions{}, join({capacity, nvLeft, downloadLeft, nvKeys, downloadKeys}),
             join({number(0x30, "393216"),
                   number(0x31, "393216"),
                   number(0x32, "393216"),
                   {0x37, 0x72, 0x40, 0x00},
                   {0x37, 0x73, 0x40, 0x00}})},
            {"NV 'B2' 12 x 3 (6 bytes) and 'C3' 8 x 5 (5 bytes), download 'A1' 16 x 2 (4 bytes)", std::nullopt,
             join({defineGraphic(67, 'C', '3', 8, 5), defineGraphic(67, 'B', '2', 12, 3),
                   defineGraphic(83, 'A', '1', 16, 2), nvLeft, downloadLeft, nvKeys, downloadKeys}),
             join({number(0x31, "393205"),
                   number(0x32, "393212"),
                   {0x37, 0x72, 0x40, 'B', '2', 'C', '3', 0x00},
                   {0x37, 0x73, 0x40, 'A', '1', 0x00}})},
            {"'A1' redefined larger, and a definition beyond the capacity refused", std::nullopt,
             join({defineGraphic(83, 'A', '1', 16, 10), defineGraphic(83, 'Z', '9', 4096, 800), downloadLeft,
                   downloadKeys}),
             join({number(0x32, "393196"), {0x37, 0x73, 0x40, 'A', '1', 0x00}})},
            {"NV 'B2' deleted, download deleted all", std::nullopt,
             join({graphics({48, 66, 'B', '2'}), graphics({48, 81, 'C', 'L', 'R'}), nvLeft, downloadLeft, nvKeys,
                   capacity}),
             join({number(0x31, "393211"),
                   number(0x32, "393216"),
                   {0x37, 0x72, 0x40, 'C', '3', 0x00},
                   number(0x30, "393216")})},
            {"ESC @ keeps the graphics", std::nullopt, join({{0x1b, '@'}, nvKeys}), {0x37, 0x72, 0x40, 'C', '3', 0x00}},
        });
}

}  // namespace
