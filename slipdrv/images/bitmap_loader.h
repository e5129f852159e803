// What the bit-image exports ask of the platform's image loader: the size of a
// bitmap file first, then its pixels row by row. The size comes first so that
// the caller can refuse an image before any memory is spent on its pixels;
// the rows go straight to the caller, so no copy of the whole image is made
// on the way.
#pragma once

#include <cstdint>
#include <memory>
#include <span>

namespace slipdrv {

struct Rgb {
    std::uint8_t red;
    std::uint8_t green;
    std::uint8_t blue;
};
// Decoders that write packed 3-byte pixels write straight into Rgb arrays.
static_assert(sizeof(Rgb) == 3);

// Where a loader puts the rows it decodes.
class PixelRows {
public:
    virtual ~PixelRows() = default;
    // Row y (0 at the top): the colours of its left columns, as many as the
    // loader was asked for. Each row comes once, in whatever order the file
    // stores them; the span is valid only during the call.
    virtual void take(int y, std::span<const Rgb> pixels) = 0;
};

class BitmapLoader {
public:
    virtual ~BitmapLoader() = default;

    // Reads the file's header. False when the file is missing, is not a
    // regular file, or is not an image this loader reads; then width() and
    // height() mean nothing. It never waits on a FIFO or a device.
    virtual bool open(const char* path) = 0;
    virtual int width() const = 0;
    virtual int height() const = 0;
    // Decodes the opened file and hands every row's left `columns` pixels
    // (1 to width()) to `rows`. False when the pixels cannot be read (a
    // corrupt or cut-off file) or would need more memory than a loader spends
    // on one image; rows already handed over are then to be ignored.
    virtual bool readRows(int columns, PixelRows& rows) = 0;
};

// The platform's loader.
std::unique_ptr<BitmapLoader> makeBitmapLoader();

// The most pixels a loader decodes for one image. Only the left 640 columns of
// an image print and at most 98,367 dots pass the size limit, so this leaves
// room for images far wider than a receipt while bounding what a file that
// announces a huge size can make the loader allocate.
constexpr std::int64_t kMaxDecodedPixels = std::int64_t{1} << 22;

}  // namespace slipdrv
