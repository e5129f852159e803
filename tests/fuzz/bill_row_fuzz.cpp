// Bill rows from any layout and texts: never a crash or an unbounded row, and
// a row laid out is whole lines, each of the layout's total width, with no
// control byte but the line feeds and the Chinese mode commands. The input is
// a byte choosing the set and the mode before, the layout, a zero byte, and
// the texts.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "bill_row.h"

namespace {

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "bill_row harness: %s\n", what);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const auto encoding = static_cast<slipdrv::TextEncoding>(data[0] & 3);
    const auto mode = static_cast<slipdrv::ChineseMode>((data[0] >> 2) % 3);
    const std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
    const std::size_t zero = rest.find('\0');
    if (zero == std::string_view::npos) return 0;
    constexpr std::size_t kMost = 1 << 20;
    const auto row = slipdrv::layOutRow(rest.substr(zero + 1), rest.substr(0, zero), encoding, mode, kMost);
    if (!row) return 0;
    if (row->bytes.size() > kMost) fail("a row longer than allowed");
    if (row->bytes.empty() || row->bytes.back() == 0x1C) fail("a row that does not end its line");
    for (std::size_t i = 0; i < row->bytes.size(); ++i) {
        const std::uint8_t b = row->bytes[i];
        if (b == 0x1C) {
            if (i + 1 == row->bytes.size() || (row->bytes[i + 1] != '&' && row->bytes[i + 1] != '.'))
                fail("FS not followed by & or .");
            ++i;
        } else if (b < 0x20 && b != 0x0A) {
            fail("a control byte in the row");
        }
    }
    if (mode != slipdrv::ChineseMode::kUnknown && row->modeAfter != mode) fail("the mode was not put back");
    return 0;
}
