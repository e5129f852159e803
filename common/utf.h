// Conversions between UTF-8 (Linux command lines, file names and C strings)
// and the UTF-16 code units the deliverables count in. Each malformed piece
// (a broken or overlong sequence, a stray byte, a lone surrogate) becomes
// one U+FFFD.
#pragma once

#include <string>
#include <string_view>

namespace kit {

std::u16string utf8ToUtf16(std::string_view in);
std::string utf16ToUtf8(std::u16string_view in);

}  // namespace kit
