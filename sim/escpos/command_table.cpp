#include "command_table.h"

#include <array>
#include <cstddef>
#include <initializer_list>

namespace escpos {
namespace {

constexpr std::uint8_t HT = 0x09, LF = 0x0A, FF = 0x0C, CR = 0x0D, DLE = 0x10, CAN = 0x18, ESC = 0x1B, FS = 0x1C,
                       GS = 0x1D, EOT = 0x04, ENQ = 0x05, DC4 = 0x14;

constexpr CommandRow row(Kind kind, const char* mnemonic, std::initializer_list<std::uint8_t> prefix,
                         const char* layout, const char* meaning, Payload payload = Payload::kNone,
                         std::uint32_t limit = 0) {
    CommandRow r{{}, 0, kind, mnemonic, layout, payload, limit, meaning};
    for (const auto b : prefix) r.prefix[r.prefixLength++] = b;
    return r;
}

using enum Kind;
using P = Payload;

// Rows with the same first two prefix bytes must stay together (ESC ( x,
// ESC c 3/4/5, GS ( x, GS 8 L with GS 8 ..., GS v 0, FS ( x).
constexpr CommandRow kRows[] = {
    row(kHorizontalTab, "HT", {HT}, "", "horizontal tab"),
    row(kLineFeed, "LF", {LF}, "", "print and line feed"),
    row(kFormFeed, "FF", {FF}, "", "print the page and return to standard mode"),
    row(kCarriageReturn, "CR", {CR}, "", "print and carriage return"),
    row(kCancelPageData, "CAN", {CAN}, "", "cancel the print data of the page"),

    row(kRealtimeStatus, "DLE EOT", {DLE, EOT}, "b", "transmit real-time status: {status0}"),
    row(kRealtimeRequest, "DLE ENQ", {DLE, ENQ}, "b", "real-time request: {request0}"),
    row(kRealtimePulse, "DLE DC4", {DLE, DC4}, "b", "real-time function {0}{pulse}", P::kPulse, 7),

    row(kPrintPage, "ESC FF", {ESC, FF}, "", "print the page (page mode)"),
    row(kRightSpacing, "ESC SP", {ESC, ' '}, "b", "set character right spacing to {0} dots"),
    row(kPrintMode, "ESC !", {ESC, '!'}, "b", "select print mode: {mode0}"),
    row(kAbsolutePosition, "ESC $", {ESC, '$'}, "w", "set absolute print position to {0} dots"),
    row(kUserCharacterSet, "ESC %", {ESC, '%'}, "b", "user-defined character set {on0}"),
    row(kDefineUserCharacters, "ESC &", {ESC, '&'}, "bbb", "define user-defined characters {udc}", P::kUserCharacters),
    row(kBeeper, "ESC ( A", {ESC, '(', 'A'}, "w", "beeper: function {p0} ({bytes} bytes)", P::kLength),
    row(kBatchPrint, "ESC ( Y", {ESC, '(', 'Y'}, "w", "batch print: function {p0} ({bytes} bytes)", P::kLength),
    row(kBitImage, "ESC *", {ESC, '*'}, "bw", "print bit image {bitimage}", P::kBitImage),
    row(kUnderline, "ESC -", {ESC, '-'}, "b", "underline {ul0}"),
    row(kDefaultLineSpacing, "ESC 2", {ESC, '2'}, "", "select default line spacing"),
    row(kLineSpacing, "ESC 3", {ESC, '3'}, "b", "set line spacing to {0} dots"),
    row(kPeripheralDevice, "ESC =", {ESC, '='}, "b", "select peripheral device {0}"),
    row(kCancelUserCharacter, "ESC ?", {ESC, '?'}, "b", "cancel user-defined character {char0}"),
    row(kInitialize, "ESC @", {ESC, '@'}, "", "initialize printer"),
    row(kTabPositions, "ESC D", {ESC, 'D'}, "", "set horizontal tab positions: {tabs}", P::kUntilNul, 255),
    row(kEmphasized, "ESC E", {ESC, 'E'}, "b", "emphasized {on0}"),
    row(kDoubleStrike, "ESC G", {ESC, 'G'}, "b", "double-strike {on0}"),
    row(kFeedDots, "ESC J", {ESC, 'J'}, "b", "print and feed {0} dots"),
    row(kPageMode, "ESC L", {ESC, 'L'}, "", "select page mode"),
    row(kCharacterFont, "ESC M", {ESC, 'M'}, "b", "select character font {font0}"),
    row(kInternationalSet, "ESC R", {ESC, 'R'}, "b", "select international character set {0}"),
    row(kStandardMode, "ESC S", {ESC, 'S'}, "", "select standard mode"),
    row(kPageDirection, "ESC T", {ESC, 'T'}, "b", "select print direction in page mode: {dir0}"),
    row(kRotation90, "ESC V", {ESC, 'V'}, "b", "90-degree clockwise rotation {on0}"),
    row(kPageArea, "ESC W", {ESC, 'W'}, "wwww", "set print area in page mode: x {0}, y {1}, {2} x {3} dots"),
    row(kRelativePosition, "ESC \\", {ESC, '\\'}, "w", "set relative print position by {signed0} dots"),
    row(kJustification, "ESC a", {ESC, 'a'}, "b", "select justification: {just0}"),
    row(kPaperSensor, "ESC c 3", {ESC, 'c', '3'}, "b", "select paper sensors for the paper-end signal: {0}"),
    row(kSensorStop, "ESC c 4", {ESC, 'c', '4'}, "b", "select paper sensors to stop printing: {0}"),
    row(kPanelButtons, "ESC c 5", {ESC, 'c', '5'}, "b", "panel buttons {disabled0}"),
    row(kFeedLines, "ESC d", {ESC, 'd'}, "b", "print and feed {0} lines"),
    row(kReverseFeedLines, "ESC e", {ESC, 'e'}, "b", "print and reverse feed {0} lines"),
    row(kPartialCutOnePoint, "ESC i", {ESC, 'i'}, "", "partial cut (one point left)"),
    row(kPartialCutThreePoints, "ESC m", {ESC, 'm'}, "", "partial cut (three points left)"),
    row(kDrawerPulse, "ESC p", {ESC, 'p'}, "bbb", "drawer kick-out pulse: {drawer}"),
    row(kCodeTable, "ESC t", {ESC, 't'}, "b", "select character code table {codepage0}"),
    row(kUpsideDown, "ESC {", {ESC, '{'}, "b", "upside-down printing {on0}"),

    row(kFeedToMark, "GS FF", {GS, FF}, "", "feed marked paper to the print start position"),
    row(kCharacterSize, "GS !", {GS, '!'}, "b", "select character size: {size0}"),
    row(kPageVerticalPosition, "GS $", {GS, '$'}, "w", "set absolute vertical position in page mode to {0} dots"),
    row(kTestPrint, "GS ( A", {GS, '(', 'A'}, "w", "execute test print: {testprint}", P::kLength),
    row(kUserSettings, "GS ( E", {GS, '(', 'E'}, "w", "user setup: {usersetup}", P::kLength),
    row(kAdjustment, "GS ( F", {GS, '(', 'F'}, "w", "set adjustment value: {adjust}", P::kLength),
    row(kGraphics, "GS ( L", {GS, '(', 'L'}, "w", "graphics function {p1} ({bytes} bytes)", P::kLength),
    row(kCustomize, "GS ( M", {GS, '(', 'M'}, "w", "customize setting values: function {p0}, value {p1}", P::kLength),
    row(kTwoDimensionalCode, "GS ( k", {GS, '(', 'k'}, "w", "{symbol}", P::kLength),
    row(kLargeGraphics, "GS 8 L", {GS, '8', 'L'}, "d", "graphics function {p1} ({bytes} bytes)", P::kLength),
    row(kDefineDownloadImage, "GS *", {GS, '*'}, "bb", "define downloaded bit image: {download}", P::kDownloadImage),
    row(kPrintDownloadImage, "GS /", {GS, '/'}, "b", "print downloaded bit image: {scale0}"),
    row(kReverse, "GS B", {GS, 'B'}, "b", "white/black reverse printing {on0}"),
    row(kHriPosition, "GS H", {GS, 'H'}, "b", "HRI characters: {hri0}"),
    row(kPrinterId, "GS I", {GS, 'I'}, "b", "transmit printer ID: {id0}"),
    row(kLeftMargin, "GS L", {GS, 'L'}, "w", "set left margin to {0} dots"),
    row(kMotionUnits, "GS P", {GS, 'P'}, "bb", "set motion units: {0} horizontal, {1} vertical"),
    row(kLineStart, "GS T", {GS, 'T'}, "b", "set print position to the beginning of the line, {erase0}"),
    row(kCut, "GS V", {GS, 'V'}, "b", "{cut}", P::kCut),
    row(kAreaWidth, "GS W", {GS, 'W'}, "w", "set print area width to {0} dots"),
    row(kPageRelativeVertical, "GS \\", {GS, '\\'}, "w",
        "set relative vertical position in page mode by {signed0} dots"),
    row(kAutoStatusBack, "GS a", {GS, 'a'}, "b", "automatic status back: {asb0}"),
    row(kSmoothing, "GS b", {GS, 'b'}, "b", "smoothing {on0}"),
    row(kHriFont, "GS f", {GS, 'f'}, "b", "HRI characters in font {font0}"),
    row(kBarcodeHeight, "GS h", {GS, 'h'}, "b", "set barcode height to {0} dots"),
    row(kBarcode, "GS k", {GS, 'k'}, "b", "print barcode {symbology0}: {text}", P::kBarcode, 255),
    row(kTransmitStatus, "GS r", {GS, 'r'}, "b", "transmit status: {sensor0}"),
    row(kRasterImage, "GS v 0", {GS, 'v', '0'}, "bww", "print raster image {raster}", P::kRasterImage),
    row(kBarcodeWidth, "GS w", {GS, 'w'}, "b", "set barcode module width to {0} dots"),

    row(kChinesePrintMode, "FS !", {FS, '!'}, "b", "select Chinese print mode: {cmode0}"),
    row(kChineseMode, "FS &", {FS, '&'}, "", "select Chinese character mode"),
    row(kChineseFont, "FS ( A", {FS, '(', 'A'}, "w", "{chinesefont}", P::kLength),
    row(kCharacterEncoding, "FS ( C", {FS, '(', 'C'}, "w", "{encoding}", P::kLength),
    row(kReceiptEnhancement, "FS ( E", {FS, '(', 'E'}, "w", "receipt enhancement: function {p0} ({bytes} bytes)",
        P::kLength),
    row(kLabelControl, "FS ( L", {FS, '(', 'L'}, "w", "label and black mark control: function {p0} ({bytes} bytes)",
        P::kLength),
    row(kOptionStatusBack, "FS ( e", {FS, '(', 'e'}, "w",
        "automatic status back of optional functions: function {p0} ({bytes} bytes)", P::kLength),
    row(kChineseUnderline, "FS -", {FS, '-'}, "b", "Chinese underline {ul0}"),
    row(kExitChineseMode, "FS .", {FS, '.'}, "", "cancel Chinese character mode"),
    row(kDefineChineseCharacter, "FS 2", {FS, '2'}, "bb", "define user-defined Chinese character {hex0}{hex1}",
        P::kFixed, 72),
    row(kCancelChineseCharacter, "FS ?", {FS, '?'}, "bb", "cancel user-defined Chinese character {hex0}{hex1}"),
    row(kChineseCodeSystem, "FS C", {FS, 'C'}, "b", "select Chinese code system {0}"),
    row(kChineseSpacing, "FS S", {FS, 'S'}, "bb", "set Chinese character spacing: {0} dots left, {1} dots right"),
    row(kChineseQuadruple, "FS W", {FS, 'W'}, "b", "Chinese quadruple size {on0}"),
    row(kPrintNvImage, "FS p", {FS, 'p'}, "bb", "print NV bit image {0}: {scale1}"),
    row(kDefineNvImages, "FS q", {FS, 'q'}, "b", "define NV bit images: {nv}", P::kNvImages),
};

constexpr std::size_t kRowCount = std::size(kRows);

constexpr int leadIndex(std::uint8_t b) {
    switch (b) {
        case ESC:
            return 0;
        case GS:
            return 1;
        case FS:
            return 2;
        case DLE:
            return 3;
        default:
            return -1;
    }
}

// Index + 1 of the first row for a single byte and for each lead byte and second byte; 0 for none.
struct Index {
    std::array<std::uint8_t, 256> single{};
    std::array<std::array<std::uint8_t, 256>, 4> pair{};
};

constexpr Index buildIndex() {
    static_assert(kRowCount < 255);
    Index index;
    for (std::size_t i = 0; i < kRowCount; ++i) {
        const CommandRow& r = kRows[i];
        const auto id = static_cast<std::uint8_t>(i + 1);
        if (r.prefixLength == 1) {
            index.single[r.prefix[0]] = id;
        } else {
            auto& slot = index.pair[static_cast<std::size_t>(leadIndex(r.prefix[0]))][r.prefix[1]];
            if (slot == 0) slot = id;
        }
    }
    return index;
}

constexpr Index kIndex = buildIndex();

}  // namespace

const CommandRow kTextRow{{}, 0, Kind::kText, "text", "", Payload::kNone, 0, "{text}"};
const CommandRow kUnknownRow{{}, 0, Kind::kUnknown, "unknown", "", Payload::kNone, 0, "unknown bytes, skipped"};

const CommandRow* rowsForSingle(std::uint8_t lead) {
    const std::uint8_t id = kIndex.single[lead];
    return id ? &kRows[id - 1] : nullptr;
}

const CommandRow* rowsForPair(std::uint8_t lead, std::uint8_t second) {
    const int li = leadIndex(lead);
    if (li < 0) return nullptr;
    const std::uint8_t id = kIndex.pair[static_cast<std::size_t>(li)][second];
    return id ? &kRows[id - 1] : nullptr;
}

const CommandRow* rowsEnd() { return kRows + kRowCount; }

bool isLeadByte(std::uint8_t b) { return leadIndex(b) >= 0; }

std::string_view leadName(std::uint8_t b) {
    switch (b) {
        case ESC:
            return "ESC";
        case GS:
            return "GS";
        case FS:
            return "FS";
        case DLE:
            return "DLE";
        default:
            return "unknown";
    }
}

}  // namespace escpos
