#include "command_row.h"

#include "port_control.h"

namespace slipdrv {

int sendCommand(const CommandRow& row, std::int32_t first, std::int32_t second) {
    const std::int32_t arguments[2] = {first, second};
    for (std::size_t i = 0; i < row.argumentCount; ++i)
        if (!row.accepted[i].contains(arguments[i])) return -1;
    std::array<std::uint8_t, 8> command{};
    for (std::size_t i = 0; i < row.length; ++i) {
        const std::int16_t b = row.bytes[i];
        command[i] = b == kArg1 ? low8(first) : b == kArg2 ? low8(second) : static_cast<std::uint8_t>(b);
    }
    return ChannelWrite(command.data(), static_cast<int>(row.length), row.parallelTimeoutMs);
}

}  // namespace slipdrv
