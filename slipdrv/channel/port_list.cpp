#include "port_list.h"

#include <climits>
#include <cstring>

namespace slipdrv {

int writePortList(std::span<const std::string> lines, char* buffer, int size) {
    if (!buffer || size <= 0 || lines.size() > INT_MAX) return -1;
    std::size_t needed = 1;  // the zero
    for (const auto& line : lines) needed += line.size() + 1;
    if (needed > static_cast<std::size_t>(size)) return -1;
    char* out = buffer;
    for (const auto& line : lines) {
        std::memcpy(out, line.data(), line.size());
        out += line.size();
        *out++ = '\n';
    }
    *out = '\0';
    return static_cast<int>(lines.size());
}

}  // namespace slipdrv
