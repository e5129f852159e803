#include "code_pages.h"

#include <utility>

namespace escpos {
namespace {

// Page 1, katakana: the half-width katakana of JIS X 0201 at A1h-DFh between
// two halves of graphic characters: eighth blocks and box drawing at 80h-9Fh,
// double lines, triangles, card suits, circles and diagonals at E0h-EFh, and
// at F0h-FFh a cross, the kanji of money, dates, times and addresses, the
// postal mark, dark shade and a blank.
constexpr CodePageTable makeKatakana() {
    constexpr char32_t kLow[32] = {
        U'▁', U'▂', U'▃', U'▄', U'▅', U'▆', U'▇', U'█', U'▏', U'▎', U'▍', U'▌', U'▋', U'▊', U'▉', U'┼',
        U'┴', U'┬', U'┤', U'├', U'▔', U'─', U'│', U'▕', U'┌', U'┐', U'└', U'┘', U'╭', U'╮', U'╰', U'╯',
    };
    constexpr char32_t kHigh[32] = {
        U'═', U'╞',  U'╪',  U'╡',  U'◢',  U'◣',  U'◥',  U'◤',  U'♠',  U'♥',  U'♦',  U'♣',  U'●',  U'○',  U'╱', U'╲',
        U'╳', U'円', U'年', U'月', U'日', U'時', U'分', U'秒', U'〒', U'市', U'区', U'町', U'村', U'人', U'▓', U' ',
    };
    CodePageTable table{};
    for (std::size_t i = 0; i < 32; ++i) {
        table[i] = kLow[i];
        table[0x60 + i] = kHigh[i];
    }
    table[0x20] = U' ';
    // JIS X 0201 A1h-DFh are the Unicode half-width forms from FF61h on.
    for (std::size_t i = 0x21; i < 0x60; ++i) table[i] = static_cast<char32_t>(0xFF61 - 0x21 + i);
    return table;
}

constexpr CodePageTable kKatakana = makeKatakana();

constexpr std::pair<std::uint32_t, CodePage> kPages[] = {
    {0, {"CP437", nullptr}},  {1, {"", &kKatakana}},    {2, {"CP850", nullptr}},   {3, {"CP860", nullptr}},
    {4, {"CP863", nullptr}},  {5, {"CP865", nullptr}},  {16, {"CP1252", nullptr}}, {17, {"CP866", nullptr}},
    {18, {"CP852", nullptr}}, {19, {"CP858", nullptr}},
};

}  // namespace

std::optional<CodePage> codePage(std::uint32_t page) {
    for (const auto& [number, found] : kPages)
        if (number == page) return found;
    return std::nullopt;
}

}  // namespace escpos
