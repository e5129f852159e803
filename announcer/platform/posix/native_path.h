// The announcer's paths use backslash separators; Linux needs slashes and UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace vocalcue {

std::string nativePath(std::u16string_view path);

// Opens the announcer's path for reading: a descriptor, or -1 when the path
// cannot be opened or is not a regular file (a FIFO, a device, a directory).
int openRegularFile(std::u16string_view path);

}  // namespace vocalcue
