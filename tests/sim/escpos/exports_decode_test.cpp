// Everything the exports send decodes: each export that writes to the printer
// is called with valid arguments on the in-memory channel, and what it wrote
// must decode without an unknown, truncated or oversized command. The exports
// that send one fixed command carry the caller's argument bytes in the command
// the emulator's decoder recognises, and refuse what they do not accept. A page
// laid out through the page-mode exports prints within its area.
#include <gtest/gtest.h>

#include <cstddef>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "bit_image_fixture.h"
#include "command_check.h"
#include "command_table.h"
#include "escpos_decoder.h"
#include "render_support.h"

namespace slipdrv::testing {
namespace {

struct Call {
    const char* name;
    std::function<int()> call;
};

std::vector<Call> calls() {
    static const int kSwitches[8] = {1, 0, 1, 0, 0, 0, 0, 1};
    static const char kPattern[36] = "\x01\x02\x03\x04\x05\x06";
    static const std::vector<int> kChinese(72, 0x5A);
    return {
        {"BPPrintString", [] { return BPPrintString("Total 12.50\n"); }},
        {"BPPrintAndFeed", BPPrintAndFeed},
        {"BPPrintNotFeed", BPPrintNotFeed},
        {"BPPrintExitStandardMode", BPPrintExitStandardMode},
        {"BPRealtimeGetStatus", [] { return BPRealtimeGetStatus(4); }},
        {"BPMoveHorizontalTAB", BPMoveHorizontalTAB},
        {"BPCancelPrintPageMode", BPCancelPrintPageMode},
        {"BPRealtimeResponse", [] { return BPRealtimeResponse(2); }},
        {"BPPrintPageMode", BPPrintPageMode},
        {"BPSetASCIIRightSpace", [] { return BPSetASCIIRightSpace(2); }},
        {"BPSetPrintMode", [] { return BPSetPrintMode(0xB9); }},
        {"BPSetAbsoluPrintPosition", [] { return BPSetAbsoluPrintPosition(100, 1); }},
        {"BPSelectUserDefineSet", [] { return BPSelectUserDefineSet(1); }},
        // One character: for a range the export sends a single width and pattern, where the
        // command takes one per character, so the printer would read what follows as patterns.
        {"BPUserDefineCharacter", [] { return BPUserDefineCharacter('A', 'A', 2, kPattern); }},
        {"BPSetUnderLine", [] { return BPSetUnderLine(2); }},
        {"BPSelectDefaultLineSpace", BPSelectDefaultLineSpace},
        {"BPSetLineSpace", [] { return BPSetLineSpace(30); }},
        {"BPCancelUserDefineCharacter", [] { return BPCancelUserDefineCharacter('A'); }},
        {"BPInitializePrinter", BPInitializePrinter},
        {"BPSetHorizonTABPosition", [] { return BPSetHorizonTABPosition("8,16,24"); }},
        {"BPEmphasizedPrintSet", [] { return BPEmphasizedPrintSet(1); }},
        {"BPSuperposePrintSet", [] { return BPSuperposePrintSet(1); }},
        {"BPPrintFeedPaper", [] { return BPPrintFeedPaper(24); }},
        {"BPSelectPageMode", BPSelectPageMode},
        {"BPSelectCharacterAB", [] { return BPSelectCharacterAB(1); }},
        {"BPSelectInternationalCharacterSet", [] { return BPSelectInternationalCharacterSet(13); }},
        {"BPSelectStardardMode", BPSelectStardardMode},
        {"BPPagePrintDirection", [] { return BPPagePrintDirection(51); }},
        {"BPClockwiseRotation90Set", [] { return BPClockwiseRotation90Set(49); }},
        {"BPSetPrintAreaPageMode", [] { return BPSetPrintAreaPageMode(0, 0, 80, 185); }},
        {"BPSetRelativePrintPosition", [] { return BPSetRelativePrintPosition(0xF6, 0xFF); }},
        {"BPSelectJustification", [] { return BPSelectJustification(1); }},
        {"BPSelectPaperSensor", [] { return BPSelectPaperSensor(3); }},
        {"BPSelectSensorStopPrint", [] { return BPSelectSensorStopPrint(1); }},
        {"BPSetPanelButtonsEnable", [] { return BPSetPanelButtonsEnable(1); }},
        {"BPPrintFeedSomeLines", [] { return BPPrintFeedSomeLines(3); }},
        {"BPSelectCharacterCodeTable", [] { return BPSelectCharacterCodeTable(255); }},
        {"BPFeedMarkStartPosition", BPFeedMarkStartPosition},
        {"BPSelectCharacterSize", [] { return BPSelectCharacterSize(7, 7); }},
        {"BPPageAbsoluVerticalPosition", [] { return BPPageAbsoluVerticalPosition(10, 0); }},
        {"BPExecuteTestPrint", [] { return BPExecuteTestPrint(2, 51); }},
        {"BPUserDefineCommand(1)", [] { return BPUserDefineCommand(1); }},
        {"BPUserDefineCommand(2)", [] { return BPUserDefineCommand(2); }},
        {"BPSetMemorySwitch", [] { return BPSetMemorySwitch(8, kSwitches); }},
        {"BPGetMemorySwitch",
         [] {
             unsigned char buffer[11];
             return BPGetMemorySwitch(1, buffer);
         }},
        {"BPSetAdjustmentValue", [] { return BPSetAdjustmentValue(2, 49, 0x40, 6); }},
        {"BPCustomizeControlValue", [] { return BPCustomizeControlValue(51, 49); }},
        {"BPSelectHRIPosition", [] { return BPSelectHRIPosition(3); }},
        {"BPTransmitPrinterID", [] { return BPTransmitPrinterID(49); }},
        {"BPSetLeftMargin", [] { return BPSetLeftMargin(16, 0); }},
        {"BPSetBeginningPosition", [] { return BPSetBeginningPosition(1); }},
        {"BPSelectCutPaper(0)", [] { return BPSelectCutPaper(0, 0); }},
        {"BPSelectCutPaper(49)", [] { return BPSelectCutPaper(49, 0); }},
        {"BPSelectCutPaper(66)", [] { return BPSelectCutPaper(66, 255); }},
        {"BPSetPrintingAreaWidth", [] { return BPSetPrintingAreaWidth(0x80, 1); }},
        {"BPPageRelativeVertialPosition", [] { return BPPageRelativeVertialPosition(5, 0); }},
        {"BPAutoStatusBackSet", [] { return BPAutoStatusBackSet(255); }},
        {"BPSmoothingModeSet", [] { return BPSmoothingModeSet(1); }},
        {"BPSelectHRICharacter", [] { return BPSelectHRICharacter(49); }},
        {"BPSetBarCodeHeight", [] { return BPSetBarCodeHeight(255); }},
        {"BPPrintBarCode(4)", [] { return BPPrintBarCode(4, 5, "CODE-39"); }},
        {"BPPrintBarCode(8)", [] { return BPPrintBarCode(8, 8, "1234567"); }},
        {"BPPrintBarCode(73)", [] { return BPPrintBarCode(73, 6, "{Babc\x01"); }},
        {"BPPrintBarCode(75)", [] { return BPPrintBarCode(75, 8, "12345670"); }},
        {"BPTransmitStatus", [] { return BPTransmitStatus(49); }},
        {"BPSetBarCodeWidth", [] { return BPSetBarCodeWidth(6); }},
        {"BPSetChinesePrintMode", [] { return BPSetChinesePrintMode(0x8C); }},
        {"BPSelectChineseMode", BPSelectChineseMode},
        {"BPChineseUnderLineSet", [] { return BPChineseUnderLineSet(49); }},
        {"BPExitChineseMode", BPExitChineseMode},
        {"BPUserDefineChinese", [] { return BPUserDefineChinese(0xFE, 0xA1, kChinese.data()); }},
        {"BPSelectChineseCodeSys", [] { return BPSelectChineseCodeSys(1); }},
        {"BPSetChineseLRSpace", [] { return BPSetChineseLRSpace(2, 3); }},
        {"BPSetChineseQuadrupleSize", [] { return BPSetChineseQuadrupleSize(1); }},
        {"BPUpsidedownPrintiModeSet", [] { return BPUpsidedownPrintiModeSet(1); }},
        {"BPPrintNVBitImage", [] { return BPPrintNVBitImage(1, 51); }},
        {"BPDefineNVBitImage", [] { return BPDefineNVBitImage("logo.bmp"); }},
        {"BPPrintBitmap(0)", [] { return BPPrintBitmap("logo.bmp", 0); }},
        {"BPPrintBitmap(1)", [] { return BPPrintBitmap("logo.bmp", 1); }},
        {"BPPrintBitmap(32)", [] { return BPPrintBitmap("logo.bmp", 32); }},
        {"BPPrintBitmap(33)", [] { return BPPrintBitmap("logo.bmp", 33); }},
        {"BPPrintDownloadBitImage", [] { return BPPrintDownloadBitImage("logo.bmp", 3); }},
        {"BPOpenCashBox", BPOpenCashBox},
    };
}

// The image exports write their staging files into a scratch directory.
using ExportsDecodeTest = BitImageTest;

// A command as the decoder read it: its kind, how many bytes of the stream it
// took, and what it carries: each argument's bytes (a word low byte first),
// then its payload. A length-prefixed command's length is left out, as the
// decoder has already measured the payload by it.
struct Decoded {
    escpos::Kind kind;
    std::uint64_t length;
    Bytes carried;
};

std::vector<Decoded> decode(const Bytes& bytes) {
    std::vector<Decoded> commands;
    escpos::Decoder decoder([&](const escpos::Command& command) {
        Decoded d{command.kind, command.length, {}};
        const std::string_view layout = command.row ? command.row->layout : "";
        std::size_t count = command.argumentCount;
        if (command.row && command.row->payload == escpos::Payload::kLength && count > 0) --count;
        for (std::size_t i = 0; i < count && i < layout.size(); ++i) {
            const int size = layout[i] == 'd' ? 4 : layout[i] == 'w' ? 2 : 1;
            for (int b = 0; b < size; ++b) d.carried.push_back(low8(command.arguments[i] >> (8 * b)));
        }
        d.carried.insert(d.carried.end(), command.payload.begin(), command.payload.end());
        commands.push_back(std::move(d));
    });
    decoder.feed(bytes);
    decoder.finish();
    return commands;
}

// The exports that send one command with a fixed prefix: the command the
// decoder must find, the values each argument accepts (as slipdrv.h gives
// them), and the bytes the command carries before the arguments' low bytes.
struct SimpleExport {
    const char* name;
    escpos::Kind kind;
    std::function<int(int, int)> call;  // arguments the export lacks are dropped
    std::vector<Ranges> accepted;
    Bytes fixed = {};
};

std::vector<SimpleExport> simpleExports() {
    using enum escpos::Kind;
    const Ranges byte = {kByte}, underline = {{0, 2}, {48, 50}}, zeroOneOrAscii = {{0, 1}, {48, 49}},
                 functionSelector = {{1, 3}, {49, 51}};
    auto none = [](int (*f)()) { return [f](int, int) { return f(); }; };
    auto one = [](int(SLIPDRV_CALL * f)(int)) { return [f](int a, int) { return f(a); }; };
    auto two = [](int(SLIPDRV_CALL * f)(int, int)) { return [f](int a, int b) { return f(a, b); }; };
    return {
        {"BPPrintAndFeed", kLineFeed, none(BPPrintAndFeed), {}},
        {"BPPrintNotFeed", kCarriageReturn, none(BPPrintNotFeed), {}},
        {"BPMoveHorizontalTAB", kHorizontalTab, none(BPMoveHorizontalTAB), {}},
        {"BPInitializePrinter", kInitialize, none(BPInitializePrinter), {}},
        {"BPSelectDefaultLineSpace", kDefaultLineSpacing, none(BPSelectDefaultLineSpace), {}},
        {"BPSelectChineseMode", kChineseMode, none(BPSelectChineseMode), {}},
        {"BPExitChineseMode", kExitChineseMode, none(BPExitChineseMode), {}},
        {"BPSelectPageMode", kPageMode, none(BPSelectPageMode), {}},
        {"BPSelectStardardMode", kStandardMode, none(BPSelectStardardMode), {}},
        {"BPPrintPageMode", kPrintPage, none(BPPrintPageMode), {}},
        {"BPPrintExitStandardMode", kFormFeed, none(BPPrintExitStandardMode), {}},
        {"BPCancelPrintPageMode", kCancelPageData, none(BPCancelPrintPageMode), {}},
        {"BPFeedMarkStartPosition", kFeedToMark, none(BPFeedMarkStartPosition), {}},
        // Drawer pin 2, the longest on and off times the command allows.
        {"BPOpenCashBox", kDrawerPulse, none(BPOpenCashBox), {}, {0x00, 0xFF, 0xFF}},

        {"BPSetASCIIRightSpace", kRightSpacing, one(BPSetASCIIRightSpace), {byte}},
        {"BPSetPrintMode", kPrintMode, one(BPSetPrintMode), {byte}},
        {"BPSetUnderLine", kUnderline, one(BPSetUnderLine), {underline}},
        {"BPEmphasizedPrintSet", kEmphasized, one(BPEmphasizedPrintSet), {byte}},
        {"BPSuperposePrintSet", kDoubleStrike, one(BPSuperposePrintSet), {byte}},
        {"BPUpsidedownPrintiModeSet", kUpsideDown, one(BPUpsidedownPrintiModeSet), {byte}},
        {"BPClockwiseRotation90Set", kRotation90, one(BPClockwiseRotation90Set), {zeroOneOrAscii}},
        {"BPSmoothingModeSet", kSmoothing, one(BPSmoothingModeSet), {byte}},
        {"BPSetLineSpace", kLineSpacing, one(BPSetLineSpace), {byte}},
        {"BPPrintFeedPaper", kFeedDots, one(BPPrintFeedPaper), {byte}},
        {"BPPrintFeedSomeLines", kFeedLines, one(BPPrintFeedSomeLines), {byte}},
        {"BPSelectJustification", kJustification, one(BPSelectJustification), {underline}},
        {"BPSetBeginningPosition", kLineStart, one(BPSetBeginningPosition), {zeroOneOrAscii}},
        {"BPSelectCharacterAB", kCharacterFont, one(BPSelectCharacterAB), {zeroOneOrAscii}},
        {"BPSelectInternationalCharacterSet", kInternationalSet, one(BPSelectInternationalCharacterSet), {{{0, 13}}}},
        {"BPSelectCharacterCodeTable", kCodeTable, one(BPSelectCharacterCodeTable), {{{0, 5}, {16, 19}, {255, 255}}}},
        {"BPSelectUserDefineSet", kUserCharacterSet, one(BPSelectUserDefineSet), {byte}},
        {"BPCancelUserDefineCharacter", kCancelUserCharacter, one(BPCancelUserDefineCharacter), {{{32, 126}}}},
        {"BPSetChinesePrintMode", kChinesePrintMode, one(BPSetChinesePrintMode), {byte}},
        {"BPChineseUnderLineSet", kChineseUnderline, one(BPChineseUnderLineSet), {underline}},
        {"BPSelectChineseCodeSys", kChineseCodeSystem, one(BPSelectChineseCodeSys), {underline}},
        {"BPSetChineseQuadrupleSize", kChineseQuadruple, one(BPSetChineseQuadrupleSize), {byte}},
        {"BPPagePrintDirection", kPageDirection, one(BPPagePrintDirection), {{{0, 3}, {48, 51}}}},
        {"BPSelectPaperSensor", kPaperSensor, one(BPSelectPaperSensor), {byte}},
        {"BPSelectSensorStopPrint", kSensorStop, one(BPSelectSensorStopPrint), {byte}},
        {"BPSetPanelButtonsEnable", kPanelButtons, one(BPSetPanelButtonsEnable), {byte}},
        {"BPSetBarCodeHeight", kBarcodeHeight, one(BPSetBarCodeHeight), {{{1, 255}}}},
        {"BPSetBarCodeWidth", kBarcodeWidth, one(BPSetBarCodeWidth), {{{2, 6}}}},
        {"BPSelectHRIPosition", kHriPosition, one(BPSelectHRIPosition), {{{0, 3}, {48, 51}}}},
        {"BPSelectHRICharacter", kHriFont, one(BPSelectHRICharacter), {zeroOneOrAscii}},

        // The two caller-cleans exports, called through a lambda as on every host.
        {"BPSetAbsoluPrintPosition",
         kAbsolutePosition,
         [](int a, int b) { return BPSetAbsoluPrintPosition(a, b); },
         {byte, byte}},
        {"BPPageAbsoluVerticalPosition",
         kPageVerticalPosition,
         [](int a, int b) { return BPPageAbsoluVerticalPosition(a, b); },
         {byte, byte}},
        {"BPSetRelativePrintPosition", kRelativePosition, two(BPSetRelativePrintPosition), {byte, byte}},
        {"BPSetLeftMargin", kLeftMargin, two(BPSetLeftMargin), {byte, byte}},
        {"BPSetPrintingAreaWidth", kAreaWidth, two(BPSetPrintingAreaWidth), {byte, byte}},
        {"BPSetChineseLRSpace", kChineseSpacing, two(BPSetChineseLRSpace), {byte, byte}},
        {"BPPageRelativeVertialPosition", kPageRelativeVertical, two(BPPageRelativeVertialPosition), {byte, byte}},
        {"BPExecuteTestPrint", kTestPrint, two(BPExecuteTestPrint), {underline, functionSelector}},
        {"BPCustomizeControlValue", kCustomize, two(BPCustomizeControlValue), {functionSelector, zeroOneOrAscii}},
    };
}

// The argument pairs worth trying: each argument's probes while the other
// holds an accepted value.
std::vector<std::pair<int, int>> probePairs(const SimpleExport& e) {
    if (e.accepted.empty()) return {{0, 0}};
    const int steadyFirst = e.accepted[0].back().first;
    const int steadySecond = e.accepted.size() > 1 ? e.accepted[1].back().second : 0;
    std::vector<std::pair<int, int>> pairs;
    for (const int a : probes(e.accepted[0])) pairs.push_back({a, steadySecond});
    if (e.accepted.size() > 1)
        for (const int b : probes(e.accepted[1])) pairs.push_back({steadyFirst, b});
    return pairs;
}

bool accepts(const SimpleExport& e, int a, int b) {
    return (e.accepted.size() < 1 || inRanges(e.accepted[0], a)) &&
           (e.accepted.size() < 2 || inRanges(e.accepted[1], b));
}

TEST_F(ExportsDecodeTest, SimpleExportsSendTheirCommandWithTheCallersBytesOrNothing) {
    for (const bool serial : {true, false}) {
        auto& channel = serial ? openSerial() : openParallel();
        for (const auto& e : simpleExports()) {
            for (const auto& [a, b] : probePairs(e)) {
                const std::string call = callName(e.name, {a, b}) + (serial ? " on serial" : " on parallel");
                channel.clear();
                if (!accepts(e, a, b)) {
                    EXPECT_EQ(e.call(a, b), -1) << call;
                    EXPECT_EQ(channel.written(), Bytes{}) << call;
                    continue;
                }
                EXPECT_EQ(e.call(a, b), 0) << call;
                const auto commands = decode(channel.written());
                ASSERT_EQ(commands.size(), 1u) << call << ": " << ::testing::PrintToString(channel.written());
                EXPECT_EQ(commands[0].kind, e.kind) << call;
                EXPECT_EQ(commands[0].length, channel.written().size()) << call;
                Bytes expected = e.fixed;
                const int values[2] = {a, b};
                for (std::size_t i = 0; i < e.accepted.size(); ++i) expected.push_back(low8(values[i]));
                EXPECT_EQ(commands[0].carried, expected) << call;
            }
        }
    }
}

// Nothing can be sent while the active channel's port is closed, whatever the
// arguments: before any open (parallel active), after a refused open of a COM
// port (serial active), and after a port that was open is closed.
TEST_F(ExportsDecodeTest, SimpleExportsGiveMinusOneWithThePortClosed) {
    auto checkClosed = [](const char* when) {
        for (const auto& e : simpleExports())
            for (const auto& [a, b] : probePairs(e))
                EXPECT_EQ(e.call(a, b), -1) << callName(e.name, {a, b}) << " " << when;
    };
    checkClosed("before any open");
    ASSERT_EQ(BPOpenPrinter(3, 1200), -1);
    checkClosed("after a refused open");
    auto& channel = openSerial();
    ASSERT_EQ(BPClosePrinter(), 0);
    checkClosed("after a close");
    EXPECT_EQ(channel.written(), Bytes{});
}

TEST_F(ExportsDecodeTest, EverythingTheExportsSendDecodes) {
    // 100 x 30 dots: two or four ESC * bands, and column data of 13 x 4 bytes.
    save("logo.bmp", image_testing::patternPicture(100, 30));
    auto& channel = openParallel();
    for (const auto& c : calls()) {
        channel.clear();
        c.call();
        ASSERT_FALSE(channel.written().empty()) << c.name << " sent nothing";
        std::vector<std::string> faults;
        escpos::Decoder decoder([&](const escpos::Command& command) {
            if (command.kind == escpos::Kind::kUnknown || command.kind == escpos::Kind::kTruncated ||
                command.kind == escpos::Kind::kOversized)
                faults.push_back(escpos::listingLine(command));
        });
        decoder.feed(channel.written());
        decoder.finish();
        EXPECT_TRUE(faults.empty()) << c.name << ": " << ::testing::PrintToString(faults);
    }
}

TEST_F(ExportsDecodeTest, APageLaidOutThroughTheExportsPrintsWithinItsArea) {
    // The area: 2 mm across and 3 mm down, 40 x 20 mm, so dots [16, 336) x [24, 184).
    constexpr int kLeft = 16, kRight = 336, kTop = 24, kPage = 184;
    save("logo.bmp", image_testing::patternPicture(100, 30));
    auto& channel = openParallel();
    for (const int direction : {0, 1, 2, 3}) {
        SCOPED_TRACE(direction);
        channel.clear();
        // Printed once with text and the logo, then cancelled and printed with one character.
        BPSelectPageMode();
        BPPagePrintDirection(direction);
        BPSetPrintAreaPageMode(2, 3, 40, 20);
        BPPageAbsoluVerticalPosition(8, 0);
        BPPageRelativeVertialPosition(4, 0);
        BPPrintString("Total 12.50\n");
        BPPrintBitmap("logo.bmp", 33);
        BPPrintPageMode();
        BPCancelPrintPageMode();
        BPPrintString("x");
        BPPrintExitStandardMode();
        const auto pieces = escpos::testing::renderPieces(channel.written());
        ASSERT_EQ(pieces.size(), 1u);
        const auto& paper = pieces[0];
        EXPECT_EQ(paper.height(), 2 * kPage);
        int outside = 0, inFirst = 0, inSecond = 0;
        for (int y = 0; y < paper.height(); ++y)
            for (int x = 0; x < paper.width(); ++x) {
                if (!paper.dot(x, y)) continue;
                if (x < kLeft || x >= kRight || y % kPage < kTop) ++outside;
                ++(y < kPage ? inFirst : inSecond);
            }
        EXPECT_EQ(outside, 0);
        // After the cancel only one character cell is left to print.
        EXPECT_GT(inSecond, 0);
        EXPECT_LT(inSecond, 12 * 24);
        EXPECT_GT(inFirst, 2 * inSecond);
    }
}

// Bill rows of Chinese and ASCII text, laid out by the library in each
// character set and printed by a printer holding that set: the right-aligned
// cells of every row end on one dot column, inside the last column of the
// cells (12 dots a column, font A).
TEST_F(ExportsDecodeTest, BillRowsLineUpOnThePaperInEveryCharacterSet) {
    const char* const rows[] = {"台费\t35.50元", "会员折扣 (8折)\t-7.10元", "Snacks\t12.00元"};
    const struct {
        int width;
        const char* layout;
        int columns;
    } papers[] = {{576, "20L,12R", 32}, {384, "16L,16R", 32}};
    const std::pair<int, escpos::Charset> sets[] = {{SLIPDRV_TEXT_GB18030, escpos::Charset::kGb18030},
                                                    {SLIPDRV_TEXT_GBK, escpos::Charset::kGbk},
                                                    {SLIPDRV_TEXT_BIG5, escpos::Charset::kBig5},
                                                    {SLIPDRV_TEXT_UTF8, escpos::Charset::kUtf8}};
    auto& channel = openParallel();
    for (const auto& paper : papers) {
        for (const auto& [encoding, charset] : sets) {
            SCOPED_TRACE(std::string(paper.layout) + " on " + std::to_string(paper.width) + ", set " +
                         std::to_string(encoding));
            channel.clear();
            ASSERT_EQ(BPSetTextEncoding(encoding), 0);
            for (const char* row : rows) ASSERT_EQ(BPPrintRowUTF8(row, paper.layout), 0) << row;
            escpos::RendererOptions options{paper.width, "", 100000};
            options.charset = charset;
            const auto pieces = escpos::testing::renderPieces(channel.written(), options);
            ASSERT_EQ(pieces.size(), 1u);
            const auto lines = escpos::testing::bands(pieces[0]);
            ASSERT_EQ(lines.size(), std::size(rows));
            for (const auto& line : lines) {
                EXPECT_EQ(line.x1, lines[0].x1) << line;
                EXPECT_GT(line.x1, (paper.columns - 1) * 12) << line;
                EXPECT_LE(line.x1, paper.columns * 12) << line;
            }
        }
    }
}

}  // namespace
}  // namespace slipdrv::testing
