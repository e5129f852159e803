#include "native_path.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "common/utf.h"

namespace vocalcue {

std::string nativePath(std::u16string_view path) {
    std::string out = kit::utf16ToUtf8(path);
    std::replace(out.begin(), out.end(), '\\', '/');
    return out;
}

int openRegularFile(std::u16string_view path) {
    // Without O_NONBLOCK opening a FIFO waits for a writer. The type is checked on
    // the open descriptor, so what is read is what was checked.
    const int fd = ::open(nativePath(path).c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return -1;
    struct stat info {};
    // Reads of the regular file then wait for data as usual.
    if (::fstat(fd, &info) < 0 || !S_ISREG(info.st_mode) || ::fcntl(fd, F_SETFL, 0) < 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

}  // namespace vocalcue
