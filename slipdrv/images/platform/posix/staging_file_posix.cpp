#include "../../staging_file.h"

namespace slipdrv {

std::FILE* openStagingFile(const char* name, const char* mode, Sharing) { return std::fopen(name, mode); }

}  // namespace slipdrv
