"""Printer's encodings and bill rows against the virtual printer, through the
library's exports and through the package's own conversion and layout (as
with an older library): both must send the same bytes. The expected lines
are written out by hand and encoded with Python's codecs."""

from __future__ import annotations

from typing import Sequence

import pytest

from counterkit import Printer

FS = b"\x1c"
CHINESE_ON, CHINESE_OFF = FS + b"&", FS + b"."
# Big5 as code page 950 writes it, which has the full-width signs.
CODECS = {"gb18030": "gb18030", "gbk": "gbk", "big5": "cp950", "utf-8": "utf-8"}

PATHS = ["library", "older-library"]


def make_printer(path: str, encoding: str) -> Printer:
    printer = Printer(1, encoding=encoding)
    if not printer.lib.has("BPPrintRowUTF8"):
        printer.close()
        pytest.skip("the library has no BPPrintRowUTF8 to compare with")
    if path == "older-library":
        # As a library of BPPrintStringUTF8's time: GB18030 only, no rows.
        printer.lib.BPSetTextEncoding(0)
        printer._set_encoding = None
        printer._print_row = None
    return printer


def framed(lines: Sequence[bytes]) -> bytes:
    """A row's lines as they reach a printer known to be out of Chinese mode:
    the mode on from the first line with multi-byte characters to the row's end."""
    first = next((n for n, line in enumerate(lines) if not line.isascii()), len(lines))
    if first == len(lines):
        return b"".join(lines)
    return b"".join(lines[:first]) + CHINESE_ON + b"".join(lines[first:]) + CHINESE_OFF


# (name, encoding, layout, cells, the lines as they print, blanks included).
ROWS: list[tuple[str, str, str, list[str], list[str]]] = [
    ("dish and price", "gb18030", "8L,8R", ["台费", "35.50元"], ["台费     35.50元"]),
    (
        "wrapped at blanks, yen sign full-width in GBK, other cell blank below",
        "gbk",
        "12L,6R",
        ["Green tea, large pot", "¥8.00"],
        ["Green tea,  ￥8.00", "large pot         "],
    ),
    (
        "wrapped between wide characters, centred with the odd column after",
        "gb18030",
        "7C,3R",
        ["宫保鸡丁饭", "x2"],
        ["宫保鸡  x2", " 丁饭     "],
    ),
    (
        "leading blanks kept, mode on from the first line that needs it",
        "gb18030",
        "4L,3R",
        ["  ab  cd 台", "1"],
        ["  ab  1", "cd     ", "台     "],
    ),
    (
        "no break: cut anywhere; a lacking character as '?'; a fitting text keeps its blanks",
        "gbk",
        "4R,3R",
        ["ABCDEFG", "한 "],
        ["ABCD ? ", " EFG   "],
    ),
    ("Big5", "big5", "4L,5R", ["臺北市立", "100元"], ["臺北100元", "市立     "]),
    (
        "UTF-8: widths by East Asian width, a narrow é and euro sign",
        "utf-8",
        "6L,4R",
        ["café 台球", "€1"],
        ["café    €1", "台球      "],
    ),
]


@pytest.mark.parametrize("path", PATHS)
@pytest.mark.parametrize("name,encoding,layout,cells,lines", ROWS, ids=[r[0] for r in ROWS])
def test_row_bytes(
    virtual_printer, path: str, name: str, encoding: str, layout: str, cells: list[str], lines: list[str]
) -> None:
    sim = virtual_printer()
    expected = framed([(line + "\n").encode(CODECS[encoding]) for line in lines])
    with make_printer(path, encoding) as printer:
        printer.lib.BPExitChineseMode()  # the mode known to be off, as after text()
        printer.row(cells, layout)
    assert sim.wait_for(2 + len(expected)) == CHINESE_OFF + expected


@pytest.mark.parametrize("path", PATHS)
def test_table_prints_each_row(virtual_printer, path: str) -> None:
    sim = virtual_printer()
    with make_printer(path, "gb18030") as printer:
        printer.lib.BPExitChineseMode()
        printer.table([["茶", "8"], ["Tea", "12"]], "5L,3R")
    expected = framed(["茶     8\n".encode("gb18030")]) + b"Tea   12\n"
    assert sim.wait_for(2 + len(expected)) == CHINESE_OFF + expected


# What the rows and tables refuse: (name, encoding, layout, rows, error).
REFUSED: list[tuple[str, str, str, list[list[str]], type]] = [
    ("width 0", "gb18030", "0L", [["a"]], ValueError),
    ("width 256", "gb18030", "256R", [["a"]], ValueError),
    ("leading zero", "gb18030", "012L", [["a"]], ValueError),
    ("lower-case letter", "gb18030", "12r", [["a"]], ValueError),
    ("empty item", "gb18030", "4L,,4R", [["a", "", "b"]], ValueError),
    ("17 cells", "gb18030", ",".join(["2L"] * 17), [["a"] * 17], ValueError),
    ("fewer texts than cells", "gb18030", "4L,4R", [["a"]], ValueError),
    ("more texts than cells", "gb18030", "4L", [["a", "b"]], ValueError),
    ("a TAB in a text", "gb18030", "4L,4R", [["a\tb", "c"]], ValueError),
    ("a DEL in a text", "utf-8", "4L", [["a\x7f"]], ValueError),
    ("a wide character in a 1-column cell", "utf-8", "1L,4R", [["台", "1"]], ValueError),
    ("a two-byte character in a 1-column cell", "gbk", "1L", [["é"]], ValueError),
    ("the second row of a table", "gb18030", "2L", [["ab"], ["a\n"]], ValueError),
    ("cells given as one str", "gb18030", "2L", ["ab"], TypeError),  # type: ignore[list-item]
    ("a private-use character without a GB18030 code", "gb18030", "4L", [["\ue78d"]], ValueError),
]


@pytest.mark.parametrize("path", PATHS)
@pytest.mark.parametrize("name,encoding,layout,rows,error", REFUSED, ids=[r[0] for r in REFUSED])
def test_refused_rows_send_nothing(
    virtual_printer, path: str, name: str, encoding: str, layout: str, rows: list[list[str]], error: type
) -> None:
    sim = virtual_printer()
    with make_printer(path, encoding) as printer:
        with pytest.raises(error):
            printer.table(rows, layout)
        printer.text("end\n")
    assert sim.wait_for(4) == b"end\n"


# Each encoding's text: (encoding, text, the text as it prints).
TEXTS = [
    ("gb18030", "¥35 台费\n", "¥35 台费\n"),
    ("gbk", "¥35 台费\n", "￥35 台费\n"),
    ("big5", "¥35 台費\n", "￥35 台費\n"),
    ("utf-8", "¥35 台费\n", "¥35 台费\n"),
]


@pytest.mark.parametrize("path", PATHS)
@pytest.mark.parametrize("encoding,text,printed", TEXTS, ids=[t[0] for t in TEXTS])
def test_text_in_each_encoding(virtual_printer, path: str, encoding: str, text: str, printed: str) -> None:
    sim = virtual_printer()
    with make_printer(path, encoding) as printer:
        if path == "library":
            # As another Printer of the process may have left the library's setting.
            printer.lib.BPSetTextEncoding(3 if encoding != "utf-8" else 0)
        printer.text(text)
    expected = CHINESE_ON + printed.encode(CODECS[encoding]) + CHINESE_OFF
    assert sim.wait_for(len(expected)) == expected


def test_unknown_encoding() -> None:
    with pytest.raises(ValueError, match="encoding must be one of gb18030, gbk, big5, utf-8"):
        Printer(encoding="latin-1")
