// Read from the process's environment block rather than the C runtime's copy,
// which misses what a host sets with SetEnvironmentVariable after start-up.
#include <windows.h>

#include <string>

#include "../../com_port.h"

namespace slipdrv {

std::string comPortSetting(int port) {
    const std::string name = "SLIPDRV_COM" + std::to_string(port);
    std::string value(256, '\0');
    for (;;) {
        const DWORD length = GetEnvironmentVariableA(name.c_str(), value.data(), static_cast<DWORD>(value.size()));
        if (length == 0) return {};
        if (length < value.size()) {
            value.resize(length);
            return value;
        }
        value.resize(length);  // too small: the length asked for includes the terminator
    }
}

}  // namespace slipdrv
