// The UTF-8 to GB18030 tables, generated at build time from the build
// machine's iconv by table_generator/gb18030_table_gen.cpp; read by gb18030.cpp.
#pragma once

#include <cstddef>
#include <cstdint>

namespace slipdrv::gb18030 {

// A private-use code point the build machine's iconv gives no code.
constexpr std::uint16_t kNoCode = 0xFFFF;

// The two-byte code of a basic-plane code point cp, first byte in the high
// half, is kTwoByteCodes[kTwoBytePage[cp >> 8]][cp & 0xFF]; 0 when its code
// has four bytes (or one: ASCII).
extern const std::uint8_t kTwoBytePage[256];
extern const std::uint16_t kTwoByteCodes[][256];

// Consecutive basic-plane code points with consecutive four-byte codes; the
// index counts four-byte codes from 81 30 81 30. Sorted by code point; a run
// ends where the next begins.
struct FourByteRun {
    std::uint16_t firstCodePoint;
    std::uint16_t firstIndex;
};
extern const FourByteRun kFourByteRuns[];
extern const std::size_t kFourByteRunCount;

// Code points above the basic plane with a two-byte code, sorted; every
// other one has the four-byte code of index 189000 + (cp - 0x10000).
struct SupplementaryTwoByte {
    std::uint32_t codePoint;
    std::uint16_t code;
};
extern const SupplementaryTwoByte kSupplementaryTwoByte[];
extern const std::size_t kSupplementaryTwoByteCount;

}  // namespace slipdrv::gb18030
