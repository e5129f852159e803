"""Printer against the virtual printer: the bytes each method sends, its
errors, the status flags and the status callback."""

from __future__ import annotations

import gc
import queue
import weakref
from typing import Callable

import pytest

from counterkit import Barcode, Hri, Printer, PrinterError, PrinterStatus, QrLevel, load_slipdrv, ports
from counterkit.slipdrv import StatusCallbackType

ESC, GS, FS = b"\x1b", b"\x1d", b"\x1c"
CHINESE_ON, CHINESE_OFF = FS + b"&", FS + b"."


def gb(text: str) -> bytes:
    return text.encode("gb18030")


def qr_bytes(data: bytes, size: int, level: int) -> bytes:
    def command(fn: int, body: bytes) -> bytes:
        length = len(body) + 2
        return GS + b"(k" + bytes([length & 0xFF, length >> 8, 0x31, fn]) + body

    return (
        command(0x41, b"\x32\x00")
        + command(0x43, bytes([size]))
        + command(0x45, bytes([level]))
        + command(0x50, b"\x30" + data)
        + command(0x51, b"\x30")
    )


Action = Callable[[Printer], object]


def finish(p: Printer) -> None:
    p.feed(3)
    p.cut()
    p.drawer()


# What each call puts on the line, written from the printer's command set.
TEXT_ROWS: list[tuple[str, Action, bytes]] = [
    ("ascii", lambda p: p.text("Table 7  35.50\n"), b"Table 7  35.50\n"),
    ("chinese", lambda p: p.text("桌号：7号台\n"), CHINESE_ON + gb("桌号：7号台\n") + CHINESE_OFF),
    (
        "chinese mode around the chinese lines only",
        lambda p: p.text("Bill 7\n台费 35.50元\n会员\nThanks"),
        b"Bill 7\n" + CHINESE_ON + gb("台费 35.50元\n会员\n") + CHINESE_OFF + b"Thanks",
    ),
    (
        "four-byte and symbols",
        lambda p: p.text("\U00020000 € ¥ —\n"),
        CHINESE_ON + gb("\U00020000 € ¥ —\n") + CHINESE_OFF,
    ),
    (
        "title",
        lambda p: p.title("星光"),
        ESC + b"a\x01" + GS + b"!\x11" + CHINESE_ON + gb("星光\n") + CHINESE_OFF + GS + b"!\x00" + ESC + b"a\x00",
    ),
]
OTHER_ROWS: list[tuple[str, Action, bytes]] = [
    (
        "code 128 with its settings",
        lambda p: p.barcode("No.7", height=60, module_width=2, hri=Hri.BELOW),
        GS + b"h\x3c" + GS + b"w\x02" + GS + b"H\x02" + GS + b"k\x49\x06{BNo.7",
    ),
    ("jan13", lambda p: p.barcode("6901234567892", Barcode.JAN13), GS + b"k\x43\x0d6901234567892"),
    ("qr", lambda p: p.qr("https://pay.example/t/7", 6, QrLevel.M), qr_bytes(b"https://pay.example/t/7", 6, 0x31)),
    (
        "feed, cut, drawer",
        finish,
        ESC + b"d\x03" + GS + b"V\x42\x00" + ESC + b"p\x00\xff\xff",
    ),
]


@pytest.mark.parametrize("utf8", [True, False], ids=["BPPrintStringUTF8", "gb18030-fallback"])
@pytest.mark.parametrize("name,action,expected", TEXT_ROWS, ids=[r[0] for r in TEXT_ROWS])
def test_text_bytes(virtual_printer, utf8: bool, name: str, action: Action, expected: bytes) -> None:
    sim = virtual_printer()
    with Printer(1) as printer:
        if not utf8:
            printer._print_utf8 = None  # as with a library that lacks the export
        action(printer)
    assert sim.wait_for(len(expected)) == expected


@pytest.mark.parametrize("name,action,expected", OTHER_ROWS, ids=[r[0] for r in OTHER_ROWS])
def test_call_bytes(virtual_printer, name: str, action: Action, expected: bytes) -> None:
    sim = virtual_printer()
    with Printer(1) as printer:
        action(printer)
    assert sim.wait_for(len(expected)) == expected


ERROR_ROWS: list[tuple[Action, str]] = [
    (lambda p: p.barcode("12AB", Barcode.JAN13), "BPPrintBarCode"),
    (lambda p: p.feed(256), "BPPrintFeedSomeLines"),
    (lambda p: p.qr(""), "BPPrintQRCode"),
    (lambda p: p.open(99), "BPOpenPrinter"),
]


@pytest.mark.parametrize("action,call", ERROR_ROWS, ids=[r[1] for r in ERROR_ROWS])
def test_refused_call_raises_naming_it(virtual_printer, action: Action, call: str) -> None:
    virtual_printer()
    with Printer(1) as printer:
        with pytest.raises(PrinterError) as raised:
            action(printer)
    assert raised.value.call.startswith(call + "(")
    assert call in str(raised.value)


def test_text_with_a_zero_character_sends_nothing(virtual_printer) -> None:
    sim = virtual_printer()
    with Printer(1) as printer:
        with pytest.raises(ValueError):
            printer.text("7号台\0")
        printer.text("end")
    assert sim.wait_for(3) == b"end"


F = PrinterStatus
# The printer's state -> the flags, as the status bytes are defined.
STATUS_ROWS: list[tuple[str, PrinterStatus, bool]] = [
    ("ok", F(0), True),
    ("paper-near-end", F.PAPER_NEAR_END, True),
    ("drawer-open", F.DRAWER_PIN, True),
    ("offline", F.OFFLINE, False),
    ("cover-open", F.OFFLINE | F.COVER_OPEN, False),
    ("paper-out", F.OFFLINE | F.PAPER_END_STOP | F.PAPER_END, False),
    ("error", F.OFFLINE | F.ERROR | F.AUTOCUTTER_ERROR, False),
]


@pytest.mark.parametrize("state,flags,ready", STATUS_ROWS, ids=[r[0] for r in STATUS_ROWS])
def test_status(virtual_printer, state: str, flags: PrinterStatus, ready: bool) -> None:
    virtual_printer(state)
    with Printer(1) as printer:
        status = printer.status()
    assert status == flags
    assert status.ready == ready


def test_status_without_a_reply_raises(virtual_printer) -> None:
    virtual_printer()  # no state: the printer answers nothing
    with Printer(1) as printer, pytest.raises(PrinterError, match="BPRealtimeGetStatus"):
        printer.status()


def test_on_status_receives_bytes_and_queries_still_work(virtual_printer) -> None:
    sim = virtual_printer("paper-near-end")
    received: queue.Queue[int] = queue.Queue()
    with Printer(1) as printer:
        printer.on_status(received.put)
        gc.collect()  # a callback the package let go of would now be freed
        sim.control("send 12 34 AB")
        assert [received.get(timeout=10) for _ in range(3)] == [0x12, 0x34, 0xAB]
        # A query while the callback is on gets its reply, not the callback.
        assert printer.status() == PrinterStatus.PAPER_NEAR_END
        sim.control("send 55")
        assert received.get(timeout=10) == 0x55
        printer.on_status(None)
    assert received.empty()


class Sink:
    """A status callback that can be watched for being freed."""

    def __init__(self) -> None:
        self.received: queue.Queue[int] = queue.Queue()

    def __call__(self, status: int) -> None:
        self.received.put(status)


def live_thunks() -> int:
    gc.collect()
    return sum(isinstance(o, StatusCallbackType) for o in gc.get_objects())


def test_replaced_status_callbacks_are_freed(virtual_printer) -> None:
    sim = virtual_printer()
    with Printer(1) as printer:
        printer.on_status(Sink())
        before = live_thunks()
        replaced = []
        for _ in range(1000):
            current = Sink()
            replaced.append(weakref.ref(current))
            printer.on_status(current)
        assert live_thunks() <= before + 4
        assert [r for r in replaced[:-1] if r() is not None] == []
        sim.control("send 12")
        assert current.received.get(timeout=10) == 0x12


def test_library_keeps_the_last_callbacks_it_was_handed() -> None:
    lib = load_slipdrv()
    handed = []
    for _ in range(100):
        thunk = StatusCallbackType(lambda status: None)
        handed.append(weakref.ref(thunk))
        assert lib.BPSetCallBackFunc(thunk) == 0
    del thunk
    gc.collect()
    alive = [r() is not None for r in handed]
    assert alive[-1], "the callback the library now has was freed"
    assert sum(alive) <= 4


def test_one_printer_at_a_time_has_the_port(virtual_printer) -> None:
    sim = virtual_printer()
    with pytest.raises(PrinterError):
        Printer(99)  # fails to open, so takes nothing
    first = Printer(1)
    second = Printer()
    with pytest.raises(PrinterError, match="another Printer .* has port 1 open"):
        second.open(1)
    assert not second.is_open
    second.close()  # not open: must leave the first one's port alone
    first.text("first\n")
    assert sim.wait_for(6) == b"first\n"
    first.close()
    with Printer(1) as third:
        third.text("third\n")
    assert sim.wait_for(12) == b"first\nthird\n"


def test_a_port_named_by_text_and_the_port_list(virtual_printer, monkeypatch) -> None:
    sim = virtual_printer()
    monkeypatch.setenv("SLIPDRV_COM2", "printer:Counter Receipt")
    listed = ports()
    names = [port.name for port in listed]
    assert "COM1" in names and "COM2" in names
    assert all(port.device_id == "" for port in listed if not port.name.startswith("usb:"))
    with Printer("com1:19200") as printer:
        printer.text("named\n")
    assert sim.wait_for(6) == b"named\n"
    with pytest.raises(PrinterError, match=r"BPOpenPrinterByName\(b' COM1'\)"):
        Printer(" COM1")
    first = Printer("COM1")
    with pytest.raises(PrinterError, match="another Printer .* has port COM1 open"):
        Printer("LPT1")
    first.close()
