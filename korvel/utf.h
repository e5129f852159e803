// UTF-8 <-> UTF-16 for the Linux interfaces; the form counts UTF-16 code
// units as the automation interface does. Invalid input becomes U+FFFD.
#pragma once

#include <string>

namespace korvel {

std::u16string utf8ToUtf16(const std::string& text);
std::string utf16ToUtf8(const std::u16string& text);

}  // namespace korvel
