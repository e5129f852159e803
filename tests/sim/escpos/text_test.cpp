// Text on the renderer's paper: cells found where the layout puts them, at the
// sizes, justifications, margins and positions the stream selects, and the
// print modes that change the dots within a cell.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "render_support.h"

namespace {

using escpos::testing::bands;
using escpos::testing::Box;
using escpos::testing::cat;
using Bytes = std::vector<std::uint8_t>;
constexpr std::uint8_t ESC = 0x1B, GS = 0x1D, FS = 0x1C, LF = 0x0A, HT = 0x09, CR = 0x0D;
// GB18030: 中 D6 D0, 文 CE C4, U+20000 (no glyph in the font) 95 32 82 36.
const std::vector<std::uint8_t> kChineseOn = {FS, '&'};

escpos::Paper render(const Bytes& stream, escpos::RendererOptions options = {576, "", 100000}) {
    const auto pieces = escpos::testing::renderPieces(stream, std::move(options));
    return pieces.empty() ? escpos::Paper() : pieces[0];
}

bool sameDots(const escpos::Paper& a, const escpos::Paper& b) {
    bool same = a.height() == b.height();
    for (int y = 0; same && y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) same = same && a.dot(x, y) == b.dot(x, y);
    return same;
}

Bytes text(const std::string& s) { return Bytes(s.begin(), s.end()); }

TEST(Text, CellsAreWhereTheLayoutPutsThem) {
    // Reverse printing blackens whole cells, so each line's box is the extent
    // of its cells: font A 12 x 24, font B 9 x 17, times the size; paper 576.
    const Bytes reverse = {GS, 'B', 1};
    const struct {
        const char* name;
        Bytes stream;
        std::vector<Box> lines;
    } cases[] = {
        {"font A", text("AB"), {{0, 24, 0, 24}}},
        {"ESC M 1 font B", cat({{ESC, 'M', 1}, text("ABC")}), {{0, 27, 0, 17}}},
        {"ESC ! font B", cat({{ESC, '!', 1}, text("AB")}), {{0, 18, 0, 17}}},
        {"ESC ! double width and height", cat({{ESC, '!', 0x30}, text("A")}), {{0, 24, 0, 48}}},
        {"GS ! 2x1", cat({{GS, '!', 0x10}, text("AB")}), {{0, 48, 0, 24}}},
        {"GS ! 1x2", cat({{GS, '!', 0x01}, text("A")}), {{0, 12, 0, 48}}},
        {"GS ! 3x3", cat({{GS, '!', 0x22}, text("A")}), {{0, 36, 0, 72}}},
        {"GS ! 8x8", cat({{GS, '!', 0x77}, text("A")}), {{0, 96, 0, 192}}},
        {"mixed heights share a bottom", cat({text("A"), {GS, '!', 0x01}, text("B")}), {{0, 24, 0, 48}}},
        {"ESC SP right spacing", cat({{ESC, ' ', 3}, text("AB")}), {{0, 30, 0, 24}}},
        {"centred", cat({{ESC, 'a', 1}, text("AB")}), {{276, 300, 0, 24}}},
        {"right", cat({{ESC, 'a', 50}, text("AB")}), {{552, 576, 0, 24}}},
        {"GS L margin", cat({{GS, 'L', 40, 0}, text("A")}), {{40, 52, 0, 24}}},
        {"GS L mid-line ignored", cat({text("A"), {GS, 'L', 40, 0}, text("B\nC")}), {{0, 24, 0, 24}, {0, 12, 30, 54}}},
        {"GS L + GS W, right", cat({{GS, 'L', 40, 0, GS, 'W', 100, 0, ESC, 'a', 2}, text("A")}), {{128, 140, 0, 24}}},
        {"ESC $", cat({{ESC, '$', 100, 0}, text("A")}), {{100, 112, 0, 24}}},
        {"ESC $ then ESC \\ -10", cat({{ESC, '$', 100, 0, ESC, '\\', 0xF6, 0xFF}, text("A")}), {{90, 102, 0, 24}}},
        {"HT default stops", cat({{HT}, text("A")}), {{96, 108, 0, 24}}},
        {"ESC D stops", cat({{ESC, 'D', 2, 5, 0, HT, HT}, text("A")}), {{60, 72, 0, 24}}},
        {"wrap at GS W", cat({{GS, 'W', 60, 0}, text("ABCDEF")}), {{0, 60, 0, 24}, {0, 12, 30, 54}}},
        {"upside-down line", cat({{ESC, '{', 1}, text("AB")}), {{552, 576, 0, 24}}},
        {"LF at default spacing", text("A\nB"), {{0, 12, 0, 24}, {0, 12, 30, 54}}},
        {"ESC 3 spacing", cat({{ESC, '3', 40}, text("A\nB")}), {{0, 12, 0, 24}, {0, 12, 40, 64}}},
        {"ESC J", cat({text("A"), {ESC, 'J', 50}, text("B")}), {{0, 12, 0, 24}, {0, 12, 50, 74}}},
        {"ESC d", cat({text("A"), {ESC, 'd', 2}, text("B")}), {{0, 12, 0, 24}, {0, 12, 60, 84}}},
        {"CR changes nothing", cat({text("A"), {CR}, text("B")}), {{0, 24, 0, 24}}},
        {"ESC @ resets the modes", cat({{GS, '!', 0x11, ESC, 'a', 1, ESC, '@'}, reverse, text("A")}), {{0, 12, 0, 24}}},
        {"Chinese two-byte", cat({kChineseOn, {0xD6, 0xD0, 0xCE, 0xC4}}), {{0, 48, 0, 24}}},
        {"Chinese four-byte", cat({kChineseOn, {0x95, 0x32, 0x82, 0x36}}), {{0, 24, 0, 24}}},
        {"Chinese and ASCII", cat({kChineseOn, text("A"), {0xD6, 0xD0}}), {{0, 36, 0, 24}}},
        {"FS ! double width and height", cat({kChineseOn, {FS, '!', 0x0C, 0xD6, 0xD0}}), {{0, 48, 0, 48}}},
        {"FS W quadruple", cat({kChineseOn, {FS, 'W', 1, 0xD6, 0xD0}}), {{0, 48, 0, 48}}},
        {"GS ! also sizes Chinese", cat({kChineseOn, {GS, '!', 0x20, 0xD6, 0xD0}}), {{0, 72, 0, 24}}},
        {"FS S spacing", cat({kChineseOn, {FS, 'S', 2, 3, 0xD6, 0xD0}}), {{0, 29, 0, 24}}},
        {"FS . single bytes", cat({kChineseOn, {FS, '.', 0xD6, 0xD0}}), {{0, 24, 0, 24}}},
        {"FS ( A font B", cat({kChineseOn, {FS, '(', 'A', 2, 0, 48, 1, 0xD6, 0xD0}}), {{0, 16, 0, 16}}},
        {"FS ( A font B, doubled",
         cat({kChineseOn, {FS, '(', 'A', 2, 0, 48, '1', FS, 'W', 1, 0xD6, 0xD0}}),
         {{0, 32, 0, 32}}},
        {"FS ( A back to font A",
         cat({kChineseOn, {FS, '(', 'A', 2, 0, 48, 1, FS, '(', 'A', 2, 0, 48, 0, 0xD6, 0xD0}}),
         {{0, 24, 0, 24}}},
        {"FS ( A leaves no text", cat({{FS, '(', 'A', 2, 0, 48, 1}, text("A")}), {{0, 12, 0, 24}}},
        {"broken sequence", cat({kChineseOn, {0xD6, ' '}}), {{0, 36, 0, 24}}},
        {"user-defined width",
         cat({{ESC, '%', 1, ESC, '&', 3, 'A', 'A', 5}, Bytes(15, 0), text("A")}),
         {{0, 5, 0, 24}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(bands(render(cat({reverse, c.stream}))), c.lines);
    }
}

int blackDots(const escpos::Paper& paper) {
    int n = 0;
    for (int y = 0; y < paper.height(); ++y)
        for (int x = 0; x < paper.width(); ++x) n += paper.dot(x, y);
    return n;
}

bool fullRow(const escpos::Paper& paper, int y, int x0, int x1) {
    for (int x = x0; x < x1; ++x)
        if (!paper.dot(x, y)) return false;
    return true;
}

TEST(Text, PrintModesChangeTheDotsWithinTheCell) {
    // A capital's ink stays inside its cell and fills a good part of it.
    const auto plain = render(text("HH"));
    const auto boxes = bands(plain);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_GE(boxes[0].x0, 0);
    EXPECT_LE(boxes[0].x1, 24);
    EXPECT_GE(boxes[0].y1 - boxes[0].y0, 12);
    EXPECT_LE(boxes[0].y1, 24);

    // Underlines: the cells' bottom rows black from end to end, 1 or 2 of them.
    for (const auto& [stream, rows] : {std::pair{Bytes{ESC, '-', 1}, 1}, std::pair{Bytes{ESC, '-', 50}, 2},
                                       std::pair{Bytes{ESC, '!', 0x80}, 1}, std::pair{Bytes{ESC, '-', 0}, 0}}) {
        SCOPED_TRACE(rows);
        const auto paper = render(cat({stream, text("HH"), {LF}}));
        for (int k = 1; k <= 3; ++k) EXPECT_EQ(fullRow(paper, 24 - k, 0, 24), k <= rows) << "row " << 24 - k;
    }

    // Emphasis and double strike thicken the strokes alike.
    const auto bold = render(cat({{ESC, 'E', 1}, text("HH")}));
    EXPECT_GT(blackDots(bold), blackDots(plain));
    EXPECT_EQ(blackDots(render(cat({{ESC, 'G', 1}, text("HH")}))), blackDots(bold));

    // Upside-down: a low stroke ends up high, and vice versa.
    const auto low = bands(render(text("_")));
    const auto flipped = bands(render(cat({{ESC, '{', 1}, text("_")})));
    ASSERT_EQ(low.size(), 1u);
    ASSERT_EQ(flipped.size(), 1u);
    EXPECT_GT(low[0].y0, 12);
    EXPECT_LT(flipped[0].y1, 12);

    // 90-degree rotation: a horizontal stroke becomes a vertical one.
    const auto rotated = bands(render(cat({{ESC, 'V', 1}, text("-")})));
    const auto upright = bands(render(text("-")));
    ASSERT_EQ(rotated.size(), 1u);
    ASSERT_EQ(upright.size(), 1u);
    EXPECT_GT(upright[0].x1 - upright[0].x0, upright[0].y1 - upright[0].y0);
    EXPECT_LT(rotated[0].x1 - rotated[0].x0, rotated[0].y1 - rotated[0].y0);
}

TEST(Text, CharacterSetsPickTheGlyph) {
    // Streams that must print the same dots, or must not: the same letter
    // through several code pages; a character the font lacks and a broken
    // sequence both as the box; user-defined patterns used only when selected.
    const Bytes udc = {ESC, '&', 3, 'A', 'A', 2, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    const Bytes chinese = {FS, '2', 0xFE, 0xA1};
    const struct {
        const char* name;
        Bytes a, b;
        bool same;
    } cases[] = {
        {"U with diaeresis in 437 and 1252", {ESC, 't', 0, 0x9A}, {ESC, 't', 16, 0xDC}, true},
        {"U with diaeresis in 437 and 850", {ESC, 't', 0, 0x9A}, {ESC, 't', 2, 0x9A}, true},
        {"one byte in 437 and 1252", {ESC, 't', 16, 0x9A}, {ESC, 't', 0, 0x9A}, false},
        {"ESC @ back to 437", {ESC, 't', 16, ESC, '@', 0x9A}, {0x9A}, true},
        {"no glyph and broken sequence", cat({kChineseOn, {0x95, 0x32, 0x82, 0x36}}), cat({kChineseOn, {0xD6}}), true},
        {"a glyph is no box", cat({kChineseOn, {0xD6, 0xD0}}), cat({kChineseOn, {0x95, 0x32, 0x82, 0x36}}), false},
        {"ESC & unused until ESC %", cat({udc, text("A")}), text("A"), true},
        {"ESC & used", cat({udc, {ESC, '%', 1}, text("A")}), text("A"), false},
        {"ESC ? cancels", cat({udc, {ESC, '%', 1, ESC, '?', 'A'}, text("A")}), text("A"), true},
        {"FS 2 replaces the character", cat({kChineseOn, chinese, Bytes(72, 0), {0xFE, 0xA1}}), {}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(sameDots(render(cat({c.a, {LF}})), render(cat({c.b, {LF}}))), c.same);
    }
    // A user-defined Chinese pattern fills exactly its 24 x 24 cell.
    const auto full = render(cat({kChineseOn, chinese, Bytes(72, 0xFF), {0xFE, 0xA1, LF}}));
    EXPECT_EQ(bands(full), (std::vector<Box>{{0, 24, 0, 24}}));
    EXPECT_EQ(blackDots(full), 24 * 24);
}

TEST(Text, EachCharacterSetPrintsWhatItsPrinterPrints) {
    // Bytes printed under a character set against the intended text printed
    // under the default, GB18030 (bytes worked out with Python's codecs).
    // The box is U+20000, which the font lacks, in GB18030: 95 32 82 36.
    using escpos::Charset;
    const Bytes box = {0x95, 0x32, 0x82, 0x36};
    const struct {
        const char* name;
        std::optional<Charset> charset;  // none: the default
        Bytes printed, reference;
        bool same;
    } cases[] = {
        {"default: GB18030 four bytes (¥)",
         {},
         cat({kChineseOn, {0x81, 0x30, 0x84, 0x36}}),
         cat({kChineseOn, box, text("0"), box, text("6")}),
         false},
        {"GBK: 中文", Charset::kGbk, cat({kChineseOn, {0xD6, 0xD0, 0xCE, 0xC4}}),
         cat({kChineseOn, {0xD6, 0xD0, 0xCE, 0xC4}}), true},
        {"GBK: GB18030 four bytes are box 0 box 6", Charset::kGbk, cat({kChineseOn, {0x81, 0x30, 0x84, 0x36}}),
         cat({kChineseOn, box, text("0"), box, text("6")}), true},
        {"GBK: A2 E3 (€ only in GB18030) is a box", Charset::kGbk, cat({kChineseOn, {0xA2, 0xE3}}),
         cat({kChineseOn, box}), true},
        {"GBK: single bytes outside Chinese mode", Charset::kGbk, {0xD6, 0xD0}, {0xD6, 0xD0}, true},
        {"Big5: 臺費", Charset::kBig5, cat({kChineseOn, {0xBB, 0x4F, 0xB6, 0x4F}}),
         cat({kChineseOn, {0xC5, 0x5F, 0xD9, 0x4D}}), true},
        {"Big5: lead and a digit", Charset::kBig5, cat({kChineseOn, {0xA4, '0'}}), cat({kChineseOn, box, text("0")}),
         true},
        {"Big5: lead and 85h, printed as one byte", Charset::kBig5, cat({kChineseOn, {0xA4, 0x85}}),
         cat({kChineseOn, box, {FS, '.', 0x85}}), true},
        {"UTF-8: 台费35.50元 without FS &",
         Charset::kUtf8,
         {0xE5, 0x8F, 0xB0, 0xE8, 0xB4, 0xB9, '3', '5', '.', '5', '0', 0xE5, 0x85, 0x83},
         cat({kChineseOn, {0xCC, 0xA8, 0xB7, 0xD1}, text("35.50"), {0xD4, 0xAA}}),
         true},
        {"UTF-8: fullwidth （8折） in Chinese mode", Charset::kUtf8,
         cat({kChineseOn, {0xEF, 0xBC, 0x88, '8', 0xE6, 0x8A, 0x98, 0xEF, 0xBC, 0x89}}),
         cat({kChineseOn, {0xA3, 0xA8, '8', 0xD5, 0xDB, 0xA3, 0xA9}}), true},
        {"UTF-8: · (ambiguous width) is half-width", Charset::kUtf8, {0xC2, 0xB7}, {ESC, 't', 16, 0xB7}, true},
        {"FS ( C 48 2: UTF-8 on a GB18030 printer",
         {},
         {FS, '(', 'C', 2, 0, 48, 2, 0xE4, 0xB8, 0xAD, '1'},
         cat({kChineseOn, {0xD6, 0xD0}, text("1")}),
         true},
        {"FS ( C 48 1: back to GB18030",
         {},
         {FS, '(', 'C', 2, 0, 48, 2, FS, '(', 'C', 2, 0, 48, 1, FS, '&', 0xD6, 0xD0},
         cat({kChineseOn, {0xD6, 0xD0}}),
         true},
        {"ESC @ ends FS ( C 48 2",
         {},
         {FS, '(', 'C', 2, 0, 48, 2, ESC, '@', 0xE4, 0xB8, 0xAD},
         {0xE4, 0xB8, 0xAD},
         true},
        {"UTF-8 printer: FS ( C 48 1 keeps UTF-8",
         Charset::kUtf8,
         {FS, '(', 'C', 2, 0, 48, 1, 0xE4, 0xB8, 0xAD},
         cat({kChineseOn, {0xD6, 0xD0}}),
         true},
        {"UTF-8: a box per byte of a broken sequence",
         Charset::kUtf8,
         {0xE4, 0xB8, 'A', 0x80, 0xC0},
         cat({kChineseOn, box, box, text("A"), box, box}),
         true},
        {"UTF-8: the breaking byte starts afresh",
         Charset::kUtf8,
         {0xE4, 0xE4, 0xB8, 0xAD},
         cat({kChineseOn, box, {0xD6, 0xD0}}),
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        escpos::RendererOptions options{576, "", 100000};
        if (c.charset) options.charset = *c.charset;
        EXPECT_EQ(sameDots(render(cat({c.printed, {LF}}), options), render(cat({c.reference, {LF}}))), c.same);
    }
}

TEST(Text, CodePagesPrintTheirGraphicCharacters) {
    // Each byte 80h-FFh of each page printed alone against the box of a byte
    // of a page the printer lacks (ESC t 99): only the holes of Windows-1252
    // are boxes; the blanks (no-break spaces; A0h and FFh of the katakana
    // page) print nothing.
    const escpos::Paper box = render({ESC, 't', 99, 0x80, LF});
    struct Page {
        std::uint8_t page;
        std::vector<int> boxes, blanks;
    } pages[] = {
        {0, {}, {0xFF}},
        {1, {}, {0xA0, 0xFF}},
        {2, {}, {0xFF}},
        {3, {}, {0xFF}},
        {4, {}, {0xFF}},
        {5, {}, {0xFF}},
        {16, {0x81, 0x8D, 0x8F, 0x90, 0x9D}, {0xA0}},
        {17, {}, {0xFF}},
        {18, {}, {0xFF}},
        {19, {}, {0xFF}},
    };
    for (const auto& p : pages)
        for (int code = 0x80; code <= 0xFF; ++code) {
            SCOPED_TRACE(testing::Message() << "page " << int{p.page} << " byte " << std::hex << code);
            const auto paper = render({ESC, 't', p.page, static_cast<std::uint8_t>(code), LF});
            const bool isBox = std::ranges::count(p.boxes, code) != 0;
            const bool isBlank = std::ranges::count(p.blanks, code) != 0;
            EXPECT_EQ(sameDots(paper, box), isBox);
            if (isBlank) {
                EXPECT_EQ(blackDots(paper), 0);
            } else {
                EXPECT_GT(blackDots(paper), 0);
            }
        }
    // The katakana page against the same characters in UTF-8 (half-width
    // there too: box drawing, blocks and shapes are of ambiguous width).
    const struct {
        std::uint8_t code;
        Bytes utf8;
    } katakana[] = {
        {0x80, {0xE2, 0x96, 0x81}},  // lower one eighth block
        {0x8F, {0xE2, 0x94, 0xBC}},  // light cross
        {0x9F, {0xE2, 0x95, 0xAF}},  // arc up and left
        {0xB1, {0xEF, 0xBD, 0xB1}},  // half-width katakana a
        {0xE0, {0xE2, 0x95, 0x90}},  // double horizontal
        {0xE8, {0xE2, 0x99, 0xA0}},  // spade
        {0xEC, {0xE2, 0x97, 0x8F}},  // black circle
        {0xEF, {0xE2, 0x95, 0xB2}},  // diagonal
        {0xFE, {0xE2, 0x96, 0x93}},  // dark shade
    };
    escpos::RendererOptions utf8{576, "", 100000};
    utf8.charset = escpos::Charset::kUtf8;
    for (const auto& k : katakana) {
        SCOPED_TRACE(testing::Message() << "katakana byte " << std::hex << int{k.code});
        EXPECT_TRUE(sameDots(render({ESC, 't', 1, k.code, LF}), render(cat({k.utf8, {LF}}), utf8)));
    }
}

}  // namespace
