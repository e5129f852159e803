// The command table: one row per command, its prefix bytes, argument layout,
// payload shape and meaning template. Internal to the decoder.
#pragma once

#include <cstdint>
#include <string_view>

#include "escpos_decoder.h"

namespace escpos {

// How the bytes after the arguments are measured.
enum class Payload : std::uint8_t {
    kNone,
    kFixed,           // `limit` bytes
    kUntilNul,        // up to a NUL (not part of the payload), within `limit` bytes
    kLength,          // the last argument counts the payload bytes
    kBitImage,        // ESC * m n: n columns of 1 byte (modes 0 and 1) or 3 bytes (the others)
    kRasterImage,     // GS v 0 m x y: x * y bytes
    kDownloadImage,   // GS * x y: x * y * 8 bytes
    kBarcode,         // GS k m: data up to NUL (m 0-8), or n then n bytes (m 65-75)
    kCut,             // GS V m: one more argument for the cuts with a feed
    kPulse,           // DLE DC4 fn: two more arguments, or 7 fixed bytes for fn 8
    kNvImages,        // FS q n: n times x y (16 bits each) and x * y * 8 bytes
    kUserCharacters,  // ESC & y c1 c2: c2 - c1 + 1 times x and y * x bytes
};

struct CommandRow {
    std::uint8_t prefix[3];
    std::uint8_t prefixLength;
    Kind kind;
    const char* mnemonic;
    // One letter per argument: b a byte, w two bytes (low first), d four bytes.
    const char* layout;
    Payload payload;
    std::uint32_t limit;
    // The meaning, with {tokens} filled in from the command (see meaning.cpp).
    const char* meaning;
};

// The row a stream starting with `lead` (and the bytes after it) may match:
// rows sharing their first two prefix bytes are adjacent, so the caller walks
// on from the row returned while the two bytes still match.
const CommandRow* rowsForSingle(std::uint8_t lead);
const CommandRow* rowsForPair(std::uint8_t lead, std::uint8_t second);
const CommandRow* rowsEnd();
bool isLeadByte(std::uint8_t b);  // ESC, GS, FS and DLE start two-byte commands
std::string_view leadName(std::uint8_t b);

// Pseudo-rows of the items that are not table commands.
extern const CommandRow kTextRow;
extern const CommandRow kUnknownRow;

}  // namespace escpos
