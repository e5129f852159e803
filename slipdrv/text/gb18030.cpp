#include "gb18030.h"

#include <algorithm>

#include "gb18030_table.h"

namespace slipdrv {
namespace {

constexpr char32_t kMalformed = 0xFFFFFFFF;
constexpr std::uint32_t kSupplementaryFirstIndex = 189000;  // 90 30 81 30

// Decodes the character at `p`, moving `p` past it; kMalformed when the
// sequence is not the shortest form of a scalar value.
char32_t decodeUtf8(const unsigned char*& p, const unsigned char* end) {
    const unsigned char lead = *p++;
    if (lead < 0x80) return lead;
    int continuations = 0;
    char32_t least = 0;
    // C0 and C1 can only start overlong forms; F5-FF only values above U+10FFFF.
    if (lead >= 0xC2 && lead <= 0xDF) {
        continuations = 1;
        least = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        continuations = 2;
        least = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        continuations = 3;
        least = 0x10000;
    } else {
        return kMalformed;
    }
    char32_t cp = lead & (0x7Fu >> (continuations + 1));
    for (; continuations > 0; --continuations, ++p) {
        if (p == end || (*p & 0xC0u) != 0x80) return kMalformed;
        cp = cp << 6 | (*p & 0x3Fu);
    }
    if (cp < least || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return kMalformed;
    return cp;
}

void appendFourByte(std::uint32_t index, std::vector<std::uint8_t>& out) {
    out.push_back(static_cast<std::uint8_t>(0x81 + index / 12600));
    out.push_back(static_cast<std::uint8_t>(0x30 + index / 1260 % 10));
    out.push_back(static_cast<std::uint8_t>(0x81 + index / 10 % 126));
    out.push_back(static_cast<std::uint8_t>(0x30 + index % 10));
}

void appendTwoByte(std::uint16_t code, std::vector<std::uint8_t>& out) {
    out.push_back(static_cast<std::uint8_t>(code >> 8));
    out.push_back(static_cast<std::uint8_t>(code & 0xFF));
}

// Appends the code of a scalar value; false when it has none.
bool appendCode(char32_t cp, std::vector<std::uint8_t>& out) {
    using namespace gb18030;
    if (cp < 0x80) {
        out.push_back(static_cast<std::uint8_t>(cp));
        return true;
    }
    if (cp > 0xFFFF) {
        const SupplementaryTwoByte* const end = kSupplementaryTwoByte + kSupplementaryTwoByteCount;
        const auto* found = std::lower_bound(kSupplementaryTwoByte, end, cp,
                                             [](const SupplementaryTwoByte& e, char32_t v) { return e.codePoint < v; });
        if (found != end && found->codePoint == cp) {
            appendTwoByte(found->code, out);
        } else {
            appendFourByte(kSupplementaryFirstIndex + (cp - 0x10000), out);
        }
        return true;
    }
    const std::uint16_t two = kTwoByteCodes[kTwoBytePage[cp >> 8]][cp & 0xFF];
    if (two == kNoCode) return false;
    if (two != 0) {
        appendTwoByte(two, out);
        return true;
    }
    // The run that holds cp: the last one that starts at or before it.
    const FourByteRun* const end = kFourByteRuns + kFourByteRunCount;
    const auto* after = std::upper_bound(kFourByteRuns, end, cp,
                                         [](char32_t v, const FourByteRun& run) { return v < run.firstCodePoint; });
    if (after == kFourByteRuns) return false;
    const FourByteRun& run = *(after - 1);
    appendFourByte(run.firstIndex + (cp - run.firstCodePoint), out);
    return true;
}

}  // namespace

std::optional<std::vector<std::uint8_t>> utf8ToGb18030(std::string_view text, std::size_t maxLength) {
    std::vector<std::uint8_t> out;
    // Chinese text shrinks (three UTF-8 bytes become two); only U+0080-U+07FF can grow.
    out.reserve(std::min(text.size(), maxLength));
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const auto* const end = p + text.size();
    while (p != end) {
        const char32_t cp = decodeUtf8(p, end);
        if (cp == kMalformed || !appendCode(cp, out) || out.size() > maxLength) return std::nullopt;
    }
    return out;
}

}  // namespace slipdrv
