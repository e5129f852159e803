#include "common/platform/posix/device_path.h"

#include <cstdlib>

namespace kit {

std::string devicePath(const char* variablePrefix, const char* defaultPrefix, int port) {
    const std::string variable = variablePrefix + std::to_string(port);
    // Only setenv races with getenv, and the kit never sets the environment.
    if (const char* value = std::getenv(variable.c_str()); value && *value)  // NOLINT(concurrency-mt-unsafe)
        return value;
    return defaultPrefix + std::to_string(static_cast<long long>(port) - 1);
}

}  // namespace kit
