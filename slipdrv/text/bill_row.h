// One bill row laid out in columns by the width the characters print at: the
// texts of the cells, each padded, aligned and if need be wrapped inside its
// own column, as the bytes of the lines the printer prints.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "encodings.h"

namespace slipdrv {

// The printer's Chinese mode as the library's own commands last left it.
enum class ChineseMode { kUnknown, kOn, kOff };

struct BillRow {
    std::vector<std::uint8_t> bytes;
    ChineseMode modeAfter;  // what the printer is in once it has the bytes
};

// The most cells a row has.
inline constexpr std::size_t kMostCells = 16;

// `cells`: the row's UTF-8 texts separated by TABs; `layout`: as many cells,
// comma-separated, each a width in columns (1-255) and L, C or R. A character
// sent as one byte takes one column, one sent as several two; in UTF-8, wide
// and full-width characters two and the rest one. A text wider than its
// cell is wrapped inside it: at a blank or between two wide characters where
// it can be, else between any two characters. Each line ends with LF; lines
// holding multi-byte characters are printed in Chinese mode, which is then
// put back to `modeBefore` (left on when that is unknown).
// Nothing when the layout is malformed, the texts are not as many as the
// cells, a text is not UTF-8 or holds a control character or a character
// the set refuses, a character is wider than its cell, or the row would be
// longer than `maxLength` bytes.
std::optional<BillRow> layOutRow(std::string_view cells, std::string_view layout, TextEncoding encoding,
                                 ChineseMode modeBefore, std::size_t maxLength);

}  // namespace slipdrv
