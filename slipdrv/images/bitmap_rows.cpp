#include "bitmap_rows.h"

#include <algorithm>
#include <array>
#include <bit>
#include <optional>
#include <vector>

namespace slipdrv {
namespace {

constexpr std::uint32_t kNoCompression = 0;
constexpr std::uint32_t kBitFields = 3;
constexpr std::uint32_t kCoreHeaderSize = 12;
// Rows are read in runs of about this many bytes: few reads, little held.
constexpr std::uint64_t kReadBytes = std::uint64_t{64} << 10;

// One colour of a pixel under a bit-field mask: the masked bits with the
// highest moved to bit 7, as many kept as the mask has, then widened to 8
// bits by repeating them (5 bits 10110 read as 10110101).
class BitField {
public:
    static std::optional<BitField> make(std::uint32_t mask) {
        const int width = std::popcount(mask);
        if (width == 0 || width > 8) return std::nullopt;
        return BitField(mask, static_cast<int>(std::bit_width(mask)) - 8, width);
    }
    std::uint8_t read(std::uint32_t pixel) const {
        const std::uint32_t bits = pixel & mask_;
        return widened_[(shift_ >= 0 ? bits >> shift_ : bits << -shift_) >> (8 - width_)];
    }

private:
    BitField(std::uint32_t mask, int shift, int width) : mask_(mask), shift_(shift), width_(width) {
        for (std::uint32_t top = 0; top < (1u << width); ++top) {
            std::uint32_t value = 0;
            for (int filled = 0; filled < 8; filled += width) value |= (top << (8 - width)) >> filled;
            widened_[top] = static_cast<std::uint8_t>(value);
        }
    }

    std::uint32_t mask_;
    int shift_;  // right shift that puts the mask's highest bit at bit 7 (negative: a left shift)
    int width_;
    std::array<std::uint8_t, 256> widened_{};
};

// How one stored row reads as colours.
class RowFormat {
public:
    static std::optional<RowFormat> make(const BitmapHeader& header, FileBytes& file) {
        const std::uint16_t bits = header.bitsPerPixel;
        const bool core = header.headerSize == kCoreHeaderSize;
        if (header.planes != 1 || header.pixelOffset < header.colourTableOffset()) return std::nullopt;
        RowFormat format(bits);
        if (header.compression == kNoCompression && (bits == 1 || bits == 4 || bits == 8)) {
            if (!format.readColourTable(header, file)) return std::nullopt;
        } else if (header.compression == kNoCompression && bits == 16 && !core) {
            if (!format.setMasks({0x7C00, 0x03E0, 0x001F})) return std::nullopt;
        } else if (header.compression == kNoCompression && bits == 32 && !core) {
            if (!format.setMasks({0xFF0000, 0x00FF00, 0x0000FF})) return std::nullopt;
        } else if (header.compression == kBitFields && (bits == 16 || bits == 32) && !core) {
            if (!format.setMasks(header.masks)) return std::nullopt;
        } else if (header.compression != kNoCompression || bits != 24) {
            return std::nullopt;
        }
        return format;
    }

    // The first out.size() pixels of the row.
    void decode(const std::uint8_t* row, std::span<Rgb> out) const {
        const std::size_t n = out.size();
        switch (bits_) {
            case 1:
                for (std::size_t x = 0; x < n; ++x) out[x] = colours_[(row[x / 8] >> (7 - x % 8)) & 1];
                break;
            case 4:
                for (std::size_t x = 0; x < n; ++x) out[x] = colours_[(row[x / 2] >> (x % 2 ? 0 : 4)) & 15];
                break;
            case 8:
                for (std::size_t x = 0; x < n; ++x) out[x] = colours_[row[x]];
                break;
            case 16:
                for (std::size_t x = 0; x < n; ++x) out[x] = masked(row[2 * x] | row[2 * x + 1] << 8);
                break;
            case 24:
                for (std::size_t x = 0; x < n; ++x, row += 3) out[x] = {row[2], row[1], row[0]};
                break;
            default:  // 32
                for (std::size_t x = 0; x < n; ++x, row += 4)
                    out[x] = masked(row[0] | row[1] << 8 | row[2] << 16 | static_cast<std::uint32_t>(row[3]) << 24);
                break;
        }
    }

private:
    explicit RowFormat(int bits) : bits_(bits) {}

    // As many entries as the depth has and the space before the pixel data
    // holds, whatever count the header names; an index past them reads as black.
    bool readColourTable(const BitmapHeader& header, FileBytes& file) {
        const std::uint64_t entrySize = header.headerSize == kCoreHeaderSize ? 3 : 4;
        const std::uint64_t room = (header.pixelOffset - header.colourTableOffset()) / entrySize;
        const std::uint64_t entries = std::min(std::uint64_t{1} << header.bitsPerPixel, room);
        if (entries == 0) return false;
        std::vector<std::uint8_t> table(entries * entrySize);
        if (!file.readAt(header.colourTableOffset(), table)) return false;
        for (std::size_t i = 0; i < entries; ++i) {
            const std::uint8_t* entry = table.data() + i * entrySize;  // blue, green, red (, unused)
            colours_[i] = {entry[2], entry[1], entry[0]};
        }
        return true;
    }
    bool setMasks(const std::array<std::uint32_t, 3>& masks) {
        for (std::size_t i = 0; i < masks.size(); ++i) {
            fields_[i] = BitField::make(masks[i]);
            if (!fields_[i]) return false;
        }
        return true;
    }
    Rgb masked(std::uint32_t pixel) const {
        return {fields_[0]->read(pixel), fields_[1]->read(pixel), fields_[2]->read(pixel)};
    }

    int bits_;
    std::array<Rgb, 256> colours_{};
    std::array<std::optional<BitField>, 3> fields_;  // red, green, blue
};

}  // namespace

bool readBitmapRows(const BitmapHeader& header, FileBytes& file, int columns, PixelRows& rows) {
    if (columns <= 0 || columns > header.width || header.height <= 0) return false;
    const auto format = RowFormat::make(header, file);
    if (!format) return false;
    const std::uint64_t stride = header.rowBytes;
    const std::uint64_t needed = (static_cast<std::uint64_t>(columns) * header.bitsPerPixel + 7) / 8;
    const int perRead = static_cast<int>(std::clamp<std::uint64_t>(kReadBytes / stride, 1, header.height));
    std::vector<std::uint8_t> buffer((perRead - 1) * stride + needed);
    std::vector<Rgb> pixels(static_cast<std::size_t>(columns));
    for (int first = 0; first < header.height; first += perRead) {
        const int count = std::min(perRead, header.height - first);
        const std::span<std::uint8_t> run(buffer.data(), (count - 1) * stride + needed);
        if (!file.readAt(header.pixelOffset + first * stride, run)) return false;
        for (int i = 0; i < count; ++i) {
            format->decode(buffer.data() + i * stride, pixels);
            const int stored = first + i;  // rows are stored bottom-up unless the height said otherwise
            rows.take(header.topDown ? stored : header.height - 1 - stored, pixels);
        }
    }
    return true;
}

}  // namespace slipdrv
