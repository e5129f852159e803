// The conversion shared by the bit-image exports: a bitmap turned into dots
// that print or stay blank, and the two byte layouts the printer takes them in.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "bitmap_loader.h"

namespace slipdrv {

// Columns from 640 on are ignored.
constexpr int kMaxPrintWidth = 640;
// (W' x H) / 64 may not exceed this.
constexpr int kMaxSizeUnits = 1536;

// A pixel prints when its luminance, in integer weights, is 92 or less.
constexpr bool isDark(Rgb c) { return (9798 * c.red + 19235 * c.green + 3735 * c.blue) / 32768 <= 92; }

constexpr bool withinSizeLimit(std::int64_t effectiveWidth, std::int64_t height) {
    return effectiveWidth * height / 64 <= kMaxSizeUnits;
}

// W' x H dots, row by row from the top; 1 for a dot that prints.
struct DotImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> dots;

    bool dark(int x, int y) const { return dots[static_cast<std::size_t>(y) * width + x] != 0; }
};

// Loads the file through `loader` and applies the darkness rule to the left
// 640 columns. Nothing: the file cannot be loaded, or the image is beyond the
// size limit (refused before its pixels are read).
std::optional<DotImage> loadDotImage(BitmapLoader& loader, const char* path);

// The column layout: 8 x bytesAcross columns from left to right, each
// bytesDown bytes from top to bottom, bit 7 the top row of each byte.
struct ColumnData {
    int bytesAcross = 0;  // X = ceil(W' / 8)
    int bytesDown = 0;    // Yb = ceil(H / 8)
    std::vector<std::uint8_t> data;
};
ColumnData packColumns(const DotImage& image);

// The band layout: bands of `bandRows` rows (8 or 24) from the top, one after
// the other; in a band each column gives bandRows / 8 bytes, bit 7 the top
// row of each byte. Every band is W' x bandRows / 8 bytes.
std::vector<std::uint8_t> packBands(const DotImage& image, int bandRows);

// ESC * modes 0 and 1 print 8-dot bands, every other mode 24-dot bands.
constexpr int bandRowsForMode(int mode) { return mode == 0 || mode == 1 ? 8 : 24; }

}  // namespace slipdrv
