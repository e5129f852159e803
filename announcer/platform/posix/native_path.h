// The announcer's paths use backslash separators; Linux needs slashes and UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace vocalcue {

std::string nativePath(std::u16string_view path);

}  // namespace vocalcue
