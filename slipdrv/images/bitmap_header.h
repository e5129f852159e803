// The header of a Windows bitmap file, read once for both image loaders: the
// size a file announces decides whether it is refused before its pixels are
// decoded, and where its pixel rows must end.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace slipdrv {

// The file header (14 bytes) and the largest bitmap header after it: what a
// loader reads from the start of a file to hand to readBitmapHeader.
constexpr std::size_t kBitmapHeaderMaxBytes = 14 + 124;

struct BitmapHeader {
    // 12 for the core header (16-bit unsigned sizes); 40, 56, 108 or 124 for
    // the later ones (32-bit signed sizes).
    std::uint32_t headerSize = 0;
    std::int32_t width = 0;   // above 0
    std::int32_t height = 0;  // above 0, whatever the row order
    bool topDown = false;     // rows stored from the top: a negative height in the file
    std::uint16_t planes = 0;
    std::uint16_t bitsPerPixel = 0;
    std::uint32_t compression = 0;  // 0 (none) in a core header
    // Red, green and blue bit-field masks: in the header from 56 bytes on, in
    // the 12 bytes after a 40-byte one with compression 3 (0 when the bytes
    // given end before them); 0 in any other header.
    std::array<std::uint32_t, 3> masks{};
    std::uint32_t pixelOffset = 0;  // where the pixel data starts in the file
    std::uint64_t rowBytes = 0;     // what one row takes uncompressed, padded to a multiple of 4 bytes
    // What the rows take uncompressed, each padded to a multiple of 4 bytes;
    // the largest value when that does not fit 64 bits.
    std::uint64_t pixelBytes = 0;

    // Where the colour table starts: after the header and the masks that follow a 40-byte one.
    std::uint64_t colourTableOffset() const {
        return 14 + std::uint64_t{headerSize} + (headerSize == 40 && compression == 3 ? 12 : 0);
    }
    // Uncompressed rows, or rows under bit-field masks: the pixel data has
    // exactly pixelBytes. Run-length (and embedded JPEG or PNG) data has no
    // fixed size.
    bool fixedPixelSize() const { return compression == 0 || compression == 3 || compression == 6; }
    // The uncompressed rows end within a file of `fileSize` bytes.
    bool pixelRowsEndWithin(std::uint64_t fileSize) const {
        return pixelBytes <= fileSize && pixelOffset <= fileSize - pixelBytes;
    }
};

// Reads the header from the first bytes of a file, never past `bytes`.
// Nothing when they are not a complete bitmap header of a known size, or the
// image it announces has no pixels (a width or height of 0 or less; the
// height INT_MIN, which has no positive counterpart).
std::optional<BitmapHeader> readBitmapHeader(std::span<const std::uint8_t> bytes);

}  // namespace slipdrv
