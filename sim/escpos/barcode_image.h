// Barcodes and QR codes as printed dots: the symbol is encoded by libzint and
// drawn module by module at the printer's module width and bar height.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

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

// The settings and stored data of the other 2D symbols of GS ( k, as the
// printer starts with them. Values are kept as the commands give them and
// checked when the symbol is drawn.
struct Pdf417Settings {
    int columns = 0;         // data columns, 0 automatic, 1-30
    int rows = 0;            // 0 automatic, 3-90
    int moduleWidth = 3;     // dots, 2-8
    int rowHeight = 3;       // in module widths, 2-8
    int level = -1;          // error correction level 0-8; -1 chosen by the data size
    int ratio = 0;           // or, when not 0, the error codewords as 10 x ratio percent of the data (1-40)
    bool truncated = false;  // right row indicator and stop pattern left out
    std::vector<std::uint8_t> data;
};
struct MaxiCodeSettings {
    int mode = 2;  // 2-6; modes 2 and 3 take the first 15 bytes as the postal code, country and service
    std::vector<std::uint8_t> data;
};
struct DataMatrixSettings {
    bool rectangle = false;
    int rows = 0;  // 0 automatic
    int columns = 0;
    int moduleSize = 3;  // dots, 2-16
    std::vector<std::uint8_t> data;
};
struct AztecSettings {
    bool compact = false;
    int layers = 0;       // 0 automatic, 1-4 compact, 1-32 full range
    int moduleSize = 3;   // dots, 2-16
    int correction = 23;  // percent of the symbol, 5-95
    std::vector<std::uint8_t> data;
};

// The symbols, without their quiet zone (the first module at (0, 0)): PDF417
// rows rowHeight module widths high; MaxiCode at its fixed size of about
// 28 x 27 mm at 8 dots per mm; DataMatrix and Aztec of square modules.
// Nullopt for settings out of range, no data, or data the symbol cannot hold.
std::optional<BarcodeImage> drawPdf417(const Pdf417Settings& settings);
std::optional<BarcodeImage> drawMaxiCode(const MaxiCodeSettings& settings);
std::optional<BarcodeImage> drawDataMatrix(const DataMatrixSettings& settings);
std::optional<BarcodeImage> drawAztec(const AztecSettings& settings);

}  // namespace escpos
