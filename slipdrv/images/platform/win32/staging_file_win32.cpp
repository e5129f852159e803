#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdint>

#include "../../staging_file.h"

namespace slipdrv {

std::FILE* openStagingFile(const char* name, StagingAccess access, Sharing sharing) {
    const bool create = access == StagingAccess::kCreate;
    const DWORD share = sharing == Sharing::kNone      ? 0
                        : sharing == Sharing::kReading ? FILE_SHARE_READ
                                                       : FILE_SHARE_WRITE;
    // The link itself is opened (and refused below), never what it points to;
    // an existing file is emptied only once it is known to be an ordinary one.
    HANDLE handle =
        CreateFileA(name, create ? GENERIC_WRITE : GENERIC_READ, share, nullptr, create ? OPEN_ALWAYS : OPEN_EXISTING,
                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return nullptr;
    BY_HANDLE_FILE_INFORMATION info;
    bool ordinary = GetFileType(handle) == FILE_TYPE_DISK && GetFileInformationByHandle(handle, &info) &&
                    !(info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) &&
                    info.nNumberOfLinks == 1;
    if (ordinary && create) ordinary = SetEndOfFile(handle) != 0;
    const int fd = ordinary ? _open_osfhandle(reinterpret_cast<std::intptr_t>(handle),
                                              create ? _O_WRONLY | _O_BINARY : _O_RDONLY | _O_BINARY)
                            : -1;
    if (fd == -1) {
        CloseHandle(handle);
        return nullptr;
    }
    std::FILE* file = _fdopen(fd, create ? "wb" : "rb");
    if (!file) _close(fd);  // closes the handle too
    return file;
}

}  // namespace slipdrv
