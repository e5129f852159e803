// UTF-8 text to GB18030, the encoding of the printer's Chinese mode (see
// encodings.h for the other character sets).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace slipdrv {

// Appends the GB18030 code of a scalar value; false when it has none.
bool appendGb18030(char32_t cp, std::vector<std::uint8_t>& out);

// The GB18030 form of `text`, ASCII unchanged, as convertUtf8 gives it.
std::optional<std::vector<std::uint8_t>> utf8ToGb18030(std::string_view text, std::size_t maxLength);

}  // namespace slipdrv
