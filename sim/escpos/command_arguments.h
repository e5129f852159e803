// The argument rules shared by the decoder, the listing and the renderer:
// selectors given as a number or as its digit character, ESC * modes, and
// the layouts of the FS q and ESC & payloads. Each rule is written here once.
// No platform code.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace escpos {

// A selector below `count`, given as n or as the character '0' + n; none for
// any other value.
constexpr std::optional<int> selector(std::uint32_t n, int count) {
    const auto limit = static_cast<std::uint32_t>(count);
    if (n < limit) return static_cast<int>(n);
    if (n >= '0' && n < '0' + limit) return static_cast<int>(n - '0');
    return std::nullopt;
}

// The magnification of GS v 0, GS / and FS p: selector 0-3, bit 0 doubling
// the width and bit 1 the height.
struct Scale {
    int x;
    int y;
};
constexpr std::optional<Scale> imageScale(std::uint32_t mode) {
    const auto m = selector(mode, 4);
    if (!m) return std::nullopt;
    return Scale{(*m & 1) ? 2 : 1, (*m & 2) ? 2 : 1};
}

// ESC * m: modes 0 and 1 send columns of one byte (8 dots), the others of
// three (24 dots); modes 0 and 32 are single density, each column printed
// two dots wide.
struct BitImageMode {
    std::size_t columnBytes;
    int scaleX;
};
constexpr BitImageMode bitImageMode(std::uint32_t m) {
    return {m <= 1 ? std::size_t{1} : 3, m == 0 || m == 32 ? 2 : 1};
}

// How far a walk over a payload of several parts got.
enum class Walk : std::uint8_t {
    kDone,       // every part was there; `end` is just past the last
    kShort,      // the bytes end inside a part; `end` is what is needed so far
    kOversized,  // the parts announce more than the limit; `end` is where that showed
};

struct WalkEnd {
    Walk status;
    std::uint64_t end;
};

inline std::uint32_t readLe16(const std::uint8_t* p) { return p[0] | std::uint32_t{p[1]} << 8; }

// FS q n: n images, each xL xH yL yH and then x * y * 8 bytes: x * 8 columns
// of y bytes, the top dot in bit 7. Calls each(x, y, columns) for each image
// complete within `bytes`.
template <typename Each>
WalkEnd walkNvImages(std::uint32_t count, std::span<const std::uint8_t> bytes, std::uint64_t limit, Each&& each) {
    std::uint64_t at = 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        if (at + 4 > bytes.size()) return {Walk::kShort, at + 4};
        const std::uint32_t x = readLe16(bytes.data() + at);
        const std::uint32_t y = readLe16(bytes.data() + at + 2);
        const std::uint64_t size = std::uint64_t{x} * y * 8;
        at += 4 + size;
        if (at > limit) return {Walk::kOversized, at};
        if (at > bytes.size()) return {Walk::kShort, at};
        each(x, y, bytes.subspan(static_cast<std::size_t>(at - size), static_cast<std::size_t>(size)));
    }
    return {Walk::kDone, at};
}

// ESC & y c1 c2: for each character code from c1 to c2 its width x and then
// x columns of y bytes. Calls each(code, x, columns) for each character
// complete within `bytes`.
template <typename Each>
WalkEnd walkUserCharacters(std::uint32_t columnBytes, std::uint32_t first, std::uint32_t last,
                           std::span<const std::uint8_t> bytes, Each&& each) {
    std::uint64_t at = 0;
    for (std::uint32_t code = first; code <= last; ++code) {
        if (at + 1 > bytes.size()) return {Walk::kShort, at + 1};
        const std::uint32_t width = bytes[static_cast<std::size_t>(at)];
        const std::uint64_t size = std::uint64_t{columnBytes} * width;
        at += 1 + size;
        if (at > bytes.size()) return {Walk::kShort, at};
        each(code, width, bytes.subspan(static_cast<std::size_t>(at - size), static_cast<std::size_t>(size)));
    }
    return {Walk::kDone, at};
}

}  // namespace escpos
