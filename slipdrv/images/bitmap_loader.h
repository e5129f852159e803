// What the bit-image exports ask of the platform's image loader: the size of a
// bitmap file first, then its pixels, with white for reads outside the image.
// The size comes first so that the caller can refuse an image before any
// memory is spent on its pixels.
#pragma once

#include <cstdint>
#include <memory>

namespace slipdrv {

struct Rgb {
    std::uint8_t red;
    std::uint8_t green;
    std::uint8_t blue;
};

class BitmapLoader {
public:
    virtual ~BitmapLoader() = default;

    // Reads the file's header. False when the file is missing or is not an
    // image this loader reads; then width() and height() mean nothing.
    virtual bool open(const char* path) = 0;
    virtual int width() const = 0;
    virtual int height() const = 0;
    // Reads every pixel of the opened file. False when the pixels cannot be
    // read or would need more memory than a loader spends on one image.
    virtual bool readPixels() = 0;
    // The colour at column x, row y (row 0 at the top) after readPixels();
    // white outside the image.
    virtual Rgb pixel(int x, int y) const = 0;
};

// The platform's loader.
std::unique_ptr<BitmapLoader> makeBitmapLoader();

// The most pixels a loader decodes for one image. Only the left 640 columns of
// an image print and at most 98,367 dots pass the size limit, so this leaves
// room for images far wider than a receipt while bounding what a file that
// announces a huge size can make the loader allocate.
constexpr std::int64_t kMaxDecodedPixels = std::int64_t{1} << 22;

}  // namespace slipdrv
