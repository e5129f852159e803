// The printer's character encodings mapped to Unicode through iconv: the
// single-byte code pages that ESC t selects, and GB18030 characters of two or
// four bytes. No platform code.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <span>

namespace escpos {

// What the bytes so far of a GB18030 character need: 0 when they cannot
// start or continue one, else the length of the whole character (2 or 4).
int gb18030Length(std::span<const std::uint8_t> start);

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
    // The character a complete GB18030 sequence encodes; 0 if none.
    char32_t gb18030(std::span<const std::uint8_t> sequence);

private:
    using Table = std::array<char32_t, 128>;
    const Table* table(std::uint32_t page);

    std::map<std::uint32_t, Table> tables_;  // made on first use of each page
    void* gb18030_ = nullptr;                // the iconv descriptor, once opened
};

}  // namespace escpos
