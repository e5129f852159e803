#include <sys/stat.h>

#include <cstdlib>
#include <string>

#include "../../com_port.h"
#include "common/platform/posix/device_path.h"

namespace slipdrv {

std::string portSetting(const char* kind, int port) {
    const std::string name = std::string("SLIPDRV_") + kind + std::to_string(port);
    // Only setenv races with getenv, and the kit never sets the environment.
    const char* value = std::getenv(name.c_str());  // NOLINT(concurrency-mt-unsafe)
    return value ? value : "";
}

// The device the port opens exists: the path its variable holds, or the
// system's own (/dev/ttyS<n-1>, /dev/lp<n-1>). It is not opened.
bool portDevicePresent(const char* kind, int port) {
    const bool serial = std::string_view(kind) == "COM";
    const std::string path =
        kit::devicePath(serial ? "SLIPDRV_COM" : "SLIPDRV_LPT", serial ? "/dev/ttyS" : "/dev/lp", port);
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 && S_ISCHR(status.st_mode);
}

}  // namespace slipdrv
