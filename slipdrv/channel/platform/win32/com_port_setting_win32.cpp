// Read from the process's environment block rather than the C runtime's copy,
// which misses what a host sets with SetEnvironmentVariable after start-up.
#include <windows.h>

#include <string>

#include "../../com_port.h"

namespace slipdrv {

std::string portSetting(const char* kind, int port) {
    const std::string name = std::string("SLIPDRV_") + kind + std::to_string(port);
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

namespace slipdrv {

// The system's own name of the port exists (a serial or parallel port driver
// made it); the port is not opened, so one in use elsewhere is listed too.
bool portDevicePresent(const char* kind, int port) {
    const std::string name = kind + std::to_string(port);
    char target[512];
    return QueryDosDeviceA(name.c_str(), target, sizeof target) != 0;
}

}  // namespace slipdrv
