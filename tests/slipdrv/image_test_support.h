// Test images for the bit-image exports: pictures made in code, written as
// Windows bitmap files of any depth and either row order, and what a printer
// must receive for them, worked out pixel by pixel without the library's code.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <map>
#include <random>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

namespace image_testing {

using Bytes = std::vector<std::uint8_t>;

struct Colour {
    std::uint8_t r, g, b;
    bool operator<(const Colour& o) const { return std::tie(r, g, b) < std::tie(o.r, o.g, o.b); }
    bool operator==(const Colour& o) const { return r == o.r && g == o.g && b == o.b; }
};
constexpr Colour kBlack{0, 0, 0};
constexpr Colour kWhite{255, 255, 255};

struct Picture {
    int width = 0;
    int height = 0;
    std::vector<Colour> pixels;  // row by row from the top

    Picture(int w, int h, Colour fill = kWhite) : width(w), height(h), pixels(std::size_t(w) * h, fill) {}
    Colour& at(int x, int y) { return pixels[std::size_t(y) * width + x]; }
    const Colour& at(int x, int y) const { return pixels[std::size_t(y) * width + x]; }
};

// A picture that exercises every column and row position: a diagonal, a frame
// and a checkerboard corner, in black on white.
inline Picture patternPicture(int w, int h) {
    Picture p(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (x == y || x == 0 || y == h - 1 || (x < 6 && y < 6 && (x + y) % 2 == 0)) p.at(x, y) = kBlack;
    return p;
}

// Columns of (92,92,92), which prints, (93,93,93), which does not, pure red
// (luminance 76, prints) and pure green (149, does not).
inline Picture thresholdPicture() {
    Picture p(4, 9);
    const Colour colours[] = {{92, 92, 92}, {93, 93, 93}, {255, 0, 0}, {0, 255, 0}};
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 4; ++x) p.at(x, y) = colours[x];
    return p;
}

inline void put16(Bytes& out, std::uint32_t v) {
    out.push_back(v & 0xFF);
    out.push_back((v >> 8) & 0xFF);
}
inline void put32(Bytes& out, std::uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

// How a bitmap file is laid out: the depth, the row order, the header's size
// (12 for the core header, which has no masks and no top-down order) and for
// 16 and 32 bits the red, green and blue bit-field masks (compression 3; none:
// compression 0, which means 5-5-5 or 8-8-8).
struct BmpLayout {
    int bits = 24;
    bool topDown = false;
    std::uint32_t headerSize = 40;
    std::vector<std::uint32_t> masks{};
};

inline std::vector<std::uint32_t> masksOf(const BmpLayout& layout) {
    if (!layout.masks.empty()) return layout.masks;
    if (layout.bits == 16) return {0x7C00, 0x03E0, 0x001F};
    return {0xFF0000, 0x00FF00, 0x0000FF};
}

// A colour under a mask: the top bits of each component that fit the mask.
inline std::uint32_t maskedPixel(const Colour& c, const std::vector<std::uint32_t>& masks) {
    std::uint32_t pixel = 0;
    const std::uint8_t parts[] = {c.r, c.g, c.b};
    for (int i = 0; i < 3; ++i) {
        int low = 0, width = 0;
        while (!(masks[i] >> low & 1)) ++low;
        while (low + width < 32 && (masks[i] >> (low + width) & 1)) ++width;
        pixel |= std::uint32_t(parts[i] >> (8 - width)) << low;
    }
    return pixel;
}

// A bitmap file, uncompressed, of 1, 4, 8, 16, 24 or 32 bits a pixel (the
// palette depths need a picture with at most 2, 16 or 256 colours).
inline Bytes encodeBmp(const Picture& picture, const BmpLayout& layout) {
    const int bits = layout.bits;
    const bool core = layout.headerSize == 12;
    std::vector<Colour> palette;
    std::map<Colour, int> index;
    if (bits <= 8) {
        for (const auto& c : picture.pixels)
            if (index.emplace(c, int(palette.size())).second) palette.push_back(c);
        if (palette.size() > (1u << bits)) throw std::invalid_argument("too many colours for the depth");
    }
    const bool masksFollow = layout.headerSize == 40 && !layout.masks.empty();
    const std::uint32_t rowBytes = ((std::uint32_t(picture.width) * bits + 31) / 32) * 4;
    const std::uint32_t offset =
        14 + layout.headerSize + (masksFollow ? 12 : 0) + (core ? 3 : 4) * std::uint32_t(palette.size());
    const std::uint32_t imageBytes = rowBytes * picture.height;
    Bytes out = {'B', 'M'};
    put32(out, offset + imageBytes);
    put32(out, 0);
    put32(out, offset);
    put32(out, layout.headerSize);
    if (core) {
        put16(out, std::uint32_t(picture.width));
        put16(out, std::uint32_t(picture.height));
        put16(out, 1);
        put16(out, bits);
    } else {
        put32(out, std::uint32_t(picture.width));
        put32(out, std::uint32_t(layout.topDown ? -picture.height : picture.height));
        put16(out, 1);
        put16(out, bits);
        put32(out, layout.masks.empty() ? 0 : 3);  // BI_RGB or BI_BITFIELDS
        put32(out, imageBytes);
        put32(out, 2835);
        put32(out, 2835);
        put32(out, std::uint32_t(palette.size()));
        put32(out, 0);
        for (const std::uint32_t m : layout.masks) put32(out, m);
        out.resize(14 + layout.headerSize + (masksFollow ? 12 : 0), 0);
    }
    for (const auto& c : palette) {
        out.insert(out.end(), {c.b, c.g, c.r});
        if (!core) out.push_back(0);
    }
    const auto masks = masksOf(layout);
    for (int i = 0; i < picture.height; ++i) {
        const int y = layout.topDown ? i : picture.height - 1 - i;
        Bytes row(rowBytes, 0);
        for (int x = 0; x < picture.width; ++x) {
            const Colour& c = picture.at(x, y);
            switch (bits) {
                case 1:
                    row[x / 8] |= std::uint8_t(index[c] << (7 - x % 8));
                    break;
                case 4:
                    row[x / 2] |= std::uint8_t(index[c] << (x % 2 ? 0 : 4));
                    break;
                case 8:
                    row[x] = std::uint8_t(index[c]);
                    break;
                case 24:
                    row[3 * x] = c.b, row[3 * x + 1] = c.g, row[3 * x + 2] = c.r;
                    break;
                case 16:
                case 32: {
                    const std::uint32_t v = maskedPixel(c, masks);
                    for (int k = 0; k < bits / 8; ++k) row[bits / 8 * x + k] = std::uint8_t(v >> (8 * k));
                    break;
                }
                default:
                    throw std::invalid_argument("depth");
            }
        }
        out.insert(out.end(), row.begin(), row.end());
    }
    return out;
}
inline Bytes encodeBmp(const Picture& picture, int bits, bool topDown = false) {
    return encodeBmp(picture, BmpLayout{.bits = bits, .topDown = topDown});
}

inline bool writeFile(const std::string& path, const Bytes& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}
inline Bytes readFile(const std::string& path) {
    Bytes all;
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        int c;
        while ((c = std::fgetc(f)) != EOF) all.push_back(std::uint8_t(c));
        std::fclose(f);
    }
    return all;
}
inline bool fileExists(const std::string& path) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (f) std::fclose(f);
    return f != nullptr;
}

// --- What the printer must receive, pixel by pixel ---

// Luminance in the printer's integer weights; 92 and below prints.
inline bool prints(const Picture& p, int x, int y) {
    if (x < 0 || y < 0 || x >= std::min(p.width, 640) || y >= p.height) return false;
    const Colour c = p.at(x, y);
    const long luminance = (9798L * c.r + 19235L * c.g + 3735L * c.b) / 32768;
    return luminance <= 92;
}
inline int printWidth(const Picture& p) { return std::min(p.width, 640); }

// One band of ESC *: for each column, rows/8 bytes, each with its top row in bit 7.
inline Bytes referenceBand(const Picture& p, int band, int rows) {
    Bytes out;
    for (int x = 0; x < printWidth(p); ++x)
        for (int k = 0; k < rows / 8; ++k) {
            std::uint8_t byte = 0;
            for (int bit = 0; bit < 8; ++bit)
                if (prints(p, x, band * rows + 8 * k + bit)) byte |= std::uint8_t(0x80 >> bit);
            out.push_back(byte);
        }
    return out;
}
// The band height follows the mode byte sent (256 is sent as 0: 8-dot bands).
inline int bandRowsFor(int mode) { return (mode & 0xFF) <= 1 ? 8 : 24; }
inline Bytes referenceBands(const Picture& p, int mode) {
    const int rows = bandRowsFor(mode);
    Bytes all;
    for (int b = 0; b * rows < p.height; ++b) {
        const Bytes band = referenceBand(p, b, rows);
        all.insert(all.end(), band.begin(), band.end());
    }
    return all;
}
// The column layout: 8 x X columns of Yb bytes each.
inline Bytes referenceColumns(const Picture& p) {
    const int across = (printWidth(p) + 7) / 8, down = (p.height + 7) / 8;
    Bytes out;
    for (int column = 0; column < 8 * across; ++column)
        for (int j = 0; j < down; ++j) {
            std::uint8_t byte = 0;
            for (int bit = 0; bit < 8; ++bit)
                if (prints(p, column, 8 * j + bit)) byte |= std::uint8_t(0x80 >> bit);
            out.push_back(byte);
        }
    return out;
}

inline Bytes expectedPrintBitmap(const Picture& p, int mode) {
    const int rows = bandRowsFor(mode), w = printWidth(p);
    Bytes out;
    for (int b = 0; b * rows < p.height; ++b) {
        out.insert(out.end(), {0x1B, 0x2A, std::uint8_t(mode & 0xFF), std::uint8_t(w & 0xFF), std::uint8_t(w >> 8)});
        const Bytes band = referenceBand(p, b, rows);
        out.insert(out.end(), band.begin(), band.end());
        out.insert(out.end(), {0x1B, 0x4A, 0x18});
    }
    return out;
}
inline Bytes expectedDownload(const Picture& p, int mode) {
    const int x = ((printWidth(p) + 7) / 8) & 0xFF, y = ((p.height + 7) / 8) & 0xFF;
    const Bytes columns = referenceColumns(p);
    Bytes out = {0x1D, 0x2A, std::uint8_t(x), std::uint8_t(y)};
    out.insert(out.end(), columns.begin(), columns.begin() + 8 * x * y);
    out.insert(out.end(), {0x1D, 0x2F, std::uint8_t(mode & 0xFF)});
    return out;
}
inline Bytes expectedDefineNv(const Picture& p) {
    const int x = (printWidth(p) + 7) / 8, y = (p.height + 7) / 8;
    Bytes out = {
        0x1C, 0x71, 0x01, std::uint8_t(x & 0xFF), std::uint8_t(x >> 8), std::uint8_t(y & 0xFF), std::uint8_t(y >> 8)};
    const Bytes columns = referenceColumns(p);
    out.insert(out.end(), columns.begin(), columns.end());
    return out;
}

// Colours spread around the threshold, so that both sides are well covered.
inline Picture randomPicture(std::mt19937& rng, int width, int height) {
    Picture p(width, height);
    std::uniform_int_distribution<int> any(0, 255), spread(-40, 40), kind(0, 3);
    for (auto& c : p.pixels) {
        if (kind(rng) == 0) {
            c = {std::uint8_t(any(rng)), std::uint8_t(any(rng)), std::uint8_t(any(rng))};
        } else {
            const int grey = 92 + spread(rng);
            c = {std::uint8_t(std::clamp(grey + spread(rng) / 4, 0, 255)), std::uint8_t(std::clamp(grey, 0, 255)),
                 std::uint8_t(std::clamp(grey + spread(rng), 0, 255))};
        }
    }
    return p;
}

}  // namespace image_testing
