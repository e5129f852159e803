// Glyphs of single-byte text rasterised from a monospaced outline font into
// black-and-white cells of a given size, each rasterised once and kept.
// No platform code.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

namespace escpos {

// A cell `width` x `height` dots, one byte a dot (1 for black), rows top down.
struct GlyphCell {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> dots;

    bool dot(int x, int y) const { return dots[static_cast<std::size_t>(y) * width + x] != 0; }
};

class TextFont {
public:
    // The font file used when none is given.
    static const char* defaultPath();

    // Opens the font on first use; throws std::runtime_error naming the file
    // and the package to install when it cannot be read.
    explicit TextFont(std::string path = defaultPath());
    ~TextFont();
    TextFont(const TextFont&) = delete;
    TextFont& operator=(const TextFont&) = delete;

    // The glyph of `code` (20h-7Eh; any other byte gives an outlined box),
    // scaled to fit the cell and sitting on a common baseline.
    const GlyphCell& glyph(std::uint8_t code, int width, int height);

private:
    struct Face;
    void open();
    GlyphCell rasterise(std::uint8_t code, int width, int height);

    std::string path_;
    std::unique_ptr<Face> face_;
    std::map<std::tuple<std::uint8_t, int, int>, GlyphCell> cache_;
};

}  // namespace escpos
