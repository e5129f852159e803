// The East Asian wide and full-width characters, as ranges generated at build
// time by generate_wide_ranges.py.
#pragma once

#include <cstddef>
#include <cstdint>

namespace slipdrv {

struct WideRange {
    std::uint32_t first;
    std::uint32_t last;
};

// Sorted, not overlapping.
extern const WideRange kWideRanges[];
extern const std::size_t kWideRangeCount;

}  // namespace slipdrv
