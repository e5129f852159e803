#include "dot_image.h"

#include <algorithm>

namespace slipdrv {
namespace {

// Packs the dots into bands of `bandRows` rows over `columns` columns (at
// least the image's width): byte (band, x, k) covers rows band x bandRows + 8k
// to + 8k + 7 of column x. Everything outside the image stays clear.
std::vector<std::uint8_t> pack(const DotImage& image, int columns, int bandRows) {
    const int bytesPerColumn = bandRows / 8;
    const int bands = (image.height + bandRows - 1) / bandRows;
    const std::size_t bandBytes = static_cast<std::size_t>(columns) * bytesPerColumn;
    std::vector<std::uint8_t> out(bandBytes * bands, 0);
    for (int y = 0; y < image.height; ++y) {
        const int band = y / bandRows;
        const int rowInBand = y % bandRows;
        std::uint8_t* byte = out.data() + bandBytes * band + rowInBand / 8;
        const auto bit = static_cast<std::uint8_t>(0x80 >> (rowInBand % 8));
        const std::uint8_t* dot = image.dots.data() + static_cast<std::size_t>(y) * image.width;
        for (int x = 0; x < image.width; ++x, byte += bytesPerColumn)
            if (dot[x]) *byte |= bit;
    }
    return out;
}

}  // namespace

std::optional<DotImage> loadDotImage(BitmapLoader& loader, const char* path) {
    if (!loader.open(path)) return std::nullopt;
    const int width = loader.width();
    const int height = loader.height();
    if (width <= 0 || height <= 0) return std::nullopt;
    const int effectiveWidth = std::min(width, kMaxPrintWidth);
    if (!withinSizeLimit(effectiveWidth, height)) return std::nullopt;
    if (std::int64_t{width} * height > kMaxDecodedPixels) return std::nullopt;
    if (!loader.readPixels()) return std::nullopt;

    DotImage image;
    image.width = effectiveWidth;
    image.height = height;
    image.dots.resize(static_cast<std::size_t>(effectiveWidth) * height);
    std::uint8_t* dot = image.dots.data();
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < effectiveWidth; ++x) *dot++ = isDark(loader.pixel(x, y)) ? 1 : 0;
    return image;
}

ColumnData packColumns(const DotImage& image) {
    ColumnData columns;
    columns.bytesAcross = (image.width + 7) / 8;
    columns.bytesDown = (image.height + 7) / 8;
    // One band as tall as the image rounded up to whole bytes, over 8 x X columns.
    columns.data = pack(image, 8 * columns.bytesAcross, 8 * columns.bytesDown);
    return columns;
}

std::vector<std::uint8_t> packBands(const DotImage& image, int bandRows) { return pack(image, image.width, bandRows); }

}  // namespace slipdrv
