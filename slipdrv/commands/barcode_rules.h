// What each barcode symbology takes, as BPPrintBarCode checks it: the data's
// lengths and characters for each code m. Shared with the tools that check a
// barcode before anything is sent.
#pragma once

#include <cstddef>

namespace slipdrv {

enum class BarcodeCharacters { kDigits, kCode39, kCodabar, kAnyByte };

struct BarcodeRule {
    std::size_t minLength;
    std::size_t maxLength;
    bool evenLength;
    BarcodeCharacters characters;
};

// Codes 0-8 (data closed by NUL) and 65-75 (count byte first); null for codes refused.
const BarcodeRule* barcodeRuleOf(int m);

// Whether the symbology's character set holds `c`.
bool barcodeAccepts(BarcodeCharacters set, unsigned char c);

// The most bytes of a QR code (model 2, numeric data).
constexpr std::size_t kMaxQrData = 7089;

}  // namespace slipdrv
