// Everything the exports send decodes: each export that writes to the printer
// is called with valid arguments on the in-memory channel, and what it wrote
// must decode without an unknown, truncated or oversized command. A page laid
// out through the page-mode exports prints within its area.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "bit_image_fixture.h"
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

}  // namespace
}  // namespace slipdrv::testing
