// Page mode, paper handling, printer settings and the cash drawer.
#include <array>

#include "command_row.h"
#include "port_control.h"
#include "slipdrv.h"

namespace slipdrv {
namespace {

constexpr Accepted kDirection = values({{0, 3}, {48, 51}});
constexpr Accepted kZeroOneOrAscii = values({{0, 1}, {48, 49}});
constexpr Accepted kFunctionSelector = values({{1, 3}, {49, 51}});

constexpr CommandRow kSelectPageMode = row("BPSelectPageMode", 28, {}, {0x1B, 0x4C}, 2000);
constexpr CommandRow kSelectStandardMode = row("BPSelectStardardMode", 31, {}, {0x1B, 0x53}, 3000);
constexpr CommandRow kPrintPageMode = row("BPPrintPageMode", 13, {}, {0x1B, 0x0C}, 3000);
constexpr CommandRow kPrintExitStandardMode = row("BPPrintExitStandardMode", 8, {}, {0x0C}, 3000);
constexpr CommandRow kCancelPrintPageMode = row("BPCancelPrintPageMode", 11, {}, {0x18}, 1000);
constexpr CommandRow kPageDirection = row("BPPagePrintDirection", 32, {kDirection}, {0x1B, 0x54, kArg1}, 3000);
constexpr CommandRow kPageAbsoluteVertical =
    row("BPPageAbsoluVerticalPosition", 44, {kAnyByte, kAnyByte}, {0x1D, 0x24, kArg1, kArg2}, 3000);
constexpr CommandRow kPageRelativeVertical =
    row("BPPageRelativeVertialPosition", 57, {kAnyByte, kAnyByte}, {0x1D, 0x5C, kArg1, kArg2}, 3000);

constexpr CommandRow kPaperSensor = row("BPSelectPaperSensor", 37, {kAnyByte}, {0x1B, 0x63, 0x33, kArg1}, 3000);
constexpr CommandRow kSensorStop = row("BPSelectSensorStopPrint", 38, {kAnyByte}, {0x1B, 0x63, 0x34, kArg1}, 3000);
constexpr CommandRow kPanelButtons = row("BPSetPanelButtonsEnable", 39, {kAnyByte}, {0x1B, 0x63, 0x35, kArg1}, 3000);
constexpr CommandRow kFeedMarkStart = row("BPFeedMarkStartPosition", 42, {}, {0x1D, 0x0C}, 3000);

constexpr CommandRow kTestPrint = row("BPExecuteTestPrint", 45, {values({{0, 2}, {48, 50}}), kFunctionSelector},
                                      {0x1D, 0x28, 0x41, 0x02, 0x00, kArg1, kArg2}, 3000);
constexpr CommandRow kCustomizeControl = row("BPCustomizeControlValue", 50, {kFunctionSelector, kZeroOneOrAscii},
                                             {0x1D, 0x28, 0x4D, 0x02, 0x00, kArg1, kArg2}, 3000);
constexpr CommandRow kOpenCashBox = row("BPOpenCashBox", 78, {}, {0x1B, 0x70, 0x00, 0xFF, 0xFF}, 1000);

constexpr int kTimeoutMs = 3000;
constexpr int kDotsPerMillimetre = 8;

}  // namespace
}  // namespace slipdrv

using namespace slipdrv;

extern "C" {

int SLIPDRV_CALL BPSelectPageMode(void) { return SendCommand(kSelectPageMode); }
int SLIPDRV_CALL BPSelectStardardMode(void) { return SendCommand(kSelectStandardMode); }
int SLIPDRV_CALL BPPrintPageMode(void) { return SendCommand(kPrintPageMode); }
int SLIPDRV_CALL BPPrintExitStandardMode(void) { return SendCommand(kPrintExitStandardMode); }
int SLIPDRV_CALL BPCancelPrintPageMode(void) { return SendCommand(kCancelPrintPageMode); }
int SLIPDRV_CALL BPPagePrintDirection(int n) { return SendCommand(kPageDirection, n); }
int SLIPDRV_CDECL BPPageAbsoluVerticalPosition(int nL, int nH) { return SendCommand(kPageAbsoluteVertical, nL, nH); }
int SLIPDRV_CALL BPPageRelativeVertialPosition(int nL, int nH) { return SendCommand(kPageRelativeVertical, nL, nH); }
int SLIPDRV_CALL BPSelectPaperSensor(int n) { return SendCommand(kPaperSensor, n); }
int SLIPDRV_CALL BPSelectSensorStopPrint(int n) { return SendCommand(kSensorStop, n); }
int SLIPDRV_CALL BPSetPanelButtonsEnable(int n) { return SendCommand(kPanelButtons, n); }
int SLIPDRV_CALL BPFeedMarkStartPosition(void) { return SendCommand(kFeedMarkStart); }
int SLIPDRV_CALL BPExecuteTestPrint(int n, int m) { return SendCommand(kTestPrint, n, m); }
int SLIPDRV_CALL BPCustomizeControlValue(int n, int m) { return SendCommand(kCustomizeControl, n, m); }
int SLIPDRV_CALL BPOpenCashBox(void) { return SendCommand(kOpenCashBox); }

int SLIPDRV_CALL BPSetPrintAreaPageMode(int x, int y, int width, int height) {
    if (x < 0 || x > 80 || y < 0 || y > 180 || width < 1 || width > 80 || height < 1 || height > 185) return -1;
    std::array<std::uint8_t, 10> command{0x1B, 0x57};
    std::size_t i = 2;
    // Millimetres to dots, each 16-bit value low byte first.
    for (const int millimetres : {x, y, width, height}) {
        const int dots = millimetres * kDotsPerMillimetre;
        command[i++] = low8(dots);
        command[i++] = low8(dots >> 8);
    }
    return ChannelWrite(command.data(), static_cast<int>(command.size()), kTimeoutMs);
}

int SLIPDRV_CALL BPSelectCutPaper(int m, int n) {
    if (m == 66) {
        if (n < 0 || n > 255) return -1;
        const std::uint8_t command[] = {0x1D, 0x56, 0x42, low8(n)};
        return ChannelWrite(command, sizeof command, kTimeoutMs);
    }
    if (!kZeroOneOrAscii.contains(m)) return -1;
    const std::uint8_t command[] = {0x1D, 0x56, low8(m)};
    return ChannelWrite(command, sizeof command, kTimeoutMs);
}

int SLIPDRV_CALL BPSetAdjustmentValue(int a, int m, int nL, int nH) {
    if (a < 1 || a > 2 || !kZeroOneOrAscii.contains(m) || nL < 0 || nL > 255 || nH < 0 || nH > 6) return -1;
    if (nL + 256 * nH > 1600) return -1;
    const std::uint8_t command[] = {0x1D, 0x28, 0x46, 0x04, 0x00, low8(a), low8(m), low8(nL), low8(nH)};
    return ChannelWrite(command, sizeof command, kTimeoutMs);
}

int SLIPDRV_CALL BPSetMemorySwitch(int a, const int* values) {
    if (a < 1 || a > 8 || !values) return -1;
    std::array<std::uint8_t, 15> command{0x1D, 0x28, 0x45, 0x0A, 0x00, 0x03, low8(a)};
    for (std::size_t i = 0; i < 8; ++i) command[7 + i] = low8(values[i]);
    return ChannelWrite(command.data(), static_cast<int>(command.size()), kTimeoutMs);
}

int SLIPDRV_CALL BPUserDefineCommand(int n) {
    static constexpr std::uint8_t kEnter[] = {0x1D, 0x28, 0x45, 0x03, 0x00, 0x01, 'I', 'N'};
    static constexpr std::uint8_t kEnd[] = {0x1D, 0x28, 0x45, 0x04, 0x00, 0x02, 'O', 'U', 'T'};
    if (n == 1) return ChannelWrite(kEnter, sizeof kEnter, kTimeoutMs);
    if (n == 2) return ChannelWrite(kEnd, sizeof kEnd, kTimeoutMs);
    return -1;
}

}  // extern "C"
