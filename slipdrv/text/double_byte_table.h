// The UTF-8 to GBK and Big5 tables, generated at build time from the build
// machine's iconv, the library's replacement list and the Simplified to
// Traditional character list by table_generator/double_byte_table_gen.cpp.
#pragma once

#include <cstdint>

namespace slipdrv::double_byte {

// What a basic-plane code point is sent as: 0 nothing the set has (it goes
// out as '?'); below 80h the ASCII character sent in its place; else the
// two-byte code, first byte in the high half. The value of cp is
// codes[page[cp >> 8]][cp & 0xFF].
struct Table {
    const std::uint8_t* page;
    const std::uint16_t (*codes)[256];

    std::uint16_t at(char32_t cp) const { return codes[page[cp >> 8]][cp & 0xFF]; }
};

extern const Table kGbk;
extern const Table kBig5;

}  // namespace slipdrv::double_byte
