#include "character_sets.h"

#include <iconv.h>

#include <algorithm>
#include <cstring>
#include <iterator>
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

// The character sets by Charset: their command-line names and iconv names.
constexpr std::pair<Charset, std::string_view> kCharsets[] = {
    {Charset::kGb18030, "gb18030"}, {Charset::kGbk, "gbk"}, {Charset::kBig5, "big5"}, {Charset::kUtf8, "utf8"}};
constexpr const char* kIconvNames[] = {"GB18030", "GBK", "BIG5", "UTF-8"};

// The code points of East Asian Width W or F (Unicode 14.0), as ranges, with
// the unassigned code points of the ideograph blocks that default to W.
constexpr std::pair<char32_t, char32_t> kWide[] = {
    {0x1100, 0x115F},   {0x231A, 0x231B},   {0x2329, 0x232A},   {0x23E9, 0x23EC},   {0x23F0, 0x23F0},
    {0x23F3, 0x23F3},   {0x25FD, 0x25FE},   {0x2614, 0x2615},   {0x2648, 0x2653},   {0x267F, 0x267F},
    {0x2693, 0x2693},   {0x26A1, 0x26A1},   {0x26AA, 0x26AB},   {0x26BD, 0x26BE},   {0x26C4, 0x26C5},
    {0x26CE, 0x26CE},   {0x26D4, 0x26D4},   {0x26EA, 0x26EA},   {0x26F2, 0x26F3},   {0x26F5, 0x26F5},
    {0x26FA, 0x26FA},   {0x26FD, 0x26FD},   {0x2705, 0x2705},   {0x270A, 0x270B},   {0x2728, 0x2728},
    {0x274C, 0x274C},   {0x274E, 0x274E},   {0x2753, 0x2755},   {0x2757, 0x2757},   {0x2795, 0x2797},
    {0x27B0, 0x27B0},   {0x27BF, 0x27BF},   {0x2B1B, 0x2B1C},   {0x2B50, 0x2B50},   {0x2B55, 0x2B55},
    {0x2E80, 0x2E99},   {0x2E9B, 0x2EF3},   {0x2F00, 0x2FD5},   {0x2FF0, 0x2FFB},   {0x3000, 0x303E},
    {0x3041, 0x3096},   {0x3099, 0x30FF},   {0x3105, 0x312F},   {0x3131, 0x318E},   {0x3190, 0x31E3},
    {0x31F0, 0x321E},   {0x3220, 0x3247},   {0x3250, 0x4DBF},   {0x4E00, 0xA48C},   {0xA490, 0xA4C6},
    {0xA960, 0xA97C},   {0xAC00, 0xD7A3},   {0xF900, 0xFAFF},   {0xFE10, 0xFE19},   {0xFE30, 0xFE52},
    {0xFE54, 0xFE66},   {0xFE68, 0xFE6B},   {0xFF01, 0xFF60},   {0xFFE0, 0xFFE6},   {0x16FE0, 0x16FE4},
    {0x16FF0, 0x16FF1}, {0x17000, 0x187F7}, {0x18800, 0x18CD5}, {0x18D00, 0x18D08}, {0x1AFF0, 0x1AFF3},
    {0x1AFF5, 0x1AFFB}, {0x1AFFD, 0x1AFFE}, {0x1B000, 0x1B122}, {0x1B150, 0x1B152}, {0x1B164, 0x1B167},
    {0x1B170, 0x1B2FB}, {0x1F004, 0x1F004}, {0x1F0CF, 0x1F0CF}, {0x1F18E, 0x1F18E}, {0x1F191, 0x1F19A},
    {0x1F200, 0x1F202}, {0x1F210, 0x1F23B}, {0x1F240, 0x1F248}, {0x1F250, 0x1F251}, {0x1F260, 0x1F265},
    {0x1F300, 0x1F320}, {0x1F32D, 0x1F335}, {0x1F337, 0x1F37C}, {0x1F37E, 0x1F393}, {0x1F3A0, 0x1F3CA},
    {0x1F3CF, 0x1F3D3}, {0x1F3E0, 0x1F3F0}, {0x1F3F4, 0x1F3F4}, {0x1F3F8, 0x1F43E}, {0x1F440, 0x1F440},
    {0x1F442, 0x1F4FC}, {0x1F4FF, 0x1F53D}, {0x1F54B, 0x1F54E}, {0x1F550, 0x1F567}, {0x1F57A, 0x1F57A},
    {0x1F595, 0x1F596}, {0x1F5A4, 0x1F5A4}, {0x1F5FB, 0x1F64F}, {0x1F680, 0x1F6C5}, {0x1F6CC, 0x1F6CC},
    {0x1F6D0, 0x1F6D2}, {0x1F6D5, 0x1F6D7}, {0x1F6DD, 0x1F6DF}, {0x1F6EB, 0x1F6EC}, {0x1F6F4, 0x1F6FC},
    {0x1F7E0, 0x1F7EB}, {0x1F7F0, 0x1F7F0}, {0x1F90C, 0x1F93A}, {0x1F93C, 0x1F945}, {0x1F947, 0x1F9FF},
    {0x1FA70, 0x1FA74}, {0x1FA78, 0x1FA7C}, {0x1FA80, 0x1FA86}, {0x1FA90, 0x1FAAC}, {0x1FAB0, 0x1FABA},
    {0x1FAC0, 0x1FAC5}, {0x1FAD0, 0x1FAD9}, {0x1FAE0, 0x1FAE7}, {0x1FAF0, 0x1FAF6}, {0x20000, 0x2FFFD},
    {0x30000, 0x3FFFD},
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

std::optional<Charset> charsetNamed(std::string_view name) {
    for (const auto& [charset, charsetName] : kCharsets)
        if (name == charsetName) return charset;
    return std::nullopt;
}

int sequenceLength(Charset charset, std::span<const std::uint8_t> start) {
    const auto in = [](std::uint8_t b, int low, int high) { return b >= low && b <= high; };
    if (start.empty()) return 0;
    if (charset == Charset::kUtf8) {
        const std::uint8_t lead = start[0];
        const int length = in(lead, 0xC2, 0xDF) ? 2 : in(lead, 0xE0, 0xEF) ? 3 : in(lead, 0xF0, 0xF4) ? 4 : 0;
        if (length == 0 || start.size() > static_cast<std::size_t>(length)) return 0;
        // The second byte's range also rules out overlong forms, surrogates
        // and code points past 10FFFFh.
        const int low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
        const int high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
        if (start.size() >= 2 && !in(start[1], low, high)) return 0;
        for (std::size_t i = 2; i < start.size(); ++i)
            if (!in(start[i], 0x80, 0xBF)) return 0;
        return length;
    }
    if (!in(start[0], 0x81, 0xFE)) return 0;
    if (start.size() == 1) return 2;
    const std::uint8_t second = start[1];
    switch (charset) {
        case Charset::kGbk:
            return start.size() == 2 && (in(second, 0x40, 0x7E) || in(second, 0x80, 0xFE)) ? 2 : 0;
        case Charset::kBig5:
            return start.size() == 2 && (in(second, 0x40, 0x7E) || in(second, 0xA1, 0xFE)) ? 2 : 0;
        default:
            break;
    }
    if (in(second, 0x30, 0x39)) {
        if (start.size() >= 3 && !in(start[2], 0x81, 0xFE)) return 0;
        if (start.size() >= 4 && !in(start[3], 0x30, 0x39)) return 0;
        return start.size() <= 4 ? 4 : 0;
    }
    return start.size() == 2 && (in(second, 0x40, 0x7E) || in(second, 0x80, 0xFE)) ? 2 : 0;
}

bool isWide(char32_t code) {
    const auto after = std::upper_bound(std::begin(kWide), std::end(kWide), code,
                                        [](char32_t c, const std::pair<char32_t, char32_t>& r) { return c < r.first; });
    return after != std::begin(kWide) && code <= std::prev(after)->second;
}

CharacterSets::CharacterSets() = default;

CharacterSets::~CharacterSets() {
    for (void* descriptor : multiByte_)
        if (descriptor) iconv_close(static_cast<iconv_t>(descriptor));
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

char32_t CharacterSets::multiByte(Charset charset, std::span<const std::uint8_t> sequence) {
    if (sequence.empty() || sequence.size() != static_cast<std::size_t>(sequenceLength(charset, sequence))) return 0;
    void*& descriptor = multiByte_[static_cast<std::size_t>(charset)];
    if (!descriptor) {
        const iconv_t opened = iconv_open("UTF-32LE", kIconvNames[static_cast<std::size_t>(charset)]);
        if (opened == kNoDescriptor) return 0;
        descriptor = opened;
    }
    return convert(static_cast<iconv_t>(descriptor), sequence);
}

}  // namespace escpos
