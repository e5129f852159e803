// A simple export as data: which argument values it accepts, the bytes it
// sends and its parallel time-out. One code path checks, builds and sends.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>

namespace slipdrv {

// The control bytes that start or make up commands, named as the protocol
// writes them, so a row reads like its command: {ESC, '3', kArg1} is ESC 3 n.
constexpr std::uint8_t EOT = 0x04, ENQ = 0x05, HT = 0x09, LF = 0x0A, FF = 0x0C, CR = 0x0D, DLE = 0x10, CAN = 0x18,
                       ESC = 0x1B, FS = 0x1C, GS = 0x1D;

// The parallel time-out of most commands.
constexpr int kCommandTimeoutMs = 3000;

// The accepted values of one argument: up to three closed ranges, tested on
// the whole 32-bit value.
struct Accepted {
    struct Range {
        std::int32_t low;
        std::int32_t high;
    };
    std::array<Range, 3> ranges{};
    std::size_t count = 0;

    constexpr bool contains(std::int32_t value) const {
        for (std::size_t i = 0; i < count; ++i)
            if (value >= ranges[i].low && value <= ranges[i].high) return true;
        return false;
    }
};

constexpr Accepted values(std::initializer_list<Accepted::Range> ranges) {
    Accepted accepted;
    for (const auto& r : ranges) accepted.ranges[accepted.count++] = r;
    return accepted;
}
constexpr Accepted kAnyByte = values({{0, 255}});
// Off or on, as a number or as the digit's character.
constexpr Accepted kZeroOneOrAscii = values({{0, 1}, {48, 49}});

// In a byte template, these stand for the low 8 bits of the first and second argument.
constexpr std::int16_t kArg1 = -1;
constexpr std::int16_t kArg2 = -2;

// The export a row serves is the function that sends it; its name and
// ordinal are in the export table (exports.txt).
struct CommandRow {
    std::size_t argumentCount;
    std::array<Accepted, 2> accepted;
    std::array<std::int16_t, 8> bytes;
    std::size_t length;
    int parallelTimeoutMs;
};

constexpr CommandRow row(std::initializer_list<Accepted> accepted, std::initializer_list<std::int16_t> bytes,
                         int parallelTimeoutMs) {
    CommandRow r{0, {}, {}, 0, parallelTimeoutMs};
    for (const auto& a : accepted) r.accepted[r.argumentCount++] = a;
    for (const auto b : bytes) r.bytes[r.length++] = b;
    return r;
}

// Tests the arguments in order (the first refused one gives -1 and nothing is
// sent), builds the bytes and sends them: 0 when sent, -1 otherwise.
int sendCommand(const CommandRow& row, std::int32_t first = 0, std::int32_t second = 0);

// The low 8 bits of an argument, the byte a command carries.
constexpr std::uint8_t low8(std::int32_t value) { return static_cast<std::uint8_t>(value & 0xFF); }

}  // namespace slipdrv
