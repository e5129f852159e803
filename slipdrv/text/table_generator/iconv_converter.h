// One character at a time through this machine's iconv, for the programs that
// write the character set tables at build time.
#pragma once

#include <iconv.h>

#include <array>
#include <cstdint>
#include <vector>

namespace table_gen {

// What iconv_open gives when it has no such conversion.
inline const iconv_t kNoConversion = reinterpret_cast<iconv_t>(-1);  // NOLINT(performance-no-int-to-ptr)

class Converter {
public:
    explicit Converter(const char* to) : cd_(iconv_open(to, "UTF-32LE")) {}
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;
    ~Converter() {
        if (cd_ != kNoConversion) iconv_close(cd_);
    }

    bool usable() const { return cd_ != kNoConversion; }

    // The bytes of one code point; empty when iconv cannot convert it.
    std::vector<std::uint8_t> convert(char32_t cp) const {
        std::array<char, 4> in{static_cast<char>(cp & 0xFF), static_cast<char>((cp >> 8) & 0xFF),
                               static_cast<char>((cp >> 16) & 0xFF), static_cast<char>(cp >> 24)};
        std::array<char, 16> out{};
        char* inPointer = in.data();
        char* outPointer = out.data();
        std::size_t inLeft = in.size();
        std::size_t outLeft = out.size();
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        if (iconv(cd_, &inPointer, &inLeft, &outPointer, &outLeft) == static_cast<std::size_t>(-1) || inLeft != 0)
            return {};
        return {out.begin(), out.begin() + (outPointer - out.data())};
    }

private:
    iconv_t cd_;
};

}  // namespace table_gen
