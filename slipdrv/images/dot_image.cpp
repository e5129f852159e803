#include "dot_image.h"

#include <algorithm>

namespace slipdrv {
namespace {

// Packs the dots into bands of `bandRows` rows over `columns` columns (at
// least the image's width): byte (band, x, k) covers rows band x bandRows + 8k
// to + 8k + 7 of column x. Everything outside the image stays clear. Each
// byte is made whole from its eight rows and written once.
std::vector<std::uint8_t> pack(const DotImage& image, int columns, int bandRows) {
    const int bytesPerColumn = bandRows / 8;
    const int bands = (image.height + bandRows - 1) / bandRows;
    const std::size_t bandBytes = static_cast<std::size_t>(columns) * bytesPerColumn;
    std::vector<std::uint8_t> out(bandBytes * bands, 0);
    for (int top = 0; top < image.height; top += 8) {
        const int rows = std::min(8, image.height - top);
        std::uint8_t* byte = out.data() + bandBytes * (top / bandRows) + top % bandRows / 8;
        const std::uint8_t* dots = image.dots.data() + static_cast<std::size_t>(top) * image.width;
        for (int x = 0; x < image.width; ++x, byte += bytesPerColumn) {
            unsigned bits = 0;
            for (int r = 0; r < rows; ++r)
                bits |= unsigned{dots[static_cast<std::size_t>(r) * image.width + x]} << (7 - r);
            *byte = static_cast<std::uint8_t>(bits);
        }
    }
    return out;
}

// Applies the darkness rule to each row as the loader decodes it.
class DarkDots final : public PixelRows {
public:
    explicit DarkDots(DotImage& image) : image_(image) {}
    void take(int y, std::span<const Rgb> pixels) override {
        if (y < 0 || y >= image_.height || pixels.size() != static_cast<std::size_t>(image_.width)) return;
        std::uint8_t* dot = image_.dots.data() + static_cast<std::size_t>(y) * image_.width;
        for (const Rgb& pixel : pixels) *dot++ = isDark(pixel) ? 1 : 0;
    }

private:
    DotImage& image_;
};

}  // namespace

std::optional<DotImage> loadDotImage(BitmapLoader& loader, const char* path) {
    if (!loader.open(path)) return std::nullopt;
    const int width = loader.width();
    const int height = loader.height();
    if (width <= 0 || height <= 0) return std::nullopt;
    const int effectiveWidth = std::min(width, kMaxPrintWidth);
    if (!withinSizeLimit(effectiveWidth, height)) return std::nullopt;
    if (std::int64_t{width} * height > kMaxDecodedPixels) return std::nullopt;

    DotImage image;
    image.width = effectiveWidth;
    image.height = height;
    image.dots.resize(static_cast<std::size_t>(effectiveWidth) * height);
    DarkDots dots(image);
    if (!loader.readRows(effectiveWidth, dots)) return std::nullopt;
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
