#include <share.h>
#include <stdio.h>

#include "../../staging_file.h"

namespace slipdrv {

std::FILE* openStagingFile(const char* name, const char* mode, Sharing sharing) {
    const int deny = sharing == Sharing::kNone ? _SH_DENYRW : sharing == Sharing::kReading ? _SH_DENYWR : _SH_DENYRD;
    return _fsopen(name, mode, deny);
}

}  // namespace slipdrv
