#include "character_sets.h"

#include <iconv.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>

namespace escpos {
namespace {

// ESC t page numbers and the iconv names of their encodings. The katakana page
// is the single-byte half of Shift JIS.
constexpr std::pair<std::uint32_t, std::string_view> kPages[] = {
    {0, "CP437"}, {1, "SHIFT_JIS"}, {2, "CP850"},  {3, "CP860"},  {4, "CP863"},
    {5, "CP865"}, {16, "CP1252"},   {17, "CP866"}, {18, "CP852"}, {19, "CP858"},
};

const auto kNoDescriptor = reinterpret_cast<iconv_t>(-1);  // NOLINT(performance-no-int-to-ptr): iconv's error value

// One character converted to UTF-32 (little-endian); 0 when it has none.
char32_t convert(iconv_t descriptor, std::span<const std::uint8_t> bytes) {
    char in[4];
    std::memcpy(in, bytes.data(), std::min(bytes.size(), sizeof in));
    unsigned char out[8];
    char* inAt = in;
    auto* outAt = reinterpret_cast<char*>(out);
    std::size_t inLeft = std::min(bytes.size(), sizeof in);
    std::size_t outLeft = sizeof out;
    iconv(descriptor, nullptr, nullptr, nullptr, nullptr);
    if (iconv(descriptor, &inAt, &inLeft, &outAt, &outLeft) == static_cast<std::size_t>(-1) || inLeft != 0 ||
        outLeft != sizeof out - 4)
        return 0;
    return out[0] | char32_t{out[1]} << 8 | char32_t{out[2]} << 16 | char32_t{out[3]} << 24;
}

}  // namespace

int gb18030Length(std::span<const std::uint8_t> start) {
    const auto in = [](std::uint8_t b, int low, int high) { return b >= low && b <= high; };
    if (start.empty() || !in(start[0], 0x81, 0xFE)) return 0;
    if (start.size() == 1) return 2;
    if (in(start[1], 0x30, 0x39)) {
        if (start.size() >= 3 && !in(start[2], 0x81, 0xFE)) return 0;
        if (start.size() >= 4 && !in(start[3], 0x30, 0x39)) return 0;
        return 4;
    }
    return in(start[1], 0x40, 0x7E) || in(start[1], 0x80, 0xFE) ? 2 : 0;
}

CharacterSets::CharacterSets() = default;

CharacterSets::~CharacterSets() {
    if (gb18030_) iconv_close(static_cast<iconv_t>(gb18030_));
}

const CharacterSets::Table* CharacterSets::table(std::uint32_t page) {
    if (const auto found = tables_.find(page); found != tables_.end()) return &found->second;
    for (const auto& [number, name] : kPages) {
        if (number != page) continue;
        Table table{};
        const iconv_t descriptor = iconv_open("UTF-32LE", std::string(name).c_str());
        if (descriptor != kNoDescriptor) {
            for (std::size_t i = 0; i < table.size(); ++i) {
                const auto byte = static_cast<std::uint8_t>(0x80 + i);
                table[i] = convert(descriptor, std::span(&byte, 1));
            }
            iconv_close(descriptor);
        }
        return &tables_.emplace(page, table).first->second;
    }
    return nullptr;
}

char32_t CharacterSets::singleByte(std::uint32_t page, std::uint8_t code) {
    if (code < 0x80) return code;
    const Table* found = table(page);
    return found ? (*found)[code - 0x80] : 0;
}

char32_t CharacterSets::gb18030(std::span<const std::uint8_t> sequence) {
    if (sequence.size() != 2 && sequence.size() != 4) return 0;
    if (!gb18030_) {
        const iconv_t descriptor = iconv_open("UTF-32LE", "GB18030");
        if (descriptor == kNoDescriptor) return 0;
        gb18030_ = descriptor;
    }
    return convert(static_cast<iconv_t>(gb18030_), sequence);
}

}  // namespace escpos
