"""Writes the C++ source of the ranges of East Asian wide and full-width
characters (Unicode's East_Asian_Width W and F), from this Python's Unicode
database, for the widths of UTF-8 text on a printer set to UTF-8. Code points
not yet assigned are wide only in the blocks and planes Unicode keeps for
ideographs (this database gives others a width of their own).

    generate_wide_ranges.py OUTPUT.cpp
"""

import sys
import unicodedata


# Where Unicode's East_Asian_Width file makes unassigned code points wide.
IDEOGRAPH_BLOCKS = ((0x3400, 0x4DBF), (0x4E00, 0x9FFF), (0xF900, 0xFAFF), (0x20000, 0x2FFFD), (0x30000, 0x3FFFD))


def ranges() -> list[tuple[int, int]]:
    found: list[tuple[int, int]] = []
    for cp in range(0x110000):
        character = chr(cp)
        if unicodedata.category(character) == "Cn":
            wide = any(first <= cp <= last for first, last in IDEOGRAPH_BLOCKS)
        else:
            wide = unicodedata.east_asian_width(character) in ("W", "F")
        if not wide:
            continue
        if found and found[-1][1] == cp - 1:
            found[-1] = (found[-1][0], cp)
        else:
            found.append((cp, cp))
    return found


def main() -> int:
    if len(sys.argv) != 2:
        print("usage: generate_wide_ranges.py OUTPUT.cpp", file=sys.stderr)
        return 2
    rows = ranges()
    lines = [
        f"// Generated at build time by generate_wide_ranges.py from Unicode {unicodedata.unidata_version}. Do not edit.",
        '#include "wide_ranges.h"',
        "",
        "namespace slipdrv {",
        "",
        f"const WideRange kWideRanges[{len(rows)}] = {{",
    ]
    lines += [f"    {{0x{first:05X}, 0x{last:05X}}}," for first, last in rows]
    lines += ["};", "", f"const std::size_t kWideRangeCount = {len(rows)};", "", "}  // namespace slipdrv", ""]
    with open(sys.argv[1], "w", encoding="utf-8") as out:
        out.write("\n".join(lines))
    return 0


if __name__ == "__main__":
    sys.exit(main())
