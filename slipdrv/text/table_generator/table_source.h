// Writing the tables as C++ source, for the programs that generate them.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace table_gen {

// A 16-bit value for every code point of the basic plane, by high byte then low byte.
using PlaneTable = std::array<std::array<std::uint16_t, 256>, 256>;

inline std::string hex(unsigned value, int digits) {
    std::array<char, 16> text{};
    std::snprintf(text.data(), text.size(), "0x%0*X", digits, value);
    return text.data();
}

// The definitions of a paged plane table: value(cp) is
// codes[page[cp >> 8]][cp & 0xFF]. Pages that hold only zeros share page 0.
inline std::string pagedTable(const PlaneTable& table, const std::string& pageName, const std::string& codesName) {
    std::array<std::uint8_t, 256> pageOf{};
    std::vector<const std::array<std::uint16_t, 256>*> pages = {nullptr};
    for (std::size_t high = 0; high < 256; ++high) {
        const auto& page = table[high];
        bool any = false;
        for (const auto code : page) any = any || code != 0;
        if (!any) continue;
        pageOf[high] = static_cast<std::uint8_t>(pages.size());
        pages.push_back(&page);
    }
    std::string s = "const std::uint8_t " + pageName + "[256] = {";
    for (std::size_t i = 0; i < 256; ++i) s += (i % 16 == 0 ? "\n    " : " ") + std::to_string(pageOf[i]) + ",";
    s += "\n};\n\nconst std::uint16_t " + codesName + "[" + std::to_string(pages.size()) + "][256] = {\n";
    for (const auto* page : pages) {
        s += "    {";
        for (std::size_t i = 0; i < 256; ++i)
            s += (i % 12 == 0 ? "\n        " : " ") + hex(page ? (*page)[i] : 0, 4) + ",";
        s += "\n    },\n";
    }
    return s + "};\n\n";
}

// Writes `text` to `path`; false (and no file) when it cannot.
inline bool writeFile(const char* path, const std::string& text) {
    FILE* out = std::fopen(path, "wb");
    if (!out) return false;
    const bool written = std::fwrite(text.data(), 1, text.size(), out) == text.size();
    if (std::fclose(out) != 0 || !written) {
        std::remove(path);
        return false;
    }
    return true;
}

}  // namespace table_gen
