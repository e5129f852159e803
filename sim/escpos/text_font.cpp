#include "text_font.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <fstream>
#include <stdexcept>
#include <string_view>

namespace escpos {
namespace {

// Glyphs kept before the cache starts afresh: Chinese text may use tens of
// thousands of characters, and a stream may ask for every one of them.
constexpr std::size_t kMaxCachedGlyphs = 8192;

}  // namespace

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

FontFile TextFont::latinFont() {
    return {"/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf", 0, "fonts-dejavu-core"};
}

FontFile TextFont::chineseFont() {
    // The second face of the collection is the monospaced one.
    return {"/usr/share/fonts/truetype/wqy/wqy-zenhei.ttc", 1, "fonts-wqy-zenhei"};
}

Bitmap boxCell(int width, int height) {
    Bitmap cell(width, height);
    const auto set = [&](int x, int y) {
        if (y < height) cell.set(x, y);
    };
    for (int x = 1; x < width - 1; ++x) set(x, 2), set(x, height - 3);
    for (int y = 2; y < height - 2; ++y) set(1, y), set(width - 2, y);
    return cell;
}

TextFont::TextFont(std::vector<FontFile> files, Fit fit) : files_(std::move(files)), fit_(fit) {
    if (files_.empty() || !std::ifstream(files_.front().path, std::ios::binary))
        throw std::runtime_error("cannot read the font " + (files_.empty() ? std::string("(none)") : files_[0].path) +
                                 (files_.empty() ? "" : " (install the Debian package " + files_[0].package + ")"));
    faces_.resize(files_.size());
}

TextFont::~TextFont() = default;

std::shared_ptr<TextFont> TextFont::shared(const std::vector<FontFile>& files, Fit fit) {
    using Key = std::pair<std::vector<std::tuple<std::string, int>>, Fit>;
    static std::mutex mutex;
    static std::map<Key, std::shared_ptr<TextFont>> fonts;
    Key key{{}, fit};
    for (const FontFile& file : files) key.first.emplace_back(file.path, file.face);
    const std::lock_guard lock(mutex);
    std::shared_ptr<TextFont>& font = fonts[key];
    if (!font) {
        try {
            font = std::make_shared<TextFont>(files, fit);
        } catch (...) {
            fonts.erase(key);
            throw;
        }
    }
    return font;
}

std::shared_ptr<const Bitmap> TextFont::glyph(char32_t code, int width, int height) {
    const auto key = std::tuple{code, width, height};
    const std::lock_guard lock(mutex_);
    if (const auto found = cache_.find(key); found != cache_.end()) return found->second;
    if (cache_.size() >= kMaxCachedGlyphs) cache_.clear();
    return cache_.emplace(key, std::make_shared<const Bitmap>(rasterise(code, width, height))).first->second;
}

// The first face that has the character; a file that cannot be opened is
// passed over (the first one was checked when the font was made).
TextFont::Face* TextFont::faceFor(char32_t code) {
    for (std::size_t i = 0; i < files_.size(); ++i) {
        if (!faces_[i]) {
            auto face = std::make_unique<Face>();
            if (FT_Init_FreeType(&face->library) != 0 ||
                FT_New_Face(face->library, files_[i].path.c_str(), files_[i].face, &face->face) != 0) {
                if (i == 0)
                    throw std::runtime_error("cannot read the font " + files_[i].path +
                                             " (install the Debian package " + files_[i].package + ")");
                continue;
            }
            faces_[i] = std::move(face);
        }
        if (FT_Get_Char_Index(faces_[i]->face, code) != 0) return faces_[i].get();
    }
    return nullptr;
}

namespace {

// The full-width form of a half-width katakana character (U+FF61-U+FF9F),
// the voiced marks as their spacing forms; 0 for any other character.
char32_t fullWidthKatakana(char32_t code) {
    constexpr std::u32string_view kFullWidth =
        U"。「」、・ヲァィゥェォャュョッーアイウエオカキクケコサシスセソタチツテトナニヌネノハヒフヘホマミムメモヤユヨ"
        U"ラリルレロワン゛゜";
    return code >= 0xFF61 && code <= 0xFF9F ? kFullWidth[code - 0xFF61] : 0;
}

// `wide` squeezed to half its width: a dot where either of two dots side by side is.
Bitmap narrowed(const Bitmap& wide, int width) {
    Bitmap cell(width, wide.height());
    for (int y = 0; y < wide.height(); ++y)
        for (int x = 0; x < width; ++x)
            if (wide.dot(2 * x, y) || wide.dot(2 * x + 1, y)) cell.set(x, y);
    return cell;
}

}  // namespace

Bitmap TextFont::rasterise(char32_t code, int width, int height) {
    if (code < 0x20 || (code >= 0x7F && code < 0xA0)) return boxCell(width, height);
    Face* found = faceFor(code);
    if (!found) {
        // The fonts have the half-width katakana only in their full-width
        // forms: drawn twice as wide and narrowed to the cell.
        const char32_t wide = fullWidthKatakana(code);
        if (wide != 0 && faceFor(wide)) return narrowed(rasterise(wide, 2 * width, height), width);
        return boxCell(width, height);
    }
    Face& f = *found;
    if (f.sizedWidth != width || f.sizedHeight != height) {
        const FT_Face face = f.face;
        if (fit_ == Fit::kSquare) {
            const int pixels = std::max(1, std::min(width, height));
            FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(pixels));
            f.baseline = height - height / 8;
            f.left = (width - pixels) / 2;
        } else {
            // The largest size whose advance fits the width and whose ascent
            // and descent fit the height; the glyph box is centred in the cell.
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
        }
        f.sizedWidth = width;
        f.sizedHeight = height;
    }
    Bitmap cell(width, height);
    if (FT_Load_Char(f.face, code, FT_LOAD_RENDER | FT_LOAD_TARGET_MONO | FT_LOAD_MONOCHROME) != 0) return cell;
    const FT_GlyphSlot slot = f.face->glyph;
    const FT_Bitmap& bitmap = slot->bitmap;
    for (unsigned row = 0; row < bitmap.rows; ++row) {
        const unsigned char* bits = bitmap.buffer + static_cast<long>(row) * bitmap.pitch;
        for (unsigned column = 0; column < bitmap.width; ++column) {
            const bool black = bitmap.pixel_mode == FT_PIXEL_MODE_MONO ? ((bits[column / 8] >> (7 - column % 8)) & 1)
                                                                       : bits[column] >= 128;
            const int x = f.left + slot->bitmap_left + static_cast<int>(column);
            const int y = f.baseline - slot->bitmap_top + static_cast<int>(row);
            if (black && y < height) cell.set(x, y);
        }
    }
    return cell;
}

}  // namespace escpos
