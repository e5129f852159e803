// Text bytes read as characters and set in cells on the line: single-byte
// code pages, Chinese text in the printer's character set, user-defined
// characters, in the print modes of the moment.
#include <algorithm>

#include "encodings.h"
#include "print_engine.h"

namespace escpos {
namespace {

// The printer's character set, or UTF-8 after FS ( C 48 2.
Charset readingCharset(const RendererOptions& options, const CharacterState& characters) {
    return characters.utf8 ? Charset::kUtf8 : options.charset;
}

}  // namespace

// Text bytes: in Chinese mode a byte from 81h to FEh starts a character of
// the printer's character set, of two bytes (GBK, Big5) or two or four
// (GB18030); a printer set to UTF-8 reads UTF-8 in or out of Chinese mode. A
// character may arrive split across text runs. Every other byte is a
// single-byte character. A sequence broken by a byte that cannot continue it
// prints as the box of one Chinese cell: under GB18030 one box, and the byte
// is read afresh; under GBK and Big5 a box for the lead byte, and the byte
// prints as a single-byte character (so the four-byte GB18030 code 81 30 84
// 36 prints box, '0', box, '6', as such a printer does); under UTF-8 a box
// for each byte held, and the byte is read afresh.
// FS ( C 48 2 makes any printer read UTF-8 until FS ( C 48 1 or ESC @.
void PrintEngine::text(std::span<const std::uint8_t> bytes) {
    const Charset charset = readingCharset(options_, state_.characters);
    std::vector<std::uint8_t>& pending = state_.characters.pendingChinese;
    for (const std::uint8_t byte : bytes) {
        if (!pending.empty()) {
            pending.push_back(byte);
            const int length = sequenceLength(charset, pending);
            if (length != 0) {
                if (pending.size() == static_cast<std::size_t>(length)) {
                    chineseCharacter(pending);
                    pending.clear();
                }
                continue;
            }
            pending.pop_back();
            brokenSequence();
            if (charset == Charset::kGbk || charset == Charset::kBig5) {
                singleByteCharacter(byte);
                continue;
            }
        }
        const bool multiByte =
            charset == Charset::kUtf8 ? byte >= 0x80 : state_.characters.chinese && byte >= 0x81 && byte <= 0xFE;
        if (!multiByte)
            singleByteCharacter(byte);
        else if (sequenceLength(charset, std::span(&byte, 1)) != 0)
            pending.push_back(byte);
        else
            wideCharacter(0);  // a byte no UTF-8 character starts with
    }
}

void PrintEngine::brokenSequence() {
    std::vector<std::uint8_t>& pending = state_.characters.pendingChinese;
    if (readingCharset(options_, state_.characters) == Charset::kUtf8)
        for (std::size_t i = 0; i < pending.size(); ++i) wideCharacter(0);
    else
        chineseCharacter(pending);
    pending.clear();
}

void PrintEngine::singleByteCharacter(std::uint8_t code) {
    const TextMode& mode = state_.text;
    const int height = mode.fontB ? kFontBHeight : kFontAHeight;
    // Reversed and rotated characters are not underlined.
    const int underline = mode.reverse || mode.rotated ? 0 : mode.underline;
    const CharacterState& characters = state_.characters;
    if (characters.userCharactersOn) {
        if (const auto found = characters.userCharacters.find(code); found != characters.userCharacters.end()) {
            // Drawn from the top of the cell, as wide as it was defined.
            const Bitmap& pattern = found->second;
            const auto glyphOf = [&](int w, int h) {
                return std::make_shared<const Bitmap>(pattern.cropped(pattern.width(), height).fitted(w, h));
            };
            character(glyphOf, {pattern.width(), height, 0, mode.rightSpacing, mode.scaleX, mode.scaleY, underline});
            return;
        }
    }
    narrowCharacter(characterSets_.singleByte(characters.codePage, code));
}

void PrintEngine::narrowCharacter(char32_t unicode) {
    const TextMode& mode = state_.text;
    const int width = mode.fontB ? kFontBWidth : kFontAWidth;
    const int height = mode.fontB ? kFontBHeight : kFontAHeight;
    const int underline = mode.reverse || mode.rotated ? 0 : mode.underline;
    character([&](int w, int h) { return font_->glyph(unicode, w, h); },
              {width, height, 0, mode.rightSpacing, mode.scaleX, mode.scaleY, underline});
}

// A multi-byte character: a UTF-8 one in a Chinese cell if it is wide, else
// in a single-byte cell; the others in a Chinese cell, a two-byte code
// defined by FS 2 in its user-defined pattern. An incomplete sequence, a code
// the set leaves empty and a character without a glyph all print a box.
void PrintEngine::chineseCharacter(std::span<const std::uint8_t> sequence) {
    const Charset charset = readingCharset(options_, state_.characters);
    const char32_t unicode = characterSets_.multiByte(charset, sequence);
    if (charset == Charset::kUtf8) {
        if (slipdrv::isWide(unicode))
            wideCharacter(unicode);
        else
            narrowCharacter(unicode);
        return;
    }
    if (sequence.size() == 2) {
        const auto& userChinese = state_.characters.userChinese;
        const auto found = userChinese.find(static_cast<std::uint16_t>(sequence[0] << 8 | sequence[1]));
        if (found != userChinese.end()) {
            const Bitmap& pattern = found->second;
            character([&](int w, int h) { return std::make_shared<const Bitmap>(pattern.fitted(w, h)); },
                      chineseLayout());
            return;
        }
    }
    wideCharacter(unicode);
}

void PrintEngine::wideCharacter(char32_t unicode) {
    character([&](int w, int h) { return chineseFont_->glyph(unicode, w, h); }, chineseLayout());
}

// The Chinese cell of the FS ( A font (24 x 24 or 16 x 16) with the Chinese
// spacing; the larger of the Chinese and the common magnification applies.
PrintEngine::CellLayout PrintEngine::chineseLayout() const {
    const TextMode& mode = state_.text;
    const ChineseMode& chinese = state_.chinese;
    const int underline = mode.reverse || mode.rotated ? 0 : chinese.underline;
    return {chinese.cellSize,
            chinese.cellSize,
            chinese.leftSpace,
            chinese.rightSpace,
            std::max(mode.scaleX, chinese.scaleX),
            std::max(mode.scaleY, chinese.scaleY),
            underline};
}

}  // namespace escpos
