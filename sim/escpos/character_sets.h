// The printer's character encodings mapped to Unicode: the single-byte code
// pages that ESC t selects (code_pages.h says which come from iconv and which
// are written out), and, through iconv, the multi-byte characters of the
// printer's Chinese character set (GB18030, GBK, Big5 or UTF-8). No platform
// code.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string_view>

namespace escpos {

// The character set a printer holds for text beyond its code pages. GB18030
// has two- and four-byte codes, GBK and Big5 two-byte codes only; these three
// are read in Chinese mode (FS &). A printer set to UTF-8 reads UTF-8 whether
// Chinese mode is on or not.
enum class Charset : std::uint8_t { kGb18030, kGbk, kBig5, kUtf8 };

// The character set a command line names: gb18030, gbk, big5 or utf8.
std::optional<Charset> charsetNamed(std::string_view name);

// What the bytes so far of a multi-byte character of `charset` need: 0 when
// they cannot start or continue one, else the length of the whole character.
int sequenceLength(Charset charset, std::span<const std::uint8_t> start);

class CharacterSets {
public:
    CharacterSets();
    ~CharacterSets();
    CharacterSets(const CharacterSets&) = delete;
    CharacterSets& operator=(const CharacterSets&) = delete;

    // The character of `code` in the code page ESC t `page` selects: bytes
    // below 80h are ASCII in every page; 0 where the page has no character,
    // for pages the printer does not have, and for the user page (255).
    char32_t singleByte(std::uint32_t page, std::uint8_t code);
    // The character a complete sequence of `charset` encodes; 0 if none (a
    // two-byte code the set leaves empty).
    char32_t multiByte(Charset charset, std::span<const std::uint8_t> sequence);

private:
    using Table = std::array<char32_t, 128>;
    const Table* table(std::uint32_t number);

    std::map<std::uint32_t, Table> tables_;  // made on first use of each page
    std::array<void*, 4> multiByte_{};       // iconv descriptors by Charset, once opened
};

}  // namespace escpos
