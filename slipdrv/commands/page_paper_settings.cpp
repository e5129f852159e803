// Page mode, paper handling, printer settings and the cash drawer.
#include <array>

#include "command_row.h"
#include "port_control.h"
#include "slipdrv.h"

namespace slipdrv {
namespace {

constexpr Accepted kDirection = values({{0, 3}, {48, 51}});
constexpr Accepted kFunctionSelector = values({{1, 3}, {49, 51}});

constexpr CommandRow kSelectPageMode = row({}, {ESC, 'L'}, 2000);
constexpr CommandRow kSelectStandardMode = row({}, {ESC, 'S'}, 3000);
constexpr CommandRow kPrintPageMode = row({}, {ESC, FF}, 3000);
constexpr CommandRow kPrintExitStandardMode = row({}, {FF}, 3000);
constexpr CommandRow kCancelPrintPageMode = row({}, {CAN}, 1000);
constexpr CommandRow kPageDirection = row({kDirection}, {ESC, 'T', kArg1}, 3000);
constexpr CommandRow kPageAbsoluteVertical = row({kAnyByte, kAnyByte}, {GS, '$', kArg1, kArg2}, 3000);
constexpr CommandRow kPageRelativeVertical = row({kAnyByte, kAnyByte}, {GS, '\\', kArg1, kArg2}, 3000);

constexpr CommandRow kPaperSensor = row({kAnyByte}, {ESC, 'c', '3', kArg1}, 3000);
constexpr CommandRow kSensorStop = row({kAnyByte}, {ESC, 'c', '4', kArg1}, 3000);
constexpr CommandRow kPanelButtons = row({kAnyByte}, {ESC, 'c', '5', kArg1}, 3000);
constexpr CommandRow kFeedMarkStart = row({}, {GS, FF}, 3000);

constexpr CommandRow kTestPrint =
    row({values({{0, 2}, {48, 50}}), kFunctionSelector}, {GS, '(', 'A', 0x02, 0x00, kArg1, kArg2}, 3000);
constexpr CommandRow kCustomizeControl =
    row({kFunctionSelector, kZeroOneOrAscii}, {GS, '(', 'M', 0x02, 0x00, kArg1, kArg2}, 3000);
constexpr CommandRow kOpenCashBox = row({}, {ESC, 'p', 0x00, 0xFF, 0xFF}, 1000);

constexpr int kDotsPerMillimetre = 8;

}  // namespace
}  // namespace slipdrv

using namespace slipdrv;

extern "C" {

int SLIPDRV_CALL BPSelectPageMode(void) { return sendCommand(kSelectPageMode); }
int SLIPDRV_CALL BPSelectStardardMode(void) { return sendCommand(kSelectStandardMode); }
int SLIPDRV_CALL BPPrintPageMode(void) { return sendCommand(kPrintPageMode); }
int SLIPDRV_CALL BPPrintExitStandardMode(void) { return sendCommand(kPrintExitStandardMode); }
int SLIPDRV_CALL BPCancelPrintPageMode(void) { return sendCommand(kCancelPrintPageMode); }
int SLIPDRV_CALL BPPagePrintDirection(int n) { return sendCommand(kPageDirection, n); }
int SLIPDRV_CDECL BPPageAbsoluVerticalPosition(int nL, int nH) { return sendCommand(kPageAbsoluteVertical, nL, nH); }
int SLIPDRV_CALL BPPageRelativeVertialPosition(int nL, int nH) { return sendCommand(kPageRelativeVertical, nL, nH); }
int SLIPDRV_CALL BPSelectPaperSensor(int n) { return sendCommand(kPaperSensor, n); }
int SLIPDRV_CALL BPSelectSensorStopPrint(int n) { return sendCommand(kSensorStop, n); }
int SLIPDRV_CALL BPSetPanelButtonsEnable(int n) { return sendCommand(kPanelButtons, n); }
int SLIPDRV_CALL BPFeedMarkStartPosition(void) { return sendCommand(kFeedMarkStart); }
int SLIPDRV_CALL BPExecuteTestPrint(int n, int m) { return sendCommand(kTestPrint, n, m); }
int SLIPDRV_CALL BPCustomizeControlValue(int n, int m) { return sendCommand(kCustomizeControl, n, m); }
int SLIPDRV_CALL BPOpenCashBox(void) { return sendCommand(kOpenCashBox); }

int SLIPDRV_CALL BPSetPrintAreaPageMode(int x, int y, int width, int height) {
    if (x < 0 || x > 80 || y < 0 || y > 180 || width < 1 || width > 80 || height < 1 || height > 185) return -1;
    std::array<std::uint8_t, 10> command{ESC, 'W'};
    std::size_t i = 2;
    // Millimetres to dots, each 16-bit value low byte first.
    for (const int millimetres : {x, y, width, height}) {
        const int dots = millimetres * kDotsPerMillimetre;
        command[i++] = low8(dots);
        command[i++] = low8(dots >> 8);
    }
    return ChannelWrite(command.data(), static_cast<int>(command.size()), kCommandTimeoutMs);
}

// The cut completes a receipt: a port that gathers jobs (a queue) hands it to the printer.
int SLIPDRV_CALL BPSelectCutPaper(int m, int n) {
    if (m == 66) {
        if (n < 0 || n > 255) return -1;
        const std::uint8_t command[] = {GS, 'V', 0x42, low8(n)};
        return ChannelWriteEndingJob(command, sizeof command, kCommandTimeoutMs);
    }
    if (!kZeroOneOrAscii.contains(m)) return -1;
    const std::uint8_t command[] = {GS, 'V', low8(m)};
    return ChannelWriteEndingJob(command, sizeof command, kCommandTimeoutMs);
}

int SLIPDRV_CALL BPSetAdjustmentValue(int a, int m, int nL, int nH) {
    if (a < 1 || a > 2 || !kZeroOneOrAscii.contains(m) || nL < 0 || nL > 255 || nH < 0 || nH > 6) return -1;
    if (nL + 256 * nH > 1600) return -1;
    const std::uint8_t command[] = {GS, '(', 'F', 0x04, 0x00, low8(a), low8(m), low8(nL), low8(nH)};
    return ChannelWrite(command, sizeof command, kCommandTimeoutMs);
}

int SLIPDRV_CALL BPSetMemorySwitch(int a, const int* values) {
    if (a < 1 || a > 8 || !values) return -1;
    std::array<std::uint8_t, 15> command{GS, '(', 'E', 0x0A, 0x00, 0x03, low8(a)};
    for (std::size_t i = 0; i < 8; ++i) command[7 + i] = low8(values[i]);
    return ChannelWrite(command.data(), static_cast<int>(command.size()), kCommandTimeoutMs);
}

int SLIPDRV_CALL BPUserDefineCommand(int n) {
    static constexpr std::uint8_t kEnter[] = {GS, '(', 'E', 0x03, 0x00, 0x01, 'I', 'N'};
    static constexpr std::uint8_t kEnd[] = {GS, '(', 'E', 0x04, 0x00, 0x02, 'O', 'U', 'T'};
    if (n == 1) return ChannelWrite(kEnter, sizeof kEnter, kCommandTimeoutMs);
    if (n == 2) return ChannelWrite(kEnd, sizeof kEnd, kCommandTimeoutMs);
    return -1;
}

}  // extern "C"
