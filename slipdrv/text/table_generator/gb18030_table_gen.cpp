// Writes the C++ source of the UTF-8 to GB18030 tables from this machine's
// iconv, so that the library converts without any code page of the system it
// runs on and every build of it sends the same bytes.
//   gb18030_table_gen OUTPUT.cpp
// Every code point of the basic plane except the surrogates is converted one
// by one. Two-byte codes go into 256-entry pages, one per high byte of the
// code point; pages without any share one page of zeros. Four-byte codes are
// kept as runs of consecutive code points whose linear four-byte indexes
// (counted from 81 30 81 30) are consecutive too. Code points above the basic
// plane follow the linear rule from 90 30 81 30, except a few that iconv gives
// a two-byte code (glibc 2.36: six ideographs); those are listed.
// A private-use code point that iconv cannot convert (glibc 2.36 leaves 24 of
// them without a code) is marked kNoCode in its page. Exit status 1, and no
// output, when iconv disagrees with any of that.
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "iconv_converter.h"
#include "table_source.h"

namespace {

using table_gen::Converter;
using table_gen::hex;

constexpr char32_t kSupplementaryFirst = 0x10000;
constexpr std::uint32_t kSupplementaryFirstIndex = 189000;  // the linear index of 90 30 81 30
constexpr std::uint16_t kNoCode = 0xFFFF;                   // no two-byte code has FF as its second byte

bool isFourByteCode(const std::vector<std::uint8_t>& b) {
    return b.size() == 4 && b[0] >= 0x81 && b[0] <= 0xFE && b[1] >= 0x30 && b[1] <= 0x39 && b[2] >= 0x81 &&
           b[2] <= 0xFE && b[3] >= 0x30 && b[3] <= 0x39;
}

std::uint32_t linearIndex(const std::vector<std::uint8_t>& b) {
    return (b[0] - 0x81u) * 12600u + (b[1] - 0x30u) * 1260u + (b[2] - 0x81u) * 10u + (b[3] - 0x30u);
}

bool fail(const char* what, char32_t cp) {
    std::fprintf(stderr, "gb18030_table_gen: U+%04X: %s\n", static_cast<unsigned>(cp), what);
    return false;
}

struct Tables {
    table_gen::PlaneTable twoByte{};
    std::vector<std::pair<char32_t, std::uint32_t>> runs;  // first code point, first linear index
    std::vector<std::pair<char32_t, std::uint16_t>> supplementaryTwoByte;
};

bool isTwoByteCode(const std::vector<std::uint8_t>& b) {
    return b.size() == 2 && b[0] >= 0x81 && b[0] <= 0xFE && b[1] >= 0x40 && b[1] <= 0xFE && b[1] != 0x7F;
}

bool collect(const Converter& converter, Tables& tables) {
    char32_t previousCp = 0;
    std::uint32_t previousIndex = 0;
    bool inRun = false;
    for (char32_t cp = 0; cp < kSupplementaryFirst; ++cp) {
        if (cp >= 0xD800 && cp <= 0xDFFF) {
            inRun = false;
            continue;
        }
        const auto b = converter.convert(cp);
        if (cp < 0x80) {
            if (b.size() != 1 || b[0] != cp) return fail("ASCII does not stay as it is", cp);
            continue;
        }
        if (isTwoByteCode(b)) {
            tables.twoByte[cp >> 8][cp & 0xFF] = static_cast<std::uint16_t>(b[0] << 8 | b[1]);
            inRun = false;
            continue;
        }
        if (b.empty() && cp >= 0xE000 && cp <= 0xF8FF) {
            tables.twoByte[cp >> 8][cp & 0xFF] = kNoCode;
            inRun = false;
            continue;
        }
        if (!isFourByteCode(b)) return fail("no one-, two- or four-byte code", cp);
        const std::uint32_t index = linearIndex(b);
        if (index > 0xFFFF) return fail("four-byte index beyond what the tables hold", cp);
        if (!inRun || cp != previousCp + 1 || index != previousIndex + 1) tables.runs.emplace_back(cp, index);
        inRun = true;
        previousCp = cp;
        previousIndex = index;
    }
    for (char32_t cp = kSupplementaryFirst; cp <= 0x10FFFF; ++cp) {
        const auto b = converter.convert(cp);
        if (isTwoByteCode(b)) {
            tables.supplementaryTwoByte.emplace_back(cp, static_cast<std::uint16_t>(b[0] << 8 | b[1]));
            continue;
        }
        if (!isFourByteCode(b) || linearIndex(b) != kSupplementaryFirstIndex + (cp - kSupplementaryFirst))
            return fail("not on the linear rule from 90 30 81 30", cp);
    }
    return true;
}

std::string source(const Tables& tables) {
    std::string s =
        "// Generated at build time by gb18030_table_gen from the build machine's iconv. Do not edit.\n"
        "#include \"gb18030_table.h\"\n\nnamespace slipdrv::gb18030 {\n\n";
    s += "static_assert(kNoCode == " + hex(kNoCode, 4) + ");\n\n";
    s += table_gen::pagedTable(tables.twoByte, "kTwoBytePage", "kTwoByteCodes");
    s += "const FourByteRun kFourByteRuns[" + std::to_string(tables.runs.size()) + "] = {";
    for (std::size_t i = 0; i < tables.runs.size(); ++i)
        s += (i % 6 == 0 ? "\n    " : " ") + std::string("{") + hex(tables.runs[i].first, 4) + ", " +
             std::to_string(tables.runs[i].second) + "},";
    s += "\n};\n\nconst std::size_t kFourByteRunCount = " + std::to_string(tables.runs.size()) + ";\n\n";
    // An entry above every code point ends the list, so the array is never empty.
    s += "const SupplementaryTwoByte kSupplementaryTwoByte[" + std::to_string(tables.supplementaryTwoByte.size() + 1) +
         "] = {\n";
    for (const auto& [cp, code] : tables.supplementaryTwoByte) s += "    {" + hex(cp, 5) + ", " + hex(code, 4) + "},\n";
    s += "    {0xFFFFFFFF, 0},\n};\n\nconst std::size_t kSupplementaryTwoByteCount = " +
         std::to_string(tables.supplementaryTwoByte.size()) + ";\n\n}  // namespace slipdrv::gb18030\n";
    return s;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: gb18030_table_gen OUTPUT.cpp\n");
        return 2;
    }
    const Converter converter("GB18030");
    if (!converter.usable()) {
        std::fprintf(stderr, "gb18030_table_gen: iconv has no GB18030 conversion (errno %d)\n", errno);
        return 1;
    }
    auto tables = std::make_unique<Tables>();
    if (!collect(converter, *tables)) return 1;
    const std::string text = source(*tables);
    if (!table_gen::writeFile(argv[1], text)) {
        std::fprintf(stderr, "gb18030_table_gen: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
