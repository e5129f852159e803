"""The library's exports refuse, before calling, what the library would
misuse: buffers it would write or read beyond, integers ctypes would cut.
Their signatures are those of the export list beside the library loaded."""

from __future__ import annotations

import ctypes
import shutil
from pathlib import Path
from typing import Callable

import pytest

from counterkit import Printer
from counterkit.errors import LibraryNotFoundError
from counterkit.slipdrv import EXPORT_LIST, SlipdrvLibrary, load_slipdrv

ESC, GS, FS = b"\x1b", b"\x1d", b"\x1c"

Call = Callable[[SlipdrvLibrary], object]

# Each would have reached the library: what it would do with the argument.
REFUSED: list[tuple[str, Call, type[Exception]]] = [
    ("11 bytes written into bytes", lambda lib: lib.BPGetMemorySwitch(1, b"Q"), TypeError),
    ("11 bytes written into 10", lambda lib: lib.BPGetMemorySwitch(1, bytearray(10)), ValueError),
    ("11 bytes written into a ctypes 10", lambda lib: lib.BPGetMemorySwitch(1, (ctypes.c_char * 10)()), ValueError),
    ("8 ints read from a c_int array of 7", lambda lib: lib.BPSetMemorySwitch(1, (ctypes.c_int * 7)()), ValueError),
    ("72 ints read from a list of 71", lambda lib: lib.BPUserDefineChinese(0xFE, 0xA1, [0] * 71), ValueError),
    ("3 x 12 pattern bytes read from 35", lambda lib: lib.BPUserDefineCharacter(65, 65, 12, bytes(35)), ValueError),
    ("a line count beyond 32 bits", lambda lib: lib.BPPrintFeedSomeLines(2**40), OverflowError),
    ("a line count below 32 bits", lambda lib: lib.BPPrintFeedSomeLines(-(2**31) - 1), OverflowError),
    ("a switch value beyond 32 bits", lambda lib: lib.BPSetMemorySwitch(1, [2**32] * 8), OverflowError),
]


@pytest.mark.parametrize("name,call,error", REFUSED, ids=[r[0] for r in REFUSED])
def test_refused_before_the_call(virtual_printer, name: str, call: Call, error: type[Exception]) -> None:
    sim = virtual_printer()
    with Printer(1) as printer:
        with pytest.raises(error):
            call(printer.lib)
        printer.text("end")
    assert sim.wait_for(3) == b"end"


# What the library sends for arguments of each kind, from the printer's command set.
SENT: list[tuple[str, Call, bytes]] = [
    (
        "memory switch from a list, low bytes",
        lambda lib: lib.BPSetMemorySwitch(3, [1, 2, 3, 4, 5, 6, 7, 0x1FF]),
        GS + b"(E\x0a\x00\x03\x03" + bytes([1, 2, 3, 4, 5, 6, 7, 0xFF]),
    ),
    (
        "user-defined Chinese from a c_int array",
        lambda lib: lib.BPUserDefineChinese(0xFE, 0xA1, (ctypes.c_int * 72)(*range(72))),
        FS + b"2\xfe\xa1" + bytes(range(72)),
    ),
    (
        "user-defined character, zero bytes in the pattern",
        lambda lib: lib.BPUserDefineCharacter(65, 66, 1, b"\x00\x81\x00"),
        ESC + b"&\x03AB\x01\x00\x81\x00",
    ),
    # The virtual printer does not answer it: the query gives up after its wait.
    (
        "memory switch query into a bytearray",
        lambda lib: lib.BPGetMemorySwitch(2, bytearray(11)),
        GS + b"(E\x02\x00\x04\x02",
    ),
]


@pytest.mark.parametrize("name,call,expected", SENT, ids=[r[0] for r in SENT])
def test_accepted_arguments_reach_the_printer(virtual_printer, name: str, call: Call, expected: bytes) -> None:
    sim = virtual_printer()
    with Printer(1) as printer:
        call(printer.lib)
    assert sim.wait_for(len(expected)) == expected


def test_signatures_come_from_the_list_beside_the_loaded_library(tmp_path: Path) -> None:
    built = Path(load_slipdrv().path)
    copy = tmp_path / built.name
    shutil.copy(built, copy)
    with pytest.raises(LibraryNotFoundError, match=EXPORT_LIST):
        SlipdrvLibrary(copy)

    # A list that has BPPrintString take an int and lacks BPPrintQRCode.
    lines = (built.parent / EXPORT_LIST).read_text().splitlines()
    edited = [line.replace(" BPPrintString stdcall s", " BPPrintString stdcall i") for line in lines
              if " BPPrintQRCode " not in line]
    (tmp_path / EXPORT_LIST).write_text("\n".join(edited) + "\n")
    lib = SlipdrvLibrary(copy)
    assert lib.export_list == tmp_path / EXPORT_LIST
    assert lib.BPPrintString.codes == ("i",)
    assert not lib.has("BPPrintQRCode")
    assert lib.has("BPPrintStringUTF8")
