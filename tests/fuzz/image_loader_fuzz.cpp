// The platform's bitmap loader and the conversion of the bit-image exports:
// the input is an image file. What loads must be within the size limits, and
// both packed layouts must hold exactly the dots the conversion made.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "bitmap_loader.h"
#include "dot_image.h"
#include "scratch_file.h"

namespace {

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "image_loader harness: %s\n", what);
    std::abort();
}

// The dot at (x, y) in a layout of bands `bandRows` high over `columns`
// columns, bit 7 the top row of each byte.
bool packedDot(const std::vector<std::uint8_t>& bytes, int columns, int bandRows, int x, int y) {
    const std::size_t index = (static_cast<std::size_t>(y / bandRows) * columns + x) * (bandRows / 8) +
                              static_cast<std::size_t>(y % bandRows / 8);
    return bytes.at(index) & (0x80 >> (y % 8));
}

void checkLayouts(const slipdrv::DotImage& image) {
    const int w = image.width, h = image.height;
    if (w <= 0 || w > slipdrv::kMaxPrintWidth || h <= 0 || !slipdrv::withinSizeLimit(w, h))
        fail("an image beyond the size limit was converted");
    if (image.dots.size() != static_cast<std::size_t>(w) * h) fail("the dots do not cover the image");

    const auto columns = slipdrv::packColumns(image);
    if (columns.bytesAcross != (w + 7) / 8 || columns.bytesDown != (h + 7) / 8 ||
        columns.data.size() != static_cast<std::size_t>(8 * columns.bytesAcross) * columns.bytesDown)
        fail("the column layout has the wrong size");
    int dark = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            dark += image.dark(x, y);
            if (packedDot(columns.data, 8 * columns.bytesAcross, 8 * columns.bytesDown, x, y) != image.dark(x, y))
                fail("the column layout misplaces a dot");
        }
    int set = 0;
    for (const std::uint8_t b : columns.data) set += __builtin_popcount(b);
    if (set != dark) fail("the column layout sets a dot outside the image");

    for (const int bandRows : {8, 24}) {
        const auto bands = slipdrv::packBands(image, bandRows);
        const std::size_t count = static_cast<std::size_t>(h + bandRows - 1) / bandRows;
        if (bands.size() != count * w * (bandRows / 8)) fail("the band layout has the wrong size");
        set = 0;
        for (const std::uint8_t b : bands) set += __builtin_popcount(b);
        if (set != dark) fail("the band layout sets a dot outside the image");
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                if (packedDot(bands, w, bandRows, x, y) != image.dark(x, y)) fail("the band layout misplaces a dot");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static kit::fuzz::ScratchFile file("image-fuzz");
    const char* path = file.write(data, size);

    const auto loader = slipdrv::makeBitmapLoader();
    const auto image = slipdrv::loadDotImage(*loader, path);
    if (image) checkLayouts(*image);
    return 0;
}
