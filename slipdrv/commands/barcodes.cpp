// Barcodes: the four settings of how barcodes look, GS k with the data
// checked against the rules of its symbology, and QR codes (GS ( k).
#include <array>
#include <cstring>
#include <initializer_list>
#include <string_view>

#include "barcode_rules.h"
#include "command_row.h"
#include "port_control.h"
#include "slipdrv.h"

namespace slipdrv {
namespace {

constexpr CommandRow kBarCodeHeight = row({values({{1, 255}})}, {GS, 'h', kArg1}, 3000);
constexpr CommandRow kBarCodeWidth = row({values({{2, 6}})}, {GS, 'w', kArg1}, 3000);
constexpr CommandRow kHriPosition = row({values({{0, 3}, {48, 51}})}, {GS, 'H', kArg1}, 3000);
constexpr CommandRow kHriCharacter = row({kZeroOneOrAscii}, {GS, 'f', kArg1}, 3000);

constexpr std::size_t kMaxData = 255;  // the most a length rule allows and a count byte can carry

// The five GS ( k commands around a QR code's data take 41 bytes.
constexpr std::size_t kQrCommandBytes = 41;
constexpr Accepted kQrModuleSize = values({{1, 16}});
constexpr Accepted kQrErrorLevel = values({{0, 3}, {48, 51}});  // L, M, Q, H

}  // namespace
}  // namespace slipdrv

using namespace slipdrv;

extern "C" {

int SLIPDRV_CALL BPSetBarCodeHeight(int n) { return sendCommand(kBarCodeHeight, n); }
int SLIPDRV_CALL BPSetBarCodeWidth(int n) { return sendCommand(kBarCodeWidth, n); }
int SLIPDRV_CALL BPSelectHRIPosition(int n) { return sendCommand(kHriPosition, n); }
int SLIPDRV_CALL BPSelectHRICharacter(int n) { return sendCommand(kHriCharacter, n); }

int SLIPDRV_CALL BPPrintBarCode(int m, int n, const char* data) {
    const BarcodeRule* symbology = barcodeRuleOf(m);
    if (!symbology || n < 1 || n > 255 || !data) return -1;
    // Never looks further than one byte past the longest data any rule allows.
    const std::size_t length = strnlen(data, kMaxData + 1);
    if (length == 0 || length < symbology->minLength || length > symbology->maxLength) return -1;
    if (symbology->evenLength && length % 2 != 0) return -1;

    std::array<std::uint8_t, 4 + kMaxData> command{GS, 'k', low8(m)};
    std::size_t size = 3;
    const bool formatB = m >= 65;
    if (formatB) command[size++] = low8(n);  // sent as given, not compared with the length
    for (std::size_t i = 0; i < length; ++i) {
        const auto c = static_cast<unsigned char>(data[i]);
        if (!barcodeAccepts(symbology->characters, c)) return -1;
        command[size++] = c;
    }
    if (!formatB) command[size++] = 0x00;
    return ChannelWrite(command.data(), static_cast<int>(size), kCommandTimeoutMs);
}

int SLIPDRV_CALL BPPrintQRCode(const char* data, int moduleSize, int errorLevel) {
    if (!data || !kQrModuleSize.contains(moduleSize) || !kQrErrorLevel.contains(errorLevel)) return -1;
    const std::size_t length = strnlen(data, kMaxQrData + 1);
    if (length == 0 || length > kMaxQrData) return -1;
    const std::uint8_t level = low8(errorLevel < 48 ? errorLevel + 48 : errorLevel);
    const auto stored = static_cast<std::int32_t>(length + 3);  // counted from the byte '1' on

    std::array<std::uint8_t, kQrCommandBytes + kMaxQrData> command{};
    std::size_t size = 0;
    const auto put = [&](std::initializer_list<std::uint8_t> bytes) {
        for (const std::uint8_t b : bytes) command[size++] = b;
    };
    put({GS, '(', 'k', 0x04, 0x00, '1', 'A', '2', 0x00});  // model 2
    put({GS, '(', 'k', 0x03, 0x00, '1', 'C', low8(moduleSize)});
    put({GS, '(', 'k', 0x03, 0x00, '1', 'E', level});
    put({GS, '(', 'k', low8(stored), low8(stored >> 8), '1', 'P', '0'});  // store the data
    for (std::size_t i = 0; i < length; ++i) command[size++] = static_cast<std::uint8_t>(data[i]);
    put({GS, '(', 'k', 0x03, 0x00, '1', 'Q', '0'});  // print the stored symbol
    return ChannelWrite(command.data(), static_cast<int>(size), kCommandTimeoutMs);
}

}  // extern "C"
