#include "bitmap_header.h"

#include <climits>
#include <limits>

namespace slipdrv {
namespace {

// Offsets in the file: the file header, then the bitmap header.
constexpr std::size_t kPixelOffsetAt = 10;
constexpr std::size_t kHeaderSizeAt = 14;
constexpr std::size_t kWidthAt = 18;
constexpr std::size_t kMasksAt = 54;
constexpr std::size_t kCoreHeaderSize = 12;

std::uint32_t littleEndian(std::span<const std::uint8_t> bytes, std::size_t offset, int size) {
    std::uint32_t value = 0;
    for (int i = size - 1; i >= 0; --i) value = value << 8 | bytes[offset + i];
    return value;
}

bool knownHeaderSize(std::uint32_t size) {
    return size == kCoreHeaderSize || size == 40 || size == 56 || size == 108 || size == 124;
}

std::uint64_t paddedRowBytes(std::int32_t width, std::uint16_t bitsPerPixel) {
    return (static_cast<std::uint64_t>(width) * bitsPerPixel + 31) / 32 * 4;
}

}  // namespace

std::optional<BitmapHeader> readBitmapHeader(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < kHeaderSizeAt + 4 || bytes[0] != 'B' || bytes[1] != 'M') return std::nullopt;
    BitmapHeader header;
    header.headerSize = littleEndian(bytes, kHeaderSizeAt, 4);
    if (!knownHeaderSize(header.headerSize) || bytes.size() < kHeaderSizeAt + header.headerSize) return std::nullopt;
    header.pixelOffset = littleEndian(bytes, kPixelOffsetAt, 4);

    std::int32_t height;
    if (header.headerSize == kCoreHeaderSize) {
        header.width = static_cast<std::int32_t>(littleEndian(bytes, kWidthAt, 2));
        height = static_cast<std::int32_t>(littleEndian(bytes, kWidthAt + 2, 2));
        header.planes = static_cast<std::uint16_t>(littleEndian(bytes, kWidthAt + 4, 2));
        header.bitsPerPixel = static_cast<std::uint16_t>(littleEndian(bytes, kWidthAt + 6, 2));
    } else {
        header.width = static_cast<std::int32_t>(littleEndian(bytes, kWidthAt, 4));
        height = static_cast<std::int32_t>(littleEndian(bytes, kWidthAt + 4, 4));
        header.planes = static_cast<std::uint16_t>(littleEndian(bytes, kWidthAt + 8, 2));
        header.bitsPerPixel = static_cast<std::uint16_t>(littleEndian(bytes, kWidthAt + 10, 2));
        header.compression = littleEndian(bytes, kWidthAt + 12, 4);
        const bool masksFollow = header.headerSize == 40 && header.compression == 3;
        if ((header.headerSize > 40 || masksFollow) && bytes.size() >= kMasksAt + 12)
            for (std::size_t i = 0; i < header.masks.size(); ++i)
                header.masks[i] = littleEndian(bytes, kMasksAt + 4 * i, 4);
    }
    // A negative height marks rows stored top-down; INT_MIN has no positive counterpart.
    if (height == INT_MIN) return std::nullopt;
    header.topDown = height < 0;
    header.height = height < 0 ? -height : height;
    if (header.width <= 0 || header.height <= 0) return std::nullopt;

    header.rowBytes = paddedRowBytes(header.width, header.bitsPerPixel);
    const std::uint64_t rows = static_cast<std::uint64_t>(header.height);
    header.pixelBytes = header.rowBytes > std::numeric_limits<std::uint64_t>::max() / rows
                            ? std::numeric_limits<std::uint64_t>::max()
                            : header.rowBytes * rows;
    return header;
}

}  // namespace slipdrv
