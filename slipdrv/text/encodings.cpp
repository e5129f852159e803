#include "encodings.h"

#include <algorithm>

#include "double_byte_table.h"
#include "gb18030.h"
#include "wide_ranges.h"

namespace slipdrv {

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

namespace {

void appendDoubleByte(char32_t cp, const double_byte::Table& table, std::vector<std::uint8_t>& out) {
    const std::uint16_t code = cp < 0x80 ? static_cast<std::uint16_t>(cp) : cp <= 0xFFFF ? table.at(cp) : 0;
    if (code == 0 && cp != 0) {
        out.push_back('?');
    } else if (code < 0x80) {
        out.push_back(static_cast<std::uint8_t>(code));
    } else {
        out.push_back(static_cast<std::uint8_t>(code >> 8));
        out.push_back(static_cast<std::uint8_t>(code & 0xFF));
    }
}

void appendUtf8(char32_t cp, std::vector<std::uint8_t>& out) {
    if (cp < 0x80) {
        out.push_back(static_cast<std::uint8_t>(cp));
        return;
    }
    const int continuations = cp < 0x800 ? 1 : cp < 0x10000 ? 2 : 3;
    constexpr std::uint8_t kLeads[] = {0, 0xC0, 0xE0, 0xF0};
    out.push_back(static_cast<std::uint8_t>(kLeads[continuations] | (cp >> (6 * continuations))));
    for (int shift = 6 * (continuations - 1); shift >= 0; shift -= 6)
        out.push_back(static_cast<std::uint8_t>(0x80 | ((cp >> shift) & 0x3F)));
}

}  // namespace

bool appendCharacter(char32_t cp, TextEncoding encoding, std::vector<std::uint8_t>& out) {
    switch (encoding) {
        case TextEncoding::kGb18030:
            return appendGb18030(cp, out);
        case TextEncoding::kGbk:
            appendDoubleByte(cp, double_byte::kGbk, out);
            return true;
        case TextEncoding::kBig5:
            appendDoubleByte(cp, double_byte::kBig5, out);
            return true;
        case TextEncoding::kUtf8:
            appendUtf8(cp, out);
            return true;
    }
    return false;
}

bool isWide(char32_t cp) {
    const WideRange* const end = kWideRanges + kWideRangeCount;
    const auto* after =
        std::upper_bound(kWideRanges, end, cp, [](char32_t v, const WideRange& range) { return v < range.first; });
    return after != kWideRanges && cp <= (after - 1)->last;
}

std::optional<std::vector<std::uint8_t>> convertUtf8(std::string_view text, TextEncoding encoding,
                                                     std::size_t maxLength) {
    std::vector<std::uint8_t> out;
    // Chinese text shrinks (three UTF-8 bytes become two); only U+0080-U+07FF can grow.
    out.reserve(std::min(text.size(), maxLength));
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const auto* const end = p + text.size();
    while (p != end) {
        const char32_t cp = decodeUtf8(p, end);
        if (cp == kMalformed || !appendCharacter(cp, encoding, out) || out.size() > maxLength) return std::nullopt;
    }
    return out;
}

}  // namespace slipdrv
