#include "bitmap.h"

#include <algorithm>
#include <bit>

namespace escpos {

Bitmap::Bitmap(int width, int height) : width_(width), stride_((static_cast<std::size_t>(width) + 7) / 8) {
    extendTo(height);
}

Bitmap Bitmap::fromColumns(int columns, std::size_t columnBytes, std::span<const std::uint8_t> data) {
    Bitmap bitmap(columns, static_cast<int>(columnBytes * 8));
    const std::size_t size = std::min(data.size(), static_cast<std::size_t>(columns) * columnBytes);
    for (std::size_t i = 0; i < size; ++i) {
        const std::uint8_t byte = data[i];
        if (byte == 0) continue;
        const auto x = static_cast<int>(i / columnBytes);
        const auto top = static_cast<int>(i % columnBytes * 8);
        for (int k = 0; k < 8; ++k)
            if ((byte >> (7 - k)) & 1) bitmap.set(x, top + k);
    }
    return bitmap;
}

Bitmap Bitmap::fromRows(std::size_t rowBytes, int rows, std::span<const std::uint8_t> data) {
    Bitmap bitmap(static_cast<int>(rowBytes * 8), rows);
    std::copy_n(data.begin(), std::min(data.size(), bitmap.bits_.size()), bitmap.bits_.begin());
    return bitmap;
}

void Bitmap::extendTo(int height) {
    if (height <= height_) return;
    height_ = height;
    bits_.resize(static_cast<std::size_t>(height) * stride_);
}

void Bitmap::fill(int x0, int y0, int x1, int y1) {
    x0 = std::max(x0, 0), y0 = std::max(y0, 0), x1 = std::min(x1, width_);
    if (x0 >= x1 || y0 >= y1) return;
    extendTo(y1);
    for (int y = y0; y < y1; ++y) {
        std::uint8_t* bits = bits_.data() + static_cast<std::size_t>(y) * stride_;
        for (int x = x0; x < x1;) {
            if (x % 8 == 0 && x + 8 <= x1) {
                bits[x / 8] = 0xFF;
                x += 8;
            } else {
                bits[x / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
                ++x;
            }
        }
    }
}

void Bitmap::draw(const Bitmap& image, int x, int y, int scaleX, int scaleY, int columns, int rows) {
    columns = std::min(columns, image.width_);
    rows = std::min(rows, image.height_);
    if (columns <= 0 || rows <= 0 || scaleX < 1 || scaleY < 1) return;
    // Each image row is first spread into one row of this picture's dots,
    // then laid on the scaleY rows it covers.
    std::vector<std::uint8_t> line(stride_);
    const auto sourceBytes = static_cast<std::size_t>(columns + 7) / 8;
    const auto lastMask = static_cast<std::uint8_t>(0xFF << (8 * sourceBytes - static_cast<std::size_t>(columns)));
    for (int iy = 0; iy < rows; ++iy) {
        const std::uint8_t* from = image.row(iy);
        std::size_t low = stride_, high = 0;
        for (std::size_t i = 0; i < sourceBytes; ++i) {
            unsigned byte = i + 1 == sourceBytes ? from[i] & lastMask : from[i];
            while (byte != 0) {
                const int k = std::countl_zero(static_cast<std::uint8_t>(byte));
                byte &= ~(0x80u >> k);
                const int left = x + (static_cast<int>(i) * 8 + k) * scaleX;
                for (int px = std::max(left, 0); px < std::min(left + scaleX, width_); ++px) {
                    const auto at = static_cast<std::size_t>(px / 8);
                    line[at] |= static_cast<std::uint8_t>(0x80 >> (px % 8));
                    low = std::min(low, at);
                    high = std::max(high, at);
                }
            }
        }
        if (low > high) continue;
        for (int dy = 0; dy < scaleY; ++dy) {
            const int py = y + iy * scaleY + dy;
            if (py < 0) continue;
            extendTo(py + 1);
            std::uint8_t* to = bits_.data() + static_cast<std::size_t>(py) * stride_;
            for (std::size_t i = low; i <= high; ++i) to[i] |= line[i];
        }
        std::fill(line.begin() + static_cast<std::ptrdiff_t>(low), line.begin() + static_cast<std::ptrdiff_t>(high) + 1,
                  std::uint8_t{0});
    }
}

void Bitmap::erase(int x0, int y0, int x1, int y1) {
    x0 = std::max(x0, 0), y0 = std::max(y0, 0), x1 = std::min(x1, width_), y1 = std::min(y1, height_);
    for (int y = y0; y < y1; ++y) {
        std::uint8_t* bits = bits_.data() + static_cast<std::size_t>(y) * stride_;
        for (int x = x0; x < x1;) {
            if (x % 8 == 0 && x + 8 <= x1) {
                bits[x / 8] = 0;
                x += 8;
            } else {
                bits[x / 8] &= static_cast<std::uint8_t>(~(0x80 >> (x % 8)));
                ++x;
            }
        }
    }
}

void Bitmap::addRow(int y, const std::uint8_t* bits) {
    if (y < 0) return;
    extendTo(y + 1);
    std::uint8_t* to = bits_.data() + static_cast<std::size_t>(y) * stride_;
    for (std::size_t i = 0; i < stride_; ++i) to[i] |= bits[i];
}

Bitmap Bitmap::cropped(int width, int height) const {
    Bitmap to(width, height);
    for (int y = 0; y < std::min(height, height_); ++y)
        for (int x = 0; x < std::min(width, width_); ++x)
            if (dot(x, y)) to.set(x, y);
    return to;
}

Bitmap Bitmap::fitted(int width, int height) const {
    Bitmap to(width, height);
    if (width_ == 0 || height_ == 0) return to;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            if (dot(x * width_ / width, y * height_ / height)) to.set(x, y);
    return to;
}

}  // namespace escpos
