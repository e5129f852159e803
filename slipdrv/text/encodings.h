// UTF-8 text in the character sets Chinese receipt printers print: GB18030,
// GBK, Big5, or UTF-8 itself. One conversion for every platform, from tables
// generated at build time, so the bytes do not depend on the code pages of
// the system the library runs on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace slipdrv {

// The values are BPSetTextEncoding's.
enum class TextEncoding : int { kGb18030 = 0, kGbk = 1, kBig5 = 2, kUtf8 = 3 };

// Not a scalar value: what decodeUtf8 gives for a malformed sequence.
inline constexpr char32_t kMalformed = 0xFFFFFFFF;

// Decodes the character at `p` (before `end`), moving `p` past it; kMalformed
// when the sequence is not the shortest form of a scalar value (overlong
// forms, surrogates, code points above U+10FFFF, truncated sequences, stray
// continuation bytes).
char32_t decodeUtf8(const unsigned char*& p, const unsigned char* end);

// Appends what `cp` is sent as in `encoding`, ASCII unchanged. GBK and Big5
// send a character they lack as a replacement that reads the same or as '?';
// false only for the code points GB18030 has no code for.
bool appendCharacter(char32_t cp, TextEncoding encoding, std::vector<std::uint8_t>& out);

// Whether `cp` is East Asian wide or full-width: two columns on a printer set to UTF-8.
bool isWide(char32_t cp);

// `text` in `encoding`. Nothing when the text is not well-formed UTF-8,
// holds a character appendCharacter refuses, or its form would be longer
// than `maxLength` bytes. Throws std::bad_alloc when the result cannot be held.
std::optional<std::vector<std::uint8_t>> convertUtf8(std::string_view text, TextEncoding encoding,
                                                     std::size_t maxLength);

}  // namespace slipdrv
