// Writes the C++ source of the UTF-8 to GBK and Big5 tables from this
// machine's iconv, so every build of the library sends the same bytes.
//   double_byte_table_gen OUTPUT.cpp REPLACEMENTS.txt ST_CHARACTERS.txt
// Only the sets' two-byte codes are kept (first byte 81-FE) beside ASCII: a
// printer of either set reads nothing else as Chinese, so a single byte
// above 7F (iconv gives the euro sign 80h in both) would print as something
// else. A character a set lacks takes the code of the first of its
// replacements the set has, from REPLACEMENTS.txt (the library's own list)
// and then ST_CHARACTERS.txt (Simplified characters with their Traditional
// forms, one a line: the character, a TAB, the forms separated by blanks).
// Exit status 1, and no output, when iconv or the lists are not as expected.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "iconv_converter.h"
#include "table_source.h"

namespace {

using table_gen::Converter;
using table_gen::PlaneTable;
using Candidates = std::map<char32_t, std::vector<char32_t>>;

bool fail(const std::string& what) {
    std::fprintf(stderr, "double_byte_table_gen: %s\n", what.c_str());
    return false;
}

bool isTwoByteCode(const std::vector<std::uint8_t>& b) {
    return b.size() == 2 && b[0] >= 0x81 && b[0] <= 0xFE && b[1] >= 0x40 && b[1] <= 0xFE && b[1] != 0x7F;
}

// The code points of a UTF-8 line; empty when it is not UTF-8.
std::u32string decode(const std::string& line) {
    std::u32string out;
    for (std::size_t i = 0; i < line.size();) {
        const auto lead = static_cast<unsigned char>(line[i]);
        const int length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
        if (length == 0 || i + length > line.size()) return {};
        char32_t cp = length == 1 ? lead : lead & (0x7Fu >> length);
        for (int k = 1; k < length; ++k) cp = cp << 6 | (static_cast<unsigned char>(line[i + k]) & 0x3Fu);
        out.push_back(cp);
        i += length;
    }
    return out;
}

// REPLACEMENTS.txt: "U+XXXX U+YYYY [U+ZZZZ ...] what it is", '#' comments.
bool readReplacements(const char* path, Candidates& candidates) {
    std::ifstream in(path);
    if (!in) return fail(std::string("cannot read ") + path);
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        std::vector<char32_t> cps;
        std::size_t at = 0;
        while (true) {
            at = line.find_first_not_of(' ', at);
            if (at == std::string::npos || line.compare(at, 2, "U+") != 0) break;
            std::size_t used = 0;
            try {
                cps.push_back(static_cast<char32_t>(std::stoul(line.substr(at + 2, 6), &used, 16)));
            } catch (const std::exception&) {
                return fail(std::string(path) + ":" + std::to_string(number) + ": a code point after U+");
            }
            at += 2 + used;
        }
        if (cps.empty()) continue;
        if (cps.size() < 2) return fail(std::string(path) + ":" + std::to_string(number) + ": no replacement");
        auto& list = candidates[cps[0]];
        list.insert(list.end(), cps.begin() + 1, cps.end());
    }
    return true;
}

bool readTraditionalForms(const char* path, Candidates& candidates) {
    std::ifstream in(path);
    if (!in) return fail(std::string("cannot read ") + path);
    std::string line;
    std::size_t rows = 0;
    while (std::getline(in, line)) {
        const std::u32string cps = decode(line);
        if (cps.size() < 3 || cps[1] != U'\t') continue;
        auto& list = candidates[cps[0]];
        for (std::size_t i = 2; i < cps.size(); ++i)
            if (cps[i] != U' ') list.push_back(cps[i]);
        ++rows;
    }
    // A broken conversion of the dictionary would leave Big5 without its Traditional forms unnoticed.
    if (rows < 1000) return fail(std::string(path) + ": fewer than 1000 characters");
    return true;
}

bool collect(const char* charset, const Candidates& candidates, PlaneTable& table) {
    const Converter converter(charset);
    if (!converter.usable()) return fail(std::string("iconv has no ") + charset + " conversion");
    for (char32_t cp = 0; cp < 0x10000; ++cp) {
        if (cp >= 0xD800 && cp <= 0xDFFF) continue;
        const auto b = converter.convert(cp);
        if (cp < 0x80) {
            if (b.size() != 1 || b[0] != cp) return fail(std::string(charset) + ": ASCII does not stay as it is");
            continue;
        }
        if (isTwoByteCode(b)) table[cp >> 8][cp & 0xFF] = static_cast<std::uint16_t>(b[0] << 8 | b[1]);
    }
    for (const auto& [cp, list] : candidates) {
        if (cp < 0x80 || cp > 0xFFFF || table[cp >> 8][cp & 0xFF] != 0) continue;
        for (const char32_t replacement : list) {
            const bool printable = replacement >= 0x20 && replacement < 0x7F;
            if (!printable && (replacement < 0x80 || replacement > 0xFFFF)) continue;
            const std::uint16_t code =
                printable ? static_cast<std::uint16_t>(replacement) : table[replacement >> 8][replacement & 0xFF];
            if (code == 0) continue;
            table[cp >> 8][cp & 0xFF] = code;
            break;
        }
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: double_byte_table_gen OUTPUT.cpp REPLACEMENTS.txt ST_CHARACTERS.txt\n");
        return 2;
    }
    // The library's own replacements come first, so they win over the dictionary's.
    Candidates candidates;
    if (!readReplacements(argv[2], candidates) || !readTraditionalForms(argv[3], candidates)) return 1;
    std::string s =
        "// Generated at build time by double_byte_table_gen from the build machine's iconv. Do not edit.\n"
        "#include \"double_byte_table.h\"\n\nnamespace slipdrv::double_byte {\nnamespace {\n\n";
    const struct {
        const char* charset;
        const char* name;
    } sets[] = {{"GBK", "Gbk"}, {"BIG5", "Big5"}};
    for (const auto& set : sets) {
        auto table = std::make_unique<PlaneTable>();
        if (!collect(set.charset, candidates, *table)) return 1;
        s += table_gen::pagedTable(*table, std::string("k") + set.name + "Page", std::string("k") + set.name + "Codes");
    }
    s += "}  // namespace\n\nextern const Table kGbk = {kGbkPage, kGbkCodes};\n"
         "extern const Table kBig5 = {kBig5Page, kBig5Codes};\n\n}  // namespace slipdrv::double_byte\n";
    if (!table_gen::writeFile(argv[1], s)) {
        std::fprintf(stderr, "double_byte_table_gen: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
