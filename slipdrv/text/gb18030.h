// UTF-8 text to GB18030, the encoding of the printer's Chinese mode: one
// conversion for every platform, from tables generated at build time, so the
// bytes do not depend on the code pages of the system the library runs on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace slipdrv {

// The GB18030 form of `text`, ASCII unchanged. Nothing when the text is not
// well-formed UTF-8 (overlong forms, surrogates, code points above U+10FFFF,
// truncated sequences, stray continuation bytes), holds a code point without
// a code, or its form would be longer than `maxLength` bytes. Throws
// std::bad_alloc when the result cannot be held.
std::optional<std::vector<std::uint8_t>> utf8ToGb18030(std::string_view text, std::size_t maxLength);

}  // namespace slipdrv
