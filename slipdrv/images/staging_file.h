// The staging files of the bit-image exports, opened with the sharing each
// step allows other openers of the same name (Windows enforces it; Linux has
// no such modes). Only an ordinary file is used: never a link, a file with a
// second name, a directory, a FIFO or a device, and opening never waits.
#pragma once

#include <cstdio>

namespace slipdrv {

enum class Sharing {
    kNone,     // nobody else may open the file meanwhile
    kReading,  // others may open it for reading
    kWriting,  // others may open it for writing
};

enum class StagingAccess {
    kCreate,  // created when missing (mode 0644 less the umask on Linux), emptied, opened for writing
    kRead,    // an existing file, opened for reading
};

// The file named `name`, or null when it cannot be opened so.
std::FILE* openStagingFile(const char* name, StagingAccess access, Sharing sharing);

}  // namespace slipdrv
