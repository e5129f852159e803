// Barcodes and QR codes as printed dots: the symbol is encoded by libzint and
// drawn module by module at the printer's module width and bar height.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "bitmap.h"

namespace escpos {

// A symbol's dots and the human-readable line under or above the bars
// (check digits included), for the caller to draw in the HRI font; empty for
// QR codes.
struct BarcodeImage {
    Bitmap bars;
    std::string hri;
};

// How barcodes look, as set by GS h, GS w, GS H and GS f.
struct BarcodeSettings {
    int height = 162;     // bar height in dots, 1-255
    int moduleWidth = 3;  // dots per narrowest module, 2-6
    int hriPosition = 0;  // 0 none, 1 above, 2 below, 3 both
    int hriFont = 0;      // 0 font A (12x24), 1 font B (9x17)
};

// The bars of GS k with symbology m (0-8 with NUL-closed data, 65-75 with a
// count byte: the data here is without the NUL or the count). The printer-specific
// codes 7/74 and 8/75 give an outlined placeholder box 11 modules per data byte
// wide, with the code number as HRI. No quiet zone is added: the first bar is at x 0.
// Nullopt for an unknown symbology, data the symbology refuses, or data too long.
std::optional<BarcodeImage> drawBarcode(int m, std::span<const std::uint8_t> data, const BarcodeSettings& settings);

// A QR code of GS ( k: moduleSize dots per module (1-16), error level 48-51
// (L, M, Q, H), model 49 or 50 (both drawn as model 2, the one readers expect).
// The quiet zone is not included: the first module is at (0, 0).
// Nullopt for out-of-range settings, empty data or data over the symbol's capacity.
std::optional<BarcodeImage> drawQrCode(std::span<const std::uint8_t> data, int moduleSize, int errorLevel, int model);

}  // namespace escpos
