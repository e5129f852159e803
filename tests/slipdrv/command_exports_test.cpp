// The command exports that compute what they send (character size, tab
// positions, user-defined characters, the page-mode area, cuts, adjustment
// values, memory switches and the user setting mode), byte for byte against
// bytes worked out by hand, on both kinds of channel. The exports that send
// one fixed command are checked against the emulator's decoder instead
// (tests/sim/escpos/exports_decode_test.cpp).
#include <array>
#include <climits>
#include <memory>
#include <string>
#include <vector>

#include "command_check.h"

namespace slipdrv {
namespace {

using namespace testing;

// GS ! n: widths 0-7 go to the upper four bits, heights clamped to 0-7 to the
// lower four; widths of 8-111 are taken as already shifted and added as they are.
std::vector<Case> characterSizeCases() {
    const struct {
        int width, height;
        std::uint8_t n;
    } rows[] = {
        {0, 0, 0x00},
        {1, 1, 0x11},
        {7, 9, 0x77},
        {200, 0, 0x70},
        {-3, 20, 0x07},
        {7, 7, 0x77},
        {0, 7, 0x07},
        {0, 8, 0x07},
        {3, -1, 0x30},
        {-1, -1, 0x00},
        {112, 3, 0x73},
        {111, 0, 0x6F},
        {8, 0, 0x08},
        {16, 2, 0x12},
        {32, 1, 0x21},
        {100, 5, 0x69},
        {111, 7, 0x76},
        {INT_MIN, INT_MIN, 0x00},
        {INT_MAX, INT_MAX, 0x77},
        {256 + 1, 0, 0x70},
        {2, 256 + 1, 0x27},
    };
    std::vector<Case> cases;
    for (const auto& r : rows)
        cases.push_back({callName("BPSelectCharacterSize", {r.width, r.height}),
                         [r] { return BPSelectCharacterSize(r.width, r.height); },
                         0,
                         {0x1D, 0x21, r.n}});
    return cases;
}

Case tabCase(const std::string& label, std::string text, int result, Bytes bytes) {
    auto held = std::make_shared<std::string>(std::move(text));
    return {"BPSetHorizonTABPosition(" + label + ")", [held] { return BPSetHorizonTABPosition(held->c_str()); }, result,
            std::move(bytes)};
}

// `count` positions of 1, separated by commas.
std::string ones(int count) {
    std::string text;
    for (int i = 0; i < count; ++i) text += i ? ",1" : "1";
    return text;
}

// ESC D, then the low byte of each number ended by a non-digit (the
// terminating zero included), then NUL.
std::vector<Case> tabPositionCases() {
    const Bytes head = {0x1B, 0x44};
    std::vector<Case> cases = {
        tabCase("\"8,16,24\"", "8,16,24", 0, head + Bytes{0x08, 0x10, 0x18, 0x00}),
        tabCase("\"8\"", "8", 0, head + Bytes{0x08, 0x00}),
        tabCase("\"\"", "", 0, head + Bytes{0x00, 0x00}),
        tabCase("\"8,,16\"", "8,,16", 0, head + Bytes{0x08, 0x00, 0x10, 0x00}),
        tabCase("\"8,\"", "8,", 0, head + Bytes{0x08, 0x00, 0x00}),
        tabCase("\",8\"", ",8", 0, head + Bytes{0x00, 0x08, 0x00}),
        tabCase("\"300\"", "300", 0, head + Bytes{0x2C, 0x00}),
        tabCase("\"255,256,999\"", "255,256,999", 0, head + Bytes{0xFF, 0x00, 0xE7, 0x00}),
        tabCase("\"007,0,00\"", "007,0,00", 0, head + Bytes{0x07, 0x00, 0x00, 0x00}),
        // Any non-digit separates: blanks, the bytes just outside '0'-'9', letters, bytes 80-FF.
        tabCase("\"1 2;3\"", "1 2;3", 0, head + Bytes{0x01, 0x02, 0x03, 0x00}),
        tabCase("\"1/2:3\"", "1/2:3", 0, head + Bytes{0x01, 0x02, 0x03, 0x00}),
        tabCase("\"4a5\"", "4a5", 0, head + Bytes{0x04, 0x05, 0x00}),
        tabCase("\"8\\xB016\\xFF24\"",
                "8\xB0"
                "16\xFF"
                "24",
                0, head + Bytes{0x08, 0x10, 0x18, 0x00}),
        tabCase("\"9\\x80\\x809\"",
                "9\x80\x80"
                "9",
                0, head + Bytes{0x09, 0x00, 0x09, 0x00}),
        // A number of more than three digits would not fit the printer's list.
        tabCase("\"1000\"", "1000", -1, {}),
        tabCase("\"8,16,1234\"", "8,16,1234", -1, {}),
        tabCase("\"0008\"", "0008", -1, {}),
        tabCase("\"99999999999\"", "99999999999", -1, {}),
    };
    // 97 positions fill the 100-byte command; the 98th is refused.
    Bytes full = head;
    for (int i = 0; i < 97; ++i) full.push_back(0x01);
    full.push_back(0x00);
    cases.push_back(tabCase("97 numbers", ones(97), 0, full));
    cases.push_back(tabCase("98 numbers", ones(98), -1, {}));
    Bytes trailing = head;
    for (int i = 0; i < 96; ++i) trailing.push_back(0x01);
    trailing.push_back(0x00);  // the empty number after the last comma
    trailing.push_back(0x00);
    cases.push_back(tabCase("96 numbers and a comma", ones(96) + ",", 0, trailing));
    cases.push_back(tabCase("97 numbers and a comma", ones(97) + ",", -1, {}));
    cases.push_back(tabCase("97 commas", std::string(97, ','), -1, {}));  // 98 empty numbers
    cases.push_back({"BPSetHorizonTABPosition(null)", [] { return BPSetHorizonTABPosition(nullptr); }, -1, {}});
    return cases;
}

// ESC & 3 c1 c2 x and 3 * x pattern bytes copied as they are (zero bytes included).
std::vector<Case> userDefineCharacterCases() {
    static const std::array<char, 36> pattern = [] {
        std::array<char, 36> p{};
        const std::uint8_t bytes[] = {0x00, 0xFF, 0x80, 0x7F, 0x01, 0x1B};
        for (std::size_t i = 0; i < p.size(); ++i) p[i] = static_cast<char>(bytes[i % 6] ^ (i / 6));
        return p;
    }();
    auto patternBytes = [](int x) {
        return Bytes(reinterpret_cast<const std::uint8_t*>(pattern.data()),
                     reinterpret_cast<const std::uint8_t*>(pattern.data()) + 3 * x);
    };
    auto c = [](int c1, int c2, int x, const char* p, int result, Bytes bytes) {
        return Case{callName("BPUserDefineCharacter", {c1, c2, x}) + (p ? "" : " null"),
                    [=] { return BPUserDefineCharacter(c1, c2, x, p); }, result, std::move(bytes)};
    };
    const char* p = pattern.data();
    return {
        c(65, 65, 12, p, 0, Bytes{0x1B, 0x26, 0x03, 0x41, 0x41, 0x0C} + patternBytes(12)),
        c(32, 126, 1, p, 0, Bytes{0x1B, 0x26, 0x03, 0x20, 0x7E, 0x01} + patternBytes(1)),
        c(32, 32, 5, p, 0, Bytes{0x1B, 0x26, 0x03, 0x20, 0x20, 0x05} + patternBytes(5)),
        c(126, 126, 0, p, 0, {0x1B, 0x26, 0x03, 0x7E, 0x7E, 0x00}),
        c(48, 57, 0, nullptr, 0, {0x1B, 0x26, 0x03, 0x30, 0x39, 0x00}),  // no pattern byte is read
        c(65, 64, 5, p, -1, {}),
        c(31, 65, 1, p, -1, {}),
        c(127, 127, 1, p, -1, {}),
        c(65, 127, 1, p, -1, {}),
        c(31, 31, 1, p, -1, {}),
        c(256 + 65, 256 + 65, 1, p, -1, {}),
        c(65, 256 + 66, 1, p, -1, {}),
        c(65, 66, -1, p, -1, {}),
        c(65, 66, 13, p, -1, {}),
        c(65, 66, 256 + 1, p, -1, {}),
        c(INT_MIN, 66, 1, p, -1, {}),
        c(65, 66, 1, nullptr, -1, {}),
    };
}

// FS 2 c1 c2 and the low bytes of 72 integers.
std::vector<Case> userDefineChineseCases() {
    static const std::array<int, 72> pattern = [] {
        std::array<int, 72> p{};
        for (int i = 0; i < 72; ++i) p[static_cast<std::size_t>(i)] = i * 0x01010107 - 1000;
        p[0] = -1;
        p[71] = 0x100;
        return p;
    }();
    Bytes data;
    for (const int v : pattern) data.push_back(low8(v));
    auto c = [](int c1, int c2, const int* p, int result, Bytes bytes) {
        return Case{callName("BPUserDefineChinese", {c1, c2}) + (p ? "" : " null"),
                    [=] { return BPUserDefineChinese(c1, c2, p); }, result, std::move(bytes)};
    };
    return {
        c(0xFE, 0xA1, pattern.data(), 0, Bytes{0x1C, 0x32, 0xFE, 0xA1} + data),
        c(0x1B0, -1, pattern.data(), 0, Bytes{0x1C, 0x32, 0xB0, 0xFF} + data),
        c(INT_MIN, INT_MAX, pattern.data(), 0, Bytes{0x1C, 0x32, 0x00, 0xFF} + data),
        c(0xFE, 0xA1, nullptr, -1, {}),
    };
}

// ESC W with x, y, width and height in millimetres, sent as dots (8 per
// millimetre), each a 16-bit value low byte first.
std::vector<Case> printAreaCases() {
    auto c = [](int x, int y, int w, int h, int result, Bytes bytes) {
        return Case{callName("BPSetPrintAreaPageMode", {x, y, w, h}),
                    [=] { return BPSetPrintAreaPageMode(x, y, w, h); }, result, std::move(bytes)};
    };
    const Bytes head = {0x1B, 0x57};
    return {
        c(0, 0, 80, 185, 0, head + Bytes{0x00, 0x00, 0x00, 0x00, 0x80, 0x02, 0xC8, 0x05}),
        c(80, 180, 80, 185, 0, head + Bytes{0x80, 0x02, 0xA0, 0x05, 0x80, 0x02, 0xC8, 0x05}),
        c(0, 0, 1, 1, 0, head + Bytes{0x00, 0x00, 0x00, 0x00, 0x08, 0x00, 0x08, 0x00}),
        c(10, 20, 30, 40, 0, head + Bytes{0x50, 0x00, 0xA0, 0x00, 0xF0, 0x00, 0x40, 0x01}),
        c(31, 32, 33, 64, 0, head + Bytes{0xF8, 0x00, 0x00, 0x01, 0x08, 0x01, 0x00, 0x02}),
        c(81, 0, 10, 10, -1, {}),
        c(-1, 0, 10, 10, -1, {}),
        c(0, 181, 10, 10, -1, {}),
        c(0, -1, 10, 10, -1, {}),
        c(0, 0, 0, 10, -1, {}),
        c(0, 0, 81, 10, -1, {}),
        c(0, 0, 10, 0, -1, {}),
        c(0, 0, 10, 186, -1, {}),
        c(256, 0, 10, 10, -1, {}),
        c(0, 0, 256 + 10, 10, -1, {}),
        c(0, 0, 10, INT_MIN, -1, {}),
    };
}

// GS V m, or GS V 66 n for a feed and cut.
std::vector<Case> cutPaperCases() {
    auto c = [](int m, int n, int result, Bytes bytes) {
        return Case{callName("BPSelectCutPaper", {m, n}), [=] { return BPSelectCutPaper(m, n); }, result,
                    std::move(bytes)};
    };
    return {
        c(0, 0, 0, {0x1D, 0x56, 0x00}),
        c(1, 999, 0, {0x1D, 0x56, 0x01}),
        c(48, -5, 0, {0x1D, 0x56, 0x30}),
        c(49, INT_MIN, 0, {0x1D, 0x56, 0x31}),
        c(66, 0, 0, {0x1D, 0x56, 0x42, 0x00}),
        c(66, 255, 0, {0x1D, 0x56, 0x42, 0xFF}),
        c(66, 256, -1, {}),
        c(66, -1, -1, {}),
        c(66, 256 + 3, -1, {}),
        c(-1, 0, -1, {}),
        c(2, 0, -1, {}),
        c(47, 0, -1, {}),
        c(50, 0, -1, {}),
        c(65, 0, -1, {}),
        c(67, 0, -1, {}),
        c(256 + 1, 0, -1, {}),
        c(256 + 66, 0, -1, {}),
    };
}

// GS ( F with a, m, nL, nH; nL + 256 * nH at most 1600.
std::vector<Case> adjustmentCases() {
    auto c = [](int a, int m, int nL, int nH, int result) {
        Bytes bytes;
        if (result == 0) bytes = {0x1D, 0x28, 0x46, 0x04, 0x00, low8(a), low8(m), low8(nL), low8(nH)};
        return Case{callName("BPSetAdjustmentValue", {a, m, nL, nH}),
                    [=] { return BPSetAdjustmentValue(a, m, nL, nH); }, result, std::move(bytes)};
    };
    return {
        c(1, 0, 64, 6, 0),  c(1, 0, 65, 6, -1), c(2, 49, 255, 5, 0),     c(1, 48, 0, 6, 0),   c(1, 1, 0, 0, 0),
        c(2, 0, 255, 0, 0), c(3, 0, 0, 0, -1),  c(0, 0, 0, 0, -1),       c(257, 0, 0, 0, -1), c(1, 2, 0, 0, -1),
        c(1, 47, 0, 0, -1), c(1, 50, 0, 0, -1), c(1, 256, 0, 0, -1),     c(1, 0, 256, 0, -1), c(1, 0, -1, 0, -1),
        c(1, 0, 0, 7, -1),  c(1, 0, 0, -1, -1), c(1, 0, 0, 256 + 1, -1), c(1, 0, 255, 6, -1),
    };
}

// GS ( E function 3: the switch set a and the low bytes of 8 integers.
std::vector<Case> memorySwitchCases() {
    static const int values[8] = {0, 1, 0x7F, 0x80, 0xFF, 0x100, -1, 0x1234};
    static const int oneValue = 1;
    const Bytes switches = {0x00, 0x01, 0x7F, 0x80, 0xFF, 0x00, 0xFF, 0x34};
    auto c = [](int a, const int* v, int result, Bytes bytes) {
        return Case{callName("BPSetMemorySwitch", {a}) + (v ? "" : " null"), [=] { return BPSetMemorySwitch(a, v); },
                    result, std::move(bytes)};
    };
    const Bytes head = {0x1D, 0x28, 0x45, 0x0A, 0x00, 0x03};
    return {
        c(1, values, 0, head + Bytes{0x01} + switches),
        c(8, values, 0, head + Bytes{0x08} + switches),
        // A refused set reads nothing: eight integers read from one would
        // overrun it (the sanitizer build reports that).
        c(0, &oneValue, -1, {}),
        c(9, &oneValue, -1, {}),
        c(256 + 1, &oneValue, -1, {}),
        c(-1, &oneValue, -1, {}),
        c(1, nullptr, -1, {}),
    };
}

// GS ( E function 1 "IN" enters the user setting mode, function 2 "OUT" ends it.
std::vector<Case> userDefineCommandCases() {
    auto c = [](int n, int result, Bytes bytes) {
        return Case{callName("BPUserDefineCommand", {n}), [=] { return BPUserDefineCommand(n); }, result,
                    std::move(bytes)};
    };
    return {
        c(1, 0, {0x1D, 0x28, 0x45, 0x03, 0x00, 0x01, 0x49, 0x4E}),
        c(2, 0, {0x1D, 0x28, 0x45, 0x04, 0x00, 0x02, 0x4F, 0x55, 0x54}),
        c(0, -1, {}),
        c(3, -1, {}),
        c(-1, -1, {}),
        c(256 + 1, -1, {}),
        c(256 + 2, -1, {}),
        c(49, -1, {}),
    };
}

std::vector<Case> commandsWithAlgorithms() {
    std::vector<Case> all;
    for (auto family : {characterSizeCases, tabPositionCases, userDefineCharacterCases, userDefineChineseCases,
                        printAreaCases, cutPaperCases, adjustmentCases, memorySwitchCases, userDefineCommandCases}) {
        const auto cases = family();
        all.insert(all.end(), cases.begin(), cases.end());
    }
    return all;
}

class CommandExportsTest : public CommandTest {};

TEST_F(CommandExportsTest, CharacterSize) { check(openSerial(), characterSizeCases()); }

TEST_F(CommandExportsTest, HorizontalTabPositions) { check(openSerial(), tabPositionCases()); }

TEST_F(CommandExportsTest, UserDefinedCharacters) {
    auto& printer = openSerial();
    check(printer, userDefineCharacterCases());
    check(printer, userDefineChineseCases());
}

TEST_F(CommandExportsTest, PageModePrintArea) { check(openSerial(), printAreaCases()); }

TEST_F(CommandExportsTest, CutPaper) { check(openSerial(), cutPaperCases()); }

TEST_F(CommandExportsTest, AdjustmentValue) { check(openSerial(), adjustmentCases()); }

TEST_F(CommandExportsTest, MemorySwitchesAndUserSettingMode) {
    auto& printer = openSerial();
    check(printer, memorySwitchCases());
    check(printer, userDefineCommandCases());
}

TEST_F(CommandExportsTest, CommandsWithAlgorithmsOnTheParallelChannel) {
    check(openParallel(), commandsWithAlgorithms());
}

// Whatever the arguments, nothing can be sent while the active channel's port
// is closed: before any open (parallel active), and after a refused open of a
// COM port (serial active).
TEST_F(CommandExportsTest, EveryCommandGivesMinusOneWithThePortClosed) {
    const auto all = commandsWithAlgorithms();
    checkClosed(all);
    ASSERT_EQ(BPOpenPrinter(3, 1200), -1);
    checkClosed(all);
}

// A port that was open but is closed again refuses too, and once it is open
// again nothing from the closed time reaches the printer.
TEST_F(CommandExportsTest, ClosingThePortStopsTheCommands) {
    auto& printer = openSerial();
    ASSERT_EQ(BPClosePrinter(), 0);
    checkClosed(commandsWithAlgorithms());
    EXPECT_TRUE(printer.written().empty());
    printer.reopen();
    check(printer,
          {{"BPSelectCharacterSize(1, 1)", [] { return BPSelectCharacterSize(1, 1); }, 0, {0x1D, 0x21, 0x11}}});
}

}  // namespace
}  // namespace slipdrv
