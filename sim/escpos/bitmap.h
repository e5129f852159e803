// The one black-and-white picture of the emulator: glyph cells, barcodes,
// images and the paper itself, which grows downwards as it is printed on.
// Rows are packed 8 dots a byte, the leftmost dot in bit 7, 1 for black.
// No platform code.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace escpos {

class Bitmap {
public:
    Bitmap() = default;
    explicit Bitmap(int width, int height = 0);

    // Images as the commands send them: `columns` columns of `columnBytes`
    // bytes each, top to bottom with the top dot in bit 7 (ESC *, GS *, FS q,
    // ESC &, FS 2); or rows of `rowBytes` bytes (GS v 0). Data that ends
    // early leaves the rest white.
    static Bitmap fromColumns(int columns, std::size_t columnBytes, std::span<const std::uint8_t> data);
    static Bitmap fromRows(std::size_t rowBytes, int rows, std::span<const std::uint8_t> data);

    int width() const { return width_; }
    int height() const { return height_; }
    bool empty() const { return height_ == 0; }
    std::size_t stride() const { return stride_; }

    // False outside the picture.
    bool dot(int x, int y) const {
        if (x < 0 || y < 0 || x >= width_ || y >= height_) return false;
        return (row(y)[x / 8] >> (7 - x % 8)) & 1;
    }
    // Blackens one dot, lengthening the picture to reach row y; dots left or
    // right of the width, or above the top, are dropped.
    void set(int x, int y) {
        if (x < 0 || y < 0 || x >= width_) return;
        extendTo(y + 1);
        bits_[static_cast<std::size_t>(y) * stride_ + static_cast<std::size_t>(x / 8)] |=
            static_cast<std::uint8_t>(0x80 >> (x % 8));
    }
    // Blackens the dots of columns [x0, x1) on rows [y0, y1), lengthening
    // the picture as set() does.
    void fill(int x0, int y0, int x1, int y1);
    // Blackens the black dots of the top-left `columns` x `rows` of `image`,
    // each drawn as scaleX x scaleY dots, with the image's top-left corner at
    // (x, y); lengthening the picture only as far as a black dot reaches.
    void draw(const Bitmap& image, int x, int y, int scaleX, int scaleY, int columns, int rows);
    // Whitens the dots of columns [x0, x1) on rows [y0, y1), within the picture.
    void erase(int x0, int y0, int x1, int y1);
    void extendTo(int height);
    // Blackens the black dots of a packed row of the same width on row y.
    void addRow(int y, const std::uint8_t* bits);
    // One row packed 8 dots a byte, the leftmost dot in bit 7, 1 for black.
    const std::uint8_t* row(int y) const { return bits_.data() + static_cast<std::size_t>(y) * stride_; }

    // The top-left `width` x `height` dots, white where this one is smaller.
    Bitmap cropped(int width, int height) const;
    // This picture fitted to `width` x `height`, nearest dot by dot; white
    // when this one is empty.
    Bitmap fitted(int width, int height) const;

private:
    int width_ = 0;
    std::size_t stride_ = 0;
    int height_ = 0;
    std::vector<std::uint8_t> bits_;
};

// One piece of paper: `width` dots wide, as long as it has been printed.
using Paper = Bitmap;

}  // namespace escpos
