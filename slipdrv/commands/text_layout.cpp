// Text, layout and character commands: feeds and tabs, print modes, spacing,
// alignment and margins, character sets and sizes, user-defined characters and
// the Chinese character mode.
#include <algorithm>
#include <array>
#include <vector>

#include "command_row.h"
#include "port_control.h"
#include "slipdrv.h"

namespace slipdrv {
namespace {

constexpr Accepted kUnderline = values({{0, 2}, {48, 50}});
constexpr Accepted kPrintable = values({{32, 126}});

constexpr CommandRow kPrintAndFeed = row({}, {LF}, 1000);
constexpr CommandRow kPrintNotFeed = row({}, {CR}, 1000);
constexpr CommandRow kMoveHorizontalTab = row({}, {HT}, 1000);
constexpr CommandRow kInitializePrinter = row({}, {ESC, '@'}, 3000);
constexpr CommandRow kSetAsciiRightSpace = row({kAnyByte}, {ESC, 0x20, kArg1}, 3000);
constexpr CommandRow kSetPrintMode = row({kAnyByte}, {ESC, '!', kArg1}, 3000);
constexpr CommandRow kSetUnderLine = row({kUnderline}, {ESC, '-', kArg1}, 3000);
constexpr CommandRow kEmphasized = row({kAnyByte}, {ESC, 'E', kArg1}, 3000);
constexpr CommandRow kSuperpose = row({kAnyByte}, {ESC, 'G', kArg1}, 3000);
constexpr CommandRow kUpsideDown = row({kAnyByte}, {ESC, '{', kArg1}, 3000);
constexpr CommandRow kRotation90 = row({kZeroOneOrAscii}, {ESC, 'V', kArg1}, 3000);
constexpr CommandRow kSmoothing = row({kAnyByte}, {GS, 'b', kArg1}, 3000);

constexpr CommandRow kDefaultLineSpace = row({}, {ESC, '2'}, 3000);
constexpr CommandRow kSetLineSpace = row({kAnyByte}, {ESC, '3', kArg1}, 3000);
constexpr CommandRow kFeedPaper = row({kAnyByte}, {ESC, 'J', kArg1}, 3000);
constexpr CommandRow kFeedLines = row({kAnyByte}, {ESC, 'd', kArg1}, 3000);
constexpr CommandRow kAbsolutePosition = row({kAnyByte, kAnyByte}, {ESC, '$', kArg1, kArg2}, 3000);
constexpr CommandRow kRelativePosition = row({kAnyByte, kAnyByte}, {ESC, '\\', kArg1, kArg2}, 3000);
constexpr CommandRow kJustification = row({kUnderline}, {ESC, 'a', kArg1}, 3000);
constexpr CommandRow kLeftMargin = row({kAnyByte, kAnyByte}, {GS, 'L', kArg1, kArg2}, 3000);
constexpr CommandRow kAreaWidth = row({kAnyByte, kAnyByte}, {GS, 'W', kArg1, kArg2}, 3000);
constexpr CommandRow kBeginningPosition = row({kZeroOneOrAscii}, {GS, 'T', kArg1}, 3000);

constexpr CommandRow kCharacterAB = row({kZeroOneOrAscii}, {ESC, 'M', kArg1}, 3000);
constexpr CommandRow kInternationalSet = row({values({{0, 13}})}, {ESC, 'R', kArg1}, 3000);
constexpr CommandRow kCodeTable = row({values({{0, 5}, {16, 19}, {255, 255}})}, {ESC, 't', kArg1}, 3000);
constexpr CommandRow kUserDefineSet = row({kAnyByte}, {ESC, '%', kArg1}, 3000);
constexpr CommandRow kCancelUserCharacter = row({kPrintable}, {ESC, '?', kArg1}, 3000);

constexpr CommandRow kSelectChineseMode = row({}, {FS, '&'}, 3000);
constexpr CommandRow kExitChineseMode = row({}, {FS, '.'}, 3000);
constexpr CommandRow kChinesePrintMode = row({kAnyByte}, {FS, '!', kArg1}, 3000);
constexpr CommandRow kChineseUnderline = row({kUnderline}, {FS, '-', kArg1}, 3000);
constexpr CommandRow kChineseCodeSystem = row({kUnderline}, {FS, 'C', kArg1}, 3000);
constexpr CommandRow kChineseSpace = row({kAnyByte, kAnyByte}, {FS, 'S', kArg1, kArg2}, 3000);
constexpr CommandRow kChineseQuadruple = row({kAnyByte}, {FS, 'W', kArg1}, 3000);

// The tab command is built in a buffer of 100 bytes: ESC D, the list, NUL.
constexpr std::size_t kMaxTabPositions = 97;
constexpr int kMaxTabDigits = 3;

// The command byte of a character size: the width in the upper and the height
// index in the lower four bits. Widths of 8 to 111 are taken as already shifted.
std::uint8_t characterSizeByte(std::int32_t width, std::int32_t height) {
    const std::int32_t w = width < 0 ? 0 : width <= 7 ? 16 * width : width < 112 ? width : 0x70;
    return static_cast<std::uint8_t>(w + std::clamp(height, 0, 7));
}

// Sends a command that leaves the printer's Chinese mode as `mode` says, and
// records it for the bill rows; after a failed send the mode is not known.
int sendSettingChineseMode(const CommandRow& row, ChineseMode mode) {
    const auto lock = exclusiveUse();
    const int result = sendCommand(row);
    library().chineseMode = result == 0 ? mode : ChineseMode::kUnknown;
    return result;
}

}  // namespace

}  // namespace slipdrv

using namespace slipdrv;

extern "C" {

int SLIPDRV_CALL BPPrintAndFeed(void) { return sendCommand(kPrintAndFeed); }
int SLIPDRV_CALL BPPrintNotFeed(void) { return sendCommand(kPrintNotFeed); }
int SLIPDRV_CALL BPMoveHorizontalTAB(void) { return sendCommand(kMoveHorizontalTab); }
int SLIPDRV_CALL BPInitializePrinter(void) { return sendSettingChineseMode(kInitializePrinter, ChineseMode::kUnknown); }
int SLIPDRV_CALL BPSetASCIIRightSpace(int n) { return sendCommand(kSetAsciiRightSpace, n); }
int SLIPDRV_CALL BPSetPrintMode(int n) { return sendCommand(kSetPrintMode, n); }
int SLIPDRV_CALL BPSetUnderLine(int n) { return sendCommand(kSetUnderLine, n); }
int SLIPDRV_CALL BPEmphasizedPrintSet(int n) { return sendCommand(kEmphasized, n); }
int SLIPDRV_CALL BPSuperposePrintSet(int n) { return sendCommand(kSuperpose, n); }
int SLIPDRV_CALL BPUpsidedownPrintiModeSet(int n) { return sendCommand(kUpsideDown, n); }
int SLIPDRV_CALL BPClockwiseRotation90Set(int n) { return sendCommand(kRotation90, n); }
int SLIPDRV_CALL BPSmoothingModeSet(int n) { return sendCommand(kSmoothing, n); }
int SLIPDRV_CALL BPSelectDefaultLineSpace(void) { return sendCommand(kDefaultLineSpace); }
int SLIPDRV_CALL BPSetLineSpace(int n) { return sendCommand(kSetLineSpace, n); }
int SLIPDRV_CALL BPPrintFeedPaper(int n) { return sendCommand(kFeedPaper, n); }
int SLIPDRV_CALL BPPrintFeedSomeLines(int n) { return sendCommand(kFeedLines, n); }
int SLIPDRV_CDECL BPSetAbsoluPrintPosition(int nL, int nH) { return sendCommand(kAbsolutePosition, nL, nH); }
int SLIPDRV_CALL BPSetRelativePrintPosition(int nL, int nH) { return sendCommand(kRelativePosition, nL, nH); }
int SLIPDRV_CALL BPSelectJustification(int n) { return sendCommand(kJustification, n); }
int SLIPDRV_CALL BPSetLeftMargin(int nL, int nH) { return sendCommand(kLeftMargin, nL, nH); }
int SLIPDRV_CALL BPSetPrintingAreaWidth(int nL, int nH) { return sendCommand(kAreaWidth, nL, nH); }
int SLIPDRV_CALL BPSetBeginningPosition(int n) { return sendCommand(kBeginningPosition, n); }
int SLIPDRV_CALL BPSelectCharacterAB(int n) { return sendCommand(kCharacterAB, n); }
int SLIPDRV_CALL BPSelectInternationalCharacterSet(int n) { return sendCommand(kInternationalSet, n); }
int SLIPDRV_CALL BPSelectCharacterCodeTable(int n) { return sendCommand(kCodeTable, n); }
int SLIPDRV_CALL BPSelectUserDefineSet(int n) { return sendCommand(kUserDefineSet, n); }
int SLIPDRV_CALL BPCancelUserDefineCharacter(int n) { return sendCommand(kCancelUserCharacter, n); }
int SLIPDRV_CALL BPSelectChineseMode(void) { return sendSettingChineseMode(kSelectChineseMode, ChineseMode::kOn); }
int SLIPDRV_CALL BPExitChineseMode(void) { return sendSettingChineseMode(kExitChineseMode, ChineseMode::kOff); }
int SLIPDRV_CALL BPSetChinesePrintMode(int n) { return sendCommand(kChinesePrintMode, n); }
int SLIPDRV_CALL BPChineseUnderLineSet(int n) { return sendCommand(kChineseUnderline, n); }
int SLIPDRV_CALL BPSelectChineseCodeSys(int n) { return sendCommand(kChineseCodeSystem, n); }
int SLIPDRV_CALL BPSetChineseLRSpace(int left, int right) { return sendCommand(kChineseSpace, left, right); }
int SLIPDRV_CALL BPSetChineseQuadrupleSize(int n) { return sendCommand(kChineseQuadruple, n); }

int SLIPDRV_CALL BPSelectCharacterSize(int width, int height) {
    const std::uint8_t command[] = {GS, '!', characterSizeByte(width, height)};
    return ChannelWrite(command, sizeof command, kCommandTimeoutMs);
}

int SLIPDRV_CALL BPSetHorizonTABPosition(const char* positions) {
    if (!positions) return -1;
    std::array<std::uint8_t, 2 + kMaxTabPositions + 1> command{ESC, 'D'};
    std::size_t length = 2;
    std::uint32_t number = 0;
    int digits = 0;
    // Every non-digit byte, the terminating zero included, ends one number.
    for (const char* p = positions;; ++p) {
        const auto c = static_cast<unsigned char>(*p);
        if (c >= '0' && c <= '9') {
            if (++digits > kMaxTabDigits) return -1;
            number = number * 10 + (c - '0');
        } else {
            if (length - 2 == kMaxTabPositions) return -1;
            command[length++] = low8(static_cast<std::int32_t>(number));
            number = 0;
            digits = 0;
        }
        if (c == 0) break;
    }
    command[length++] = 0x00;
    return ChannelWrite(command.data(), static_cast<int>(length), kCommandTimeoutMs);
}

int SLIPDRV_CALL BPUserDefineCharacter(int c1, int c2, int x, const char* pattern) {
    if (!kPrintable.contains(c1) || !kPrintable.contains(c2) || c2 < c1 || x < 0 || x > 12) return -1;
    if (x > 0 && !pattern) return -1;
    std::vector<std::uint8_t> command = {ESC, '&', 0x03, low8(c1), low8(c2), low8(x)};
    command.insert(command.end(), pattern, pattern + 3 * static_cast<std::ptrdiff_t>(x));
    return ChannelWrite(command.data(), static_cast<int>(command.size()), kCommandTimeoutMs);
}

int SLIPDRV_CALL BPUserDefineChinese(int c1, int c2, const int* pattern) {
    if (!pattern) return -1;
    std::array<std::uint8_t, 4 + 72> command{FS, '2', low8(c1), low8(c2)};
    for (std::size_t i = 0; i < 72; ++i) command[4 + i] = low8(pattern[i]);
    return ChannelWrite(command.data(), static_cast<int>(command.size()), kCommandTimeoutMs);
}

}  // extern "C"
