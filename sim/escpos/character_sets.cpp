#include "character_sets.h"

#include "code_pages.h"

#include <iconv.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <string>
#include <string_view>

namespace escpos {
namespace {

// The character sets by Charset: their command-line names and iconv names.
constexpr std::pair<Charset, std::string_view> kCharsets[] = {
    {Charset::kGb18030, "gb18030"}, {Charset::kGbk, "gbk"}, {Charset::kBig5, "big5"}, {Charset::kUtf8, "utf8"}};
constexpr const char* kIconvNames[] = {"GB18030", "GBK", "BIG5", "UTF-8"};

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

CharacterSets::CharacterSets() = default;

CharacterSets::~CharacterSets() {
    for (void* descriptor : multiByte_)
        if (descriptor) iconv_close(static_cast<iconv_t>(descriptor));
}

const CharacterSets::Table* CharacterSets::table(std::uint32_t number) {
    if (const auto found = tables_.find(number); found != tables_.end()) return &found->second;
    const auto page = codePage(number);
    if (!page) return nullptr;
    if (page->written) return &tables_.emplace(number, *page->written).first->second;
    Table table{};
    const iconv_t descriptor = iconv_open("UTF-32LE", std::string(page->iconvName).c_str());
    if (descriptor != kNoDescriptor) {
        for (std::size_t i = 0; i < table.size(); ++i) {
            const auto byte = static_cast<std::uint8_t>(0x80 + i);
            table[i] = convert(descriptor, std::span(&byte, 1));
        }
        iconv_close(descriptor);
    }
    return &tables_.emplace(number, table).first->second;
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
