#include "bill_row.h"

#include <array>

namespace slipdrv {
namespace {

constexpr std::uint8_t kBlank = 0x20;
constexpr std::uint8_t kTab = 0x09;
constexpr std::uint8_t kLineFeed = 0x0A;
constexpr std::uint8_t kFs = 0x1C;

struct Cell {
    int width = 0;
    char align = 'L';
};

struct Layout {
    std::array<Cell, kMostCells> cells;
    std::size_t count = 0;
};

// "20L,12R": 1-16 items of a width 1-255 without leading zeros and a letter.
std::optional<Layout> parseLayout(std::string_view text) {
    Layout layout;
    std::size_t at = 0;
    while (true) {
        if (layout.count == kMostCells) return std::nullopt;
        int width = 0;
        std::size_t digits = 0;
        while (at < text.size() && text[at] >= '0' && text[at] <= '9' && digits < 4) {
            if (digits == 0 && text[at] == '0') return std::nullopt;
            width = width * 10 + (text[at++] - '0');
            ++digits;
        }
        if (digits == 0 || width > 255 || at == text.size()) return std::nullopt;
        const char align = text[at++];
        if (align != 'L' && align != 'C' && align != 'R') return std::nullopt;
        layout.cells[layout.count++] = {width, align};
        if (at == text.size()) return layout;
        if (text[at++] != ',') return std::nullopt;
    }
}

// One character of a text as it is sent.
struct Glyph {
    std::uint32_t offset;  // of its bytes in the row's conversion buffer
    std::uint8_t length;
    std::uint8_t width;
    bool blank;
};

// A run of glyphs [begin, end) and its width.
struct Piece {
    std::size_t begin;
    std::size_t end;
    int width;
};

// Converts one text; false when it cannot be printed in a cell.
bool convertText(std::string_view text, TextEncoding encoding, std::vector<std::uint8_t>& bytes,
                 std::vector<Glyph>& glyphs) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const auto* const end = p + text.size();
    while (p != end) {
        const char32_t cp = decodeUtf8(p, end);
        // A control character would move the print position or start a command.
        if (cp == kMalformed || cp < 0x20 || cp == 0x7F) return false;
        const std::size_t offset = bytes.size();
        if (!appendCharacter(cp, encoding, bytes)) return false;
        const auto length = static_cast<std::uint8_t>(bytes.size() - offset);
        const bool wide = encoding == TextEncoding::kUtf8 ? isWide(cp) : length > 1;
        glyphs.push_back({static_cast<std::uint32_t>(offset), length, static_cast<std::uint8_t>(wide ? 2 : 1),
                          length == 1 && bytes[offset] == kBlank});
    }
    return true;
}

int widthOf(const std::vector<Glyph>& glyphs, std::size_t begin, std::size_t end) {
    int width = 0;
    for (std::size_t i = begin; i < end; ++i) width += glyphs[i].width;
    return width;
}

// The pieces of the glyphs [begin, end) on the lines of a cell `width`
// columns wide; nothing when a character is wider than the cell.
std::optional<std::vector<Piece>> wrap(const std::vector<Glyph>& g, std::size_t begin, std::size_t end, int width) {
    std::vector<Piece> pieces;
    std::size_t start = begin;
    while (true) {
        const int rest = widthOf(g, start, end);
        // What fits is kept as it is, blanks included; an empty text is one empty piece.
        if (rest <= width) {
            if (start < end || pieces.empty()) pieces.push_back({start, end, rest});
            return pieces;
        }
        // The longest line that ends at a break, and failing that the longest that fits.
        std::size_t atBreak = start;
        int breakWidth = 0;
        std::size_t fitting = start;
        int fittingWidth = 0;
        int sum = 0;
        int shown = 0;  // the width without the blanks at the end
        for (std::size_t k = start + 1; k <= end; ++k) {
            const Glyph& last = g[k - 1];
            sum += last.width;
            if (!last.blank) shown = sum;
            if (shown > width) break;
            if (sum <= width) {
                fitting = k;
                fittingWidth = shown;
            }
            const bool breaks = k < end && (last.blank || g[k].blank || (last.width == 2 && g[k].width == 2));
            if (breaks && shown > 0) {
                atBreak = k;
                breakWidth = shown;
            }
        }
        const std::size_t cut = atBreak != start ? atBreak : fitting;
        if (cut == start) return std::nullopt;
        std::size_t shownEnd = cut;
        while (shownEnd > start && g[shownEnd - 1].blank) --shownEnd;
        pieces.push_back({start, shownEnd, atBreak != start ? breakWidth : fittingWidth});
        start = cut;
        while (start < end && g[start].blank) ++start;
        if (start == end) return pieces;
    }
}

void appendBlanks(std::vector<std::uint8_t>& out, int count) { out.insert(out.end(), count, kBlank); }

}  // namespace

std::optional<BillRow> layOutRow(std::string_view cells, std::string_view layoutText, TextEncoding encoding,
                                 ChineseMode modeBefore, std::size_t maxLength) {
    const auto layout = parseLayout(layoutText);
    if (!layout) return std::nullopt;

    // Every text converted into one buffer; each cell's pieces index its glyphs.
    std::vector<std::uint8_t> converted;
    std::vector<Glyph> glyphs;
    std::array<std::vector<Piece>, kMostCells> pieces;
    std::size_t textCount = 0;
    std::size_t lines = 0;
    std::size_t at = 0;
    while (true) {
        const std::size_t tab = cells.find(static_cast<char>(kTab), at);
        const std::string_view text = cells.substr(at, tab == std::string_view::npos ? cells.size() - at : tab - at);
        if (textCount == layout->count) return std::nullopt;
        const std::size_t first = glyphs.size();
        if (!convertText(text, encoding, converted, glyphs)) return std::nullopt;
        auto wrapped = wrap(glyphs, first, glyphs.size(), layout->cells[textCount].width);
        if (!wrapped) return std::nullopt;
        lines = std::max(lines, wrapped->size());
        pieces[textCount++] = std::move(*wrapped);
        if (tab == std::string_view::npos) break;
        at = tab + 1;
    }
    if (textCount != layout->count) return std::nullopt;

    BillRow row{{}, modeBefore};
    for (std::size_t line = 0; line < lines; ++line) {
        const std::size_t lineStart = row.bytes.size();
        bool multiByte = false;
        for (std::size_t c = 0; c < layout->count; ++c) {
            const Cell& cell = layout->cells[c];
            if (line >= pieces[c].size()) {
                appendBlanks(row.bytes, cell.width);
                continue;
            }
            const Piece& piece = pieces[c][line];
            const int space = cell.width - piece.width;
            const int before = cell.align == 'L' ? 0 : cell.align == 'R' ? space : space / 2;
            appendBlanks(row.bytes, before);
            for (std::size_t i = piece.begin; i < piece.end; ++i) {
                const Glyph& glyph = glyphs[i];
                multiByte = multiByte || glyph.length > 1;
                row.bytes.insert(row.bytes.end(), converted.begin() + glyph.offset,
                                 converted.begin() + glyph.offset + glyph.length);
            }
            appendBlanks(row.bytes, space - before);
        }
        row.bytes.push_back(kLineFeed);
        // One-byte characters print the same in either mode, so only lines
        // with multi-byte ones need it on.
        if (multiByte && row.modeAfter != ChineseMode::kOn) {
            const std::uint8_t select[] = {kFs, '&'};
            row.bytes.insert(row.bytes.begin() + static_cast<std::ptrdiff_t>(lineStart), select, select + 2);
            row.modeAfter = ChineseMode::kOn;
        }
        if (row.bytes.size() > maxLength) return std::nullopt;
    }
    if (modeBefore == ChineseMode::kOff && row.modeAfter == ChineseMode::kOn) {
        row.bytes.insert(row.bytes.end(), {kFs, '.'});
        row.modeAfter = ChineseMode::kOff;
    }
    if (row.bytes.size() > maxLength) return std::nullopt;
    return row;
}

}  // namespace slipdrv
