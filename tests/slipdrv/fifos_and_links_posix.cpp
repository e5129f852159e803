#include <sys/stat.h>
#include <unistd.h>

#include "fifos_and_links.h"

namespace slipdrv::testing {

bool makeFifo(const std::string& name) {
    ::unlink(name.c_str());
    return ::mkfifo(name.c_str(), 0600) == 0;
}
bool makeSymlink(const std::string& target, const std::string& name) {
    return ::symlink(target.c_str(), name.c_str()) == 0;
}
void removeFile(const std::string& name) { ::unlink(name.c_str()); }

}  // namespace slipdrv::testing
