// Glyphs rasterised from outline fonts into black-and-white cells of a given
// size, each rasterised once and kept for the whole process: renderers made
// one after another (a file each) share the fonts and their glyphs. A character is taken from the first
// font file that has it; one that none has is drawn as an outlined box.
// No platform code.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <tuple>
#include <vector>

#include "bitmap.h"

namespace escpos {

// A font file and the face within it (collections hold several), with the
// Debian package that installs it for the error message.
struct FontFile {
    std::string path;
    int face = 0;
    std::string package;
};

class TextFont {
public:
    // How a glyph is scaled into its cell: a monospaced font so that its
    // advance and its ascent and descent fit; an ideographic font so that its
    // em square fills the cell, the baseline an eighth of the height up.
    enum class Fit : std::uint8_t { kMonospaced, kSquare };

    // The monospaced font of single-byte text, and the font of Chinese text.
    static FontFile latinFont();
    static FontFile chineseFont();

    // Throws std::runtime_error naming the file and the package to install
    // when the first file cannot be read; later files only add characters.
    // Faces are opened on first use.
    TextFont(std::vector<FontFile> files, Fit fit);
    ~TextFont();
    TextFont(const TextFont&) = delete;
    TextFont& operator=(const TextFont&) = delete;

    // The font of these files and fit for the whole process, made on first
    // use (throwing as the constructor does) and kept.
    static std::shared_ptr<TextFont> shared(const std::vector<FontFile>& files, Fit fit);

    // The glyph of Unicode character `code`, sitting on a common baseline;
    // control characters and characters no file has give an outlined box.
    // Safe to call from several threads; the glyph stays valid for as long
    // as the caller holds it.
    std::shared_ptr<const Bitmap> glyph(char32_t code, int width, int height);

private:
    struct Face;
    Face* faceFor(char32_t code);
    Bitmap rasterise(char32_t code, int width, int height);

    std::vector<FontFile> files_;
    Fit fit_;
    std::vector<std::unique_ptr<Face>> faces_;  // one per file, null until opened
    std::mutex mutex_;                          // guards the faces and the cache
    std::map<std::tuple<char32_t, int, int>, std::shared_ptr<const Bitmap>> cache_;
};

// An outlined box filling a cell: what is printed for a character no font has.
Bitmap boxCell(int width, int height);

}  // namespace escpos
