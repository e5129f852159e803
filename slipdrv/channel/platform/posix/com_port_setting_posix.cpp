#include <cstdlib>
#include <string>

#include "../../com_port.h"

namespace slipdrv {

std::string comPortSetting(int port) {
    const std::string name = "SLIPDRV_COM" + std::to_string(port);
    // Only setenv races with getenv, and the kit never sets the environment.
    const char* value = std::getenv(name.c_str());  // NOLINT(concurrency-mt-unsafe)
    return value ? value : "";
}

}  // namespace slipdrv
