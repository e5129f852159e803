#include "text_font.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <stdexcept>

namespace escpos {

struct TextFont::Face {
    FT_Library library = nullptr;
    FT_Face face = nullptr;
    int sizedWidth = 0;  // the cell the face is currently sized for
    int sizedHeight = 0;
    int baseline = 0;  // dot rows from the cell top to the baseline
    int left = 0;      // dots from the cell's left edge to the glyph origin

    ~Face() {
        if (face) FT_Done_Face(face);
        if (library) FT_Done_FreeType(library);
    }
};

const char* TextFont::defaultPath() { return "/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf"; }

TextFont::TextFont(std::string path) : path_(std::move(path)) {}

TextFont::~TextFont() = default;

void TextFont::open() {
    auto face = std::make_unique<Face>();
    if (FT_Init_FreeType(&face->library) != 0) throw std::runtime_error("cannot start the FreeType library");
    if (FT_New_Face(face->library, path_.c_str(), 0, &face->face) != 0)
        throw std::runtime_error("cannot read the text font " + path_ +
                                 " (install the Debian package fonts-dejavu-core)");
    face_ = std::move(face);
}

const GlyphCell& TextFont::glyph(std::uint8_t code, int width, int height) {
    const auto key = std::tuple{code, width, height};
    if (const auto found = cache_.find(key); found != cache_.end()) return found->second;
    return cache_.emplace(key, rasterise(code, width, height)).first->second;
}

GlyphCell TextFont::rasterise(std::uint8_t code, int width, int height) {
    GlyphCell cell{width, height, std::vector<std::uint8_t>(static_cast<std::size_t>(width) * height)};
    const auto set = [&](int x, int y) {
        if (x >= 0 && y >= 0 && x < width && y < height) cell.dots[static_cast<std::size_t>(y) * width + x] = 1;
    };
    if (code < 0x20 || code > 0x7E) {
        // A character the font is not asked for: an outlined box inside the cell.
        for (int x = 1; x < width - 1; ++x) set(x, 2), set(x, height - 3);
        for (int y = 2; y < height - 2; ++y) set(1, y), set(width - 2, y);
        return cell;
    }
    if (!face_) open();
    Face& f = *face_;
    if (f.sizedWidth != width || f.sizedHeight != height) {
        // The largest size whose advance fits the width and whose ascent and
        // descent fit the height; the glyph box is centred in the cell.
        const FT_Face face = f.face;
        const long units = face->units_per_EM;
        FT_Load_Char(face, 'M', FT_LOAD_NO_SCALE);
        const long advance = std::max<long>(face->glyph->advance.x, 1);
        const long extent = std::max<long>(face->ascender - face->descender, 1);
        const int pixels =
            static_cast<int>(std::max<long>(1, std::min(width * units / advance, height * units / extent)));
        FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(pixels));
        const int ascent = static_cast<int>(long{face->ascender} * pixels / units);
        const int descent = static_cast<int>(-long{face->descender} * pixels / units);
        const int advancePixels = static_cast<int>(advance * pixels / units);
        f.baseline = (height - ascent - descent) / 2 + ascent;
        f.left = (width - advancePixels) / 2;
        f.sizedWidth = width;
        f.sizedHeight = height;
    }
    if (FT_Load_Char(f.face, code, FT_LOAD_RENDER | FT_LOAD_TARGET_MONO | FT_LOAD_MONOCHROME) != 0) return cell;
    const FT_GlyphSlot slot = f.face->glyph;
    const FT_Bitmap& bitmap = slot->bitmap;
    for (unsigned row = 0; row < bitmap.rows; ++row) {
        const unsigned char* bits = bitmap.buffer + static_cast<long>(row) * bitmap.pitch;
        for (unsigned column = 0; column < bitmap.width; ++column) {
            const bool black = bitmap.pixel_mode == FT_PIXEL_MODE_MONO ? ((bits[column / 8] >> (7 - column % 8)) & 1)
                                                                       : bits[column] >= 128;
            if (black)
                set(f.left + slot->bitmap_left + static_cast<int>(column),
                    f.baseline - slot->bitmap_top + static_cast<int>(row));
        }
    }
    return cell;
}

}  // namespace escpos
