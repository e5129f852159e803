// The code pages ESC t selects, as the printer holds them: the pages that are
// plain IBM and Windows code pages are read from iconv's tables, which hold
// their graphic characters; the katakana page, whose box drawing, blocks,
// card suits and kanji iconv has no table for, is written out here. No
// platform code.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace escpos {

// Characters 80h-FFh of a page; 0 where the page has none.
using CodePageTable = std::array<char32_t, 128>;

// What a page is made from: the iconv name of its encoding, or a table of
// its own. Nullopt for pages the printer does not have.
struct CodePage {
    std::string_view iconvName;    // empty for a written table
    const CodePageTable* written;  // null for an iconv page
};
std::optional<CodePage> codePage(std::uint32_t page);

}  // namespace escpos
