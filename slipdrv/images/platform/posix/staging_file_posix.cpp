#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "../../staging_file.h"

namespace slipdrv {

std::FILE* openStagingFile(const char* name, StagingAccess access, Sharing) {
    const bool create = access == StagingAccess::kCreate;
    // O_NOFOLLOW: a link is refused, so its target is never written. O_NONBLOCK:
    // a FIFO opens (or fails) at once instead of waiting for its other end.
    const int fd = ::open(name, (create ? O_WRONLY | O_CREAT : O_RDONLY) | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
    if (fd < 0) return nullptr;
    struct stat status;
    const int flags = ::fcntl(fd, F_GETFL);
    bool ordinary = ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && status.st_nlink == 1 && flags != -1 &&
                    ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0;
    // Emptied only now that it is known to be an ordinary file.
    if (ordinary && create) ordinary = ::ftruncate(fd, 0) == 0;
    std::FILE* file = ordinary ? ::fdopen(fd, create ? "wb" : "rb") : nullptr;
    if (!file) ::close(fd);
    return file;
}

}  // namespace slipdrv
