// The staging files of the bit-image exports, opened with the sharing each
// step allows other openers of the same name (Windows enforces it; Linux has
// no such modes and opens the file plainly).
#pragma once

#include <cstdio>

namespace slipdrv {

enum class Sharing {
    kNone,     // nobody else may open the file meanwhile
    kReading,  // others may open it for reading
    kWriting,  // others may open it for writing
};

// std::fopen with `mode` and the sharing asked for; null when it fails.
std::FILE* openStagingFile(const char* name, const char* mode, Sharing sharing);

}  // namespace slipdrv
