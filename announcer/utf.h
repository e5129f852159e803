// Conversions between UTF-8 (Linux command lines and file names) and the
// UTF-16 code units the announcer works in. Malformed input becomes U+FFFD.
#pragma once

#include <string>
#include <string_view>

namespace vocalcue {

std::u16string utf8ToUtf16(std::string_view in);
std::string utf16ToUtf8(std::u16string_view in);

}  // namespace vocalcue
