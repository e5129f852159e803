"""Text in the printer's character sets, and bill rows laid out in columns,
done in Python for a library that lacks ``BPSetTextEncoding`` or
``BPPrintRowUTF8``: the same bytes the library sends, as far as Python's
codecs have the library's characters.

Each character becomes its bytes in the set, with the width it takes on the
paper: one column for a character sent as one byte, two for one sent as
several; in UTF-8 two for East Asian wide and full-width characters, one for
the rest.
"""

from __future__ import annotations

import re
import unicodedata
from importlib import resources
from typing import NamedTuple, Sequence

# The character sets, by name, with BPSetTextEncoding's values.
ENCODINGS = {"gb18030": 0, "gbk": 1, "big5": 2, "utf-8": 3}

# Characters GBK or Big5 lacks, each with what is printed instead: the first
# of these the set has, so that the bill reads the same; the library's own
# list, shipped with the package. A character the set lacks and has no
# replacement for is printed as '?'. (The library also gives Simplified
# characters the set lacks their Traditional forms, from a list Python does
# not have: here they print as '?'.)
def _read_replacements() -> dict[str, str]:
    replacements: dict[str, str] = {}
    text = resources.files(__package__).joinpath("replacements.txt").read_text(encoding="utf-8")
    for line in text.splitlines():
        points = []
        for word in line.split():
            if not word.startswith("U+"):
                break
            points.append(chr(int(word[2:], 16)))
        if len(points) > 1:
            replacements[points[0]] = replacements.get(points[0], "") + "".join(points[1:])
    return replacements


_REPLACEMENTS = _read_replacements()

# Big5 as the library sends it is the two-byte set without the Cyrillic,
# kana and other symbols that code page 950 adds at C6A1-C8FE; code page 950
# also gives codes of its own to these characters, which the library's Big5
# does not have.
_BIG5_EXTENSION = (b"\xc6\xa1", b"\xc8\xfe")
_BIG5_LACKS = frozenset("\u00a2\u00a3\u00a5\u2022\u203e\u223c\u2609\u2641\uff64")

# GB18030 as the library sends it differs from Python's codec in these codes
# (the 2005 edition's), and has none for 24 private-use characters.
_GB18030_CODES = {
    "\u1e3f": "a8bc",
    **{chr(0x9FB4 + i): code for i, code in enumerate("fe59 fe61 fe66 fe67 fe6d fe7e fe90 fea0".split())},
    "\ue7c7": "8135f437",
    **{chr(0xFE10 + i): code for i, code in enumerate("a6d9 a6db a6da a6dc a6dd a6de a6df a6ec a6ed a6f3".split())},
    "\U00020087": "fe51",
    "\U00020089": "fe52",
    "\U000200cc": "fe53",
    "\U000215d7": "fe6c",
    "\U0002298f": "fe76",
    "\U000241fe": "fe91",
}
_GB18030_NO_CODE = frozenset(
    chr(cp)
    for cp in (*range(0xE78D, 0xE797), 0xE816, 0xE817, 0xE818, 0xE81E, 0xE826, 0xE82B, 0xE82C, 0xE831, 0xE832)
    + (0xE83B, 0xE843, 0xE854, 0xE855, 0xE864)
)

# Where Unicode makes code points not yet assigned wide: the ideograph blocks and planes.
_IDEOGRAPH_BLOCKS = ((0x3400, 0x4DBF), (0x4E00, 0x9FFF), (0xF900, 0xFAFF), (0x20000, 0x2FFFD), (0x30000, 0x3FFFD))


class Unit(NamedTuple):
    """One character as it is sent."""

    data: bytes
    width: int
    blank: bool


class Encoder:
    """Characters to their bytes in one of the ``ENCODINGS``."""

    def __init__(self, name: str) -> None:
        self.name = name
        self._units: dict[str, Unit] = {}

    def unit(self, character: str) -> Unit:
        """The character's bytes and width; ValueError for a lone surrogate,
        which is not a character, and in GB18030 for one without a code."""
        found = self._units.get(character)
        if found is None:
            found = self._units[character] = self._make(character)
        return found

    def encode(self, text: str) -> bytes:
        """The bytes of ``text``; ValueError as for ``unit``."""
        return b"".join(self.unit(c).data for c in text)

    def _make(self, character: str) -> Unit:
        if character < "\x80":
            return Unit(character.encode("ascii"), 1, character == " ")
        if self.name == "utf-8":
            return Unit(character.encode("utf-8"), 2 if _wide(character) else 1, False)
        if self.name == "gb18030":
            if character in _GB18030_NO_CODE:
                raise ValueError(f"{character!r} has no code in GB18030")
            code = _GB18030_CODES.get(character)
            return Unit(bytes.fromhex(code) if code else character.encode("gb18030"), 2, False)
        if "\ud800" <= character <= "\udfff":
            character.encode("utf-8")  # raises UnicodeEncodeError, a ValueError
        for candidate in (character, *_REPLACEMENTS.get(character, "")):
            data = self._double_byte(candidate)
            if data is not None:
                return Unit(data, min(len(data), 2), data == b" ")
        return Unit(b"?", 1, False)

    def _double_byte(self, character: str) -> bytes | None:
        """The character's code in GBK or Big5: ASCII or two bytes with a first byte of 81-FE."""
        if character < "\x80":
            return character.encode("ascii")
        if self.name == "big5" and character in _BIG5_LACKS:
            return None
        try:
            data = character.encode("gbk" if self.name == "gbk" else "cp950")
        except UnicodeEncodeError:
            return None
        if len(data) != 2 or not 0x81 <= data[0] <= 0xFE:
            return None
        if self.name == "big5" and _BIG5_EXTENSION[0] <= data <= _BIG5_EXTENSION[1]:
            return None
        return data


def _wide(character: str) -> bool:
    if unicodedata.category(character) == "Cn":
        return any(first <= ord(character) <= last for first, last in _IDEOGRAPH_BLOCKS)
    return unicodedata.east_asian_width(character) in ("W", "F")


class Column(NamedTuple):
    width: int
    align: str  # "L", "C" or "R"


_COLUMN = re.compile(r"([1-9][0-9]{0,2})([LCR])")


def parse_layout(layout: str) -> list[Column]:
    """The columns of a layout such as "20L,12R": 1-16 items, each a width of
    1-255 columns and L, C or R, separated by commas without blanks; ValueError
    for anything else."""
    if not isinstance(layout, str):
        raise TypeError(f"a layout is a str such as '20L,12R', not {type(layout).__name__}")
    columns = []
    for item in layout.split(","):
        match = _COLUMN.fullmatch(item)
        if not match or int(match[1]) > 255:
            raise ValueError(f"bad layout {layout!r}: each item is a width of 1-255 and L, C or R, such as '20L,12R'")
        columns.append(Column(int(match[1]), match[2]))
    if len(columns) > 16:
        raise ValueError(f"bad layout {layout!r}: at most 16 cells, not {len(columns)}")
    return columns


def check_cells(cells: Sequence[str], columns: Sequence[Column]) -> None:
    """TypeError or ValueError unless ``cells`` is one text for each column,
    without control characters."""
    if isinstance(cells, (str, bytes)) or not isinstance(cells, Sequence):
        raise TypeError(f"a row's cells are a sequence of str, not {type(cells).__name__}")
    if len(cells) != len(columns):
        raise ValueError(f"the layout has {len(columns)} cells, the row {len(cells)}: {cells!r}")
    for cell in cells:
        if not isinstance(cell, str):
            raise TypeError(f"a cell is a str, not {type(cell).__name__}")
        if any(c < " " or c == "\x7f" for c in cell):
            raise ValueError(f"the cell {cell!r} holds a control character")


def _width(units: Sequence[Unit]) -> int:
    return sum(u.width for u in units)


def _without_trailing_blanks(units: Sequence[Unit]) -> Sequence[Unit]:
    end = len(units)
    while end and units[end - 1].blank:
        end -= 1
    return units[:end]


def _pieces(units: list[Unit], width: int, cell: str) -> list[Sequence[Unit]]:
    """The text of one cell broken into pieces no wider than the cell."""
    pieces: list[Sequence[Unit]] = []
    rest: Sequence[Unit] = units
    while _width(rest) > width:
        # The longest prefix that ends at a break opportunity (a blank on either
        # side, or two wide characters) and fits, its trailing blanks aside.
        cut = 0
        for end in range(1, len(rest)):
            before, after = rest[end - 1], rest[end]
            if not (before.blank or after.blank or (before.width == 2 and after.width == 2)):
                continue
            prefix = _without_trailing_blanks(rest[:end])
            if prefix and _width(prefix) <= width:
                cut = end
        if cut == 0:
            taken = 0
            while cut < len(rest) and taken + rest[cut].width <= width:
                taken += rest[cut].width
                cut += 1
            if cut == 0:
                raise ValueError(f"the cell {cell!r} holds a character wider than its {width} column(s)")
        pieces.append(_without_trailing_blanks(rest[:cut]))
        start = cut
        while start < len(rest) and rest[start].blank:
            start += 1
        rest = rest[start:]
        if not rest:
            return pieces
    pieces.append(rest)
    return pieces


def _padded(piece: Sequence[Unit], column: Column) -> bytes:
    text = b"".join(u.data for u in piece)
    room = column.width - _width(piece)
    if column.align == "L":
        return text + b" " * room
    if column.align == "R":
        return b" " * room + text
    return b" " * (room // 2) + text + b" " * (room - room // 2)


def lay_out_row(cells: Sequence[str], columns: Sequence[Column], encoder: Encoder) -> list[bytes]:
    """The lines of one row, each ending with LF, as ``BPPrintRowUTF8`` sends
    them; ValueError for a character wider than its cell (or without a code)."""
    cell_pieces = [
        _pieces([encoder.unit(c) for c in cell], column.width, cell) for cell, column in zip(cells, columns)
    ]
    lines = []
    for n in range(max(len(p) for p in cell_pieces)):
        line = b"".join(
            _padded(pieces[n], column) if n < len(pieces) else b" " * column.width
            for pieces, column in zip(cell_pieces, columns)
        )
        lines.append(line + b"\n")
    return lines
