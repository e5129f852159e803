#include "gb18030.h"

#include <algorithm>

#include "encodings.h"
#include "gb18030_table.h"

namespace slipdrv {
namespace {

constexpr std::uint32_t kSupplementaryFirstIndex = 189000;  // 90 30 81 30

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

}  // namespace

bool appendGb18030(char32_t cp, std::vector<std::uint8_t>& out) {
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

std::optional<std::vector<std::uint8_t>> utf8ToGb18030(std::string_view text, std::size_t maxLength) {
    return convertUtf8(text, TextEncoding::kGb18030, maxLength);
}

}  // namespace slipdrv
