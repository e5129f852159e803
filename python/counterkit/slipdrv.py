"""The receipt printer through the slipdrv library.

``Printer`` covers what a till prints; ``SlipdrvLibrary`` (``Printer.lib``)
has every export of the library with its argument types declared, for the
rest. The library drives one port at a time for the whole process, so every
``Printer`` of a process shares it.
"""

from __future__ import annotations

import ctypes
import enum
import os
import re
from types import TracebackType
from typing import Any, Callable, Union

from ._loader import load_library
from .errors import NotAvailableError, PrinterError

_WINDOWS = os.name == "nt"

# The status callback as slipdrv.h declares it: void (SLIPDRV_CALL *)(int), and
# SLIPDRV_CALL is __stdcall on Windows (callee cleans the stack on i686).
_CallbackType = ctypes.WINFUNCTYPE if _WINDOWS else ctypes.CFUNCTYPE  # type: ignore[attr-defined]
StatusCallbackType = _CallbackType(None, ctypes.c_int)
"""The ctypes type of a status callback (``BPSetCallBackFunc``'s argument)."""

# Argument codes: i int, s const char*, w int* (read), b unsigned char* (written), f the status callback.
_ARGUMENT_TYPES = {
    "i": ctypes.c_int,
    "s": ctypes.c_char_p,
    "w": ctypes.POINTER(ctypes.c_int),
    "b": ctypes.c_char_p,
    "f": StatusCallbackType,
}

# Every export with its arguments, in ordinal order (1-80); each returns int.
_EXPORTS = {
    "BPOpenPrinter": "ii",
    "BPClosePrinter": "",
    "BPPrintString": "s",
    "BPEnableCallBackFunc": "i",
    "BPSetCallBackFunc": "f",
    "BPPrintAndFeed": "",
    "BPPrintNotFeed": "",
    "BPPrintExitStandardMode": "",
    "BPRealtimeGetStatus": "i",
    "BPMoveHorizontalTAB": "",
    "BPCancelPrintPageMode": "",
    "BPRealtimeResponse": "i",
    "BPPrintPageMode": "",
    "BPSetASCIIRightSpace": "i",
    "BPSetPrintMode": "i",
    "BPSetAbsoluPrintPosition": "ii",
    "BPSelectUserDefineSet": "i",
    "BPUserDefineCharacter": "iiis",
    "BPSetUnderLine": "i",
    "BPSelectDefaultLineSpace": "",
    "BPSetLineSpace": "i",
    "BPCancelUserDefineCharacter": "i",
    "BPInitializePrinter": "",
    "BPSetHorizonTABPosition": "s",
    "BPEmphasizedPrintSet": "i",
    "BPSuperposePrintSet": "i",
    "BPPrintFeedPaper": "i",
    "BPSelectPageMode": "",
    "BPSelectCharacterAB": "i",
    "BPSelectInternationalCharacterSet": "i",
    "BPSelectStardardMode": "",
    "BPPagePrintDirection": "i",
    "BPClockwiseRotation90Set": "i",
    "BPSetPrintAreaPageMode": "iiii",
    "BPSetRelativePrintPosition": "ii",
    "BPSelectJustification": "i",
    "BPSelectPaperSensor": "i",
    "BPSelectSensorStopPrint": "i",
    "BPSetPanelButtonsEnable": "i",
    "BPPrintFeedSomeLines": "i",
    "BPSelectCharacterCodeTable": "i",
    "BPFeedMarkStartPosition": "",
    "BPSelectCharacterSize": "ii",
    "BPPageAbsoluVerticalPosition": "ii",
    "BPExecuteTestPrint": "ii",
    "BPUserDefineCommand": "i",
    "BPSetMemorySwitch": "iw",
    "BPGetMemorySwitch": "ib",
    "BPSetAdjustmentValue": "iiii",
    "BPCustomizeControlValue": "ii",
    "BPSelectHRIPosition": "i",
    "BPTransmitPrinterID": "i",
    "BPSetLeftMargin": "ii",
    "BPSetBeginningPosition": "i",
    "BPSelectCutPaper": "ii",
    "BPSetPrintingAreaWidth": "ii",
    "BPPageRelativeVertialPosition": "ii",
    "BPAutoStatusBackSet": "i",
    "BPSmoothingModeSet": "i",
    "BPSelectHRICharacter": "i",
    "BPSetBarCodeHeight": "i",
    "BPPrintBarCode": "iis",
    "BPTransmitStatus": "i",
    "BPSetBarCodeWidth": "i",
    "BPSetChinesePrintMode": "i",
    "BPSelectChineseMode": "",
    "BPChineseUnderLineSet": "i",
    "BPExitChineseMode": "",
    "BPUserDefineChinese": "iiw",
    "BPSelectChineseCodeSys": "i",
    "BPSetChineseLRSpace": "ii",
    "BPSetChineseQuadrupleSize": "i",
    "BPUpsidedownPrintiModeSet": "i",
    "BPPrintNVBitImage": "ii",
    "BPDefineNVBitImage": "s",
    "BPPrintBitmap": "si",
    "BPPrintDownloadBitImage": "si",
    "BPOpenCashBox": "",
    "BPPrintQRCode": "sii",
    "BPPrintStringUTF8": "s",
}

# The two exports that stay caller-cleans (__cdecl) in the i686 DLL.
_CDECL_EXPORTS = frozenset({"BPSetAbsoluPrintPosition", "BPPageAbsoluVerticalPosition"})


class SlipdrvLibrary:
    """The loaded slipdrv library: one attribute per export, with ``argtypes``
    and ``restype`` set, named as in slipdrv.h (``lib.BPPrintString(b"x\\n")``).

    An export the loaded file lacks is None (``BPPrintQRCode`` and
    ``BPPrintStringUTF8`` are younger than the others).
    """

    path: str
    """The file (or the name given to the dynamic loader) the library came from."""

    def __init__(self, library: str | os.PathLike[str] | None = None) -> None:
        """Loads the library from the file ``library``, or searches for it
        (``COUNTERKIT_LIBDIR``, beside the package, the install prefixes, the
        system: see ``counterkit._loader``)."""
        loader = ctypes.WinDLL if _WINDOWS else ctypes.CDLL  # type: ignore[attr-defined]
        self._dll, self.path = load_library("slipdrv", loader, library)
        self._cdecl_dll = ctypes.CDLL(self.path) if _WINDOWS else self._dll
        # Every callback ever handed to the library: the library may still call
        # the previous one while a new one is set, so none is freed.
        self._callbacks: list[ctypes._CFuncPtr] = []  # type: ignore[name-defined]
        for name, codes in _EXPORTS.items():
            try:
                function = getattr(self._cdecl_dll if name in _CDECL_EXPORTS else self._dll, name)
            except AttributeError:
                function = None
            else:
                function.argtypes = [_ARGUMENT_TYPES[code] for code in codes]
                function.restype = ctypes.c_int
            setattr(self, name, function)

    def __getattr__(self, name: str) -> Any:
        # Reached only for names that are not exports (those are set when
        # loading); declared so that type checkers accept the exports.
        raise AttributeError(f"slipdrv has no export {name}")

    def has(self, export: str) -> bool:
        """Whether the loaded library has the export ``export``."""
        return getattr(self, export, None) is not None

    def keep(self, callback: ctypes._CFuncPtr) -> None:  # type: ignore[name-defined]
        """Keeps a ctypes callback alive for as long as the library is loaded."""
        self._callbacks.append(callback)


_shared: dict[str, SlipdrvLibrary] = {}


def load_slipdrv(library: str | os.PathLike[str] | None = None) -> SlipdrvLibrary:
    """The slipdrv library, loaded once per process (per file when ``library`` names one)."""
    key = os.fspath(library) if library is not None else ""
    if key not in _shared:
        _shared[key] = SlipdrvLibrary(library)
    return _shared[key]


class PrinterStatus(enum.IntFlag):
    """What the four real-time statuses (``BPRealtimeGetStatus(1..4)``) report.

    An empty value means the printer is ready with paper to spare.
    """

    DRAWER_PIN = enum.auto()
    """Status 1: the drawer kick-out connector's pin 3 is high (the drawer sensor)."""
    OFFLINE = enum.auto()
    """Status 1: the printer is offline."""
    COVER_OPEN = enum.auto()
    """Status 2: the cover is open."""
    FEED_BUTTON = enum.auto()
    """Status 2: paper is being fed by the feed button."""
    PAPER_END_STOP = enum.auto()
    """Status 2: printing stopped at the end of the paper."""
    ERROR = enum.auto()
    """Status 2: an error occurred."""
    AUTOCUTTER_ERROR = enum.auto()
    """Status 3: the autocutter failed."""
    UNRECOVERABLE = enum.auto()
    """Status 3: an unrecoverable error occurred."""
    AUTO_RECOVERABLE = enum.auto()
    """Status 3: an error that clears by itself occurred."""
    PAPER_NEAR_END = enum.auto()
    """Status 4: the paper roll is nearly used up."""
    PAPER_END = enum.auto()
    """Status 4: the paper has run out."""

    @classmethod
    def from_replies(cls, replies: tuple[int, int, int, int]) -> PrinterStatus:
        """The flags of the reply bytes to ``BPRealtimeGetStatus(1)`` to ``(4)``.

        A flag is set when all the bits it stands for are set in its reply.
        """
        flags = cls(0)
        for flag, n, bits in _STATUS_BITS:
            if replies[n - 1] & bits == bits:
                flags |= flag
        return flags

    @property
    def ready(self) -> bool:
        """Whether the printer can print: none of the flags that stop it is set."""
        return not self & _NOT_READY


# (flag, status n, its bits in the reply): the SLIPDRV_STATUS<n>_* constants of slipdrv.h.
_STATUS_BITS = (
    (PrinterStatus.DRAWER_PIN, 1, 0x04),
    (PrinterStatus.OFFLINE, 1, 0x08),
    (PrinterStatus.COVER_OPEN, 2, 0x04),
    (PrinterStatus.FEED_BUTTON, 2, 0x08),
    (PrinterStatus.PAPER_END_STOP, 2, 0x20),
    (PrinterStatus.ERROR, 2, 0x40),
    (PrinterStatus.AUTOCUTTER_ERROR, 3, 0x08),
    (PrinterStatus.UNRECOVERABLE, 3, 0x20),
    (PrinterStatus.AUTO_RECOVERABLE, 3, 0x40),
    (PrinterStatus.PAPER_NEAR_END, 4, 0x0C),
    (PrinterStatus.PAPER_END, 4, 0x60),
)
# The flags under which the printer cannot print.
_NOT_READY = (
    PrinterStatus.OFFLINE
    | PrinterStatus.COVER_OPEN
    | PrinterStatus.PAPER_END_STOP
    | PrinterStatus.ERROR
    | PrinterStatus.AUTOCUTTER_ERROR
    | PrinterStatus.UNRECOVERABLE
    | PrinterStatus.AUTO_RECOVERABLE
    | PrinterStatus.PAPER_END
)


class Barcode(enum.IntEnum):
    """Barcode symbologies, as ``BPPrintBarCode``'s format B codes (the count byte first)."""

    UPC_A = 65
    """11-12 digits."""
    UPC_E = 66
    """11-12 digits."""
    JAN13 = 67
    """EAN-13: 12-13 digits."""
    JAN8 = 68
    """EAN-8: 7-8 digits."""
    CODE39 = 69
    """0-9, A-Z, space and $ % + - . /"""
    ITF = 70
    """An even number of digits."""
    CODABAR = 71
    """NW-7: 0-9, A-Z and $ + - . / :"""
    CODE93 = 72
    """Bytes 01-FF."""
    CODE128 = 73
    """Bytes 01-FF, starting with a code set: "{A", "{B" or "{C"."""
    PRINTER_OWN_13_DIGITS = 74
    """The printer's own code, 12-13 digits."""
    PRINTER_OWN_8_DIGITS = 75
    """The printer's own code, 7-8 digits."""


class Hri(enum.IntEnum):
    """Where the human-readable text of a barcode goes (``BPSelectHRIPosition``)."""

    NONE = 0
    """No text."""
    ABOVE = 1
    """Above the bars."""
    BELOW = 2
    """Below the bars."""
    BOTH = 3
    """Above and below."""


class QrLevel(enum.IntEnum):
    """Error correction of a QR code: the share of the symbol that can be restored."""

    L = 48
    """About 7%."""
    M = 49
    """15%."""
    Q = 50
    """25%."""
    H = 51
    """30%."""


StatusCallback = Callable[[int], None]
"""A host's status callback: receives each byte the printer sends by itself (0-255)."""

Data = Union[str, bytes]
"""Text (sent as UTF-8) or bytes (sent as they are)."""

_JUSTIFICATION = {"left": 0, "centre": 1, "center": 1, "right": 2}
# Lines, each with its newline; a last line without one is kept too.
_LINES = re.compile(r"[^\n]*\n|[^\n]+")


def _shown(value: object) -> str:
    text = repr(value)
    return text if len(text) <= 40 else text[:37] + "..."


class Printer:
    """A receipt printer on a serial or parallel port, through slipdrv.

    Use it as a context manager, which closes the port at the end::

        with Printer(1, 9600) as printer:      # COM1; SLIPDRV_COM1 on Linux
            printer.title("星光台球俱乐部")
            printer.text("台费  35.50元\\n")
            printer.cut()

    Every method raises PrinterError naming the export that failed.
    """

    def __init__(
        self, port: int | None = None, baud: int = 9600, *, library: str | os.PathLike[str] | None = None
    ) -> None:
        """Loads the library (see ``load_slipdrv``) and, when ``port`` is given, opens it."""
        self.lib: SlipdrvLibrary = load_slipdrv(library)
        """The library with every export declared, for what the methods do not cover."""
        self._print_utf8 = self.lib.BPPrintStringUTF8
        self._callback_on = False
        self._open = False
        if port is not None:
            self.open(port, baud)

    def _call(self, name: str, *args: object) -> int:
        function = getattr(self.lib, name)
        if function is None:
            raise NotAvailableError(name)
        result: int = function(*args)
        if result == -1:
            raise PrinterError(f"{name}({', '.join(_shown(a) for a in args)})", result)
        return result

    def open(self, port: int = 1, baud: int = 9600) -> None:
        """Opens port 1-10 (COM1-COM10, on Linux ``SLIPDRV_COM<n>`` or
        ``/dev/ttyS<n-1>``) at ``baud`` (2400-115200), or 11-12 (LPT1-LPT2)."""
        self._call("BPOpenPrinter", port, baud)
        self._open = True

    def close(self) -> None:
        """Closes the port (nothing happens when it is not open)."""
        if self._open:
            self._open = False
            self.lib.BPClosePrinter()

    @property
    def is_open(self) -> bool:
        """Whether this object opened the port and has not closed it."""
        return self._open

    def __enter__(self) -> Printer:
        return self

    def __exit__(
        self, kind: type[BaseException] | None, error: BaseException | None, trace: TracebackType | None
    ) -> None:
        self.close()

    def initialize(self) -> None:
        """Resets the printer's settings (ESC @)."""
        self._call("BPInitializePrinter")

    def align(self, where: str) -> None:
        """Justifies the following lines: "left", "centre" (or "center") or "right"."""
        if where not in _JUSTIFICATION:
            raise ValueError(f"alignment must be left, centre or right, not {where!r}")
        self._call("BPSelectJustification", _JUSTIFICATION[where])

    def text(self, text: str) -> None:
        """Prints text; a line is printed when its newline ("\\n") arrives.

        Multi-byte characters go out in GB18030 (the encoding of the printer's
        Chinese mode) through ``BPPrintStringUTF8``, or, with a library that
        lacks it, encoded here and sent through ``BPPrintString``. Chinese mode
        is selected before each run of lines that holds a character beyond
        ASCII and left after it. Nothing is sent when the text holds a zero
        character or a character that cannot be encoded (ValueError).
        """
        if "\0" in text:
            raise ValueError("the text holds a zero character, which would end it")
        runs: list[tuple[bool, str]] = []
        for line in _LINES.findall(text):
            chinese = not line.isascii()
            if runs and runs[-1][0] == chinese:
                runs[-1] = (chinese, runs[-1][1] + line)
            else:
                runs.append((chinese, line))
        encoded = [(chinese, run.encode("utf-8" if self._print_utf8 else "gb18030")) for chinese, run in runs]
        for chinese, data in encoded:
            if chinese:
                self._call("BPSelectChineseMode")
            if self._print_utf8 is not None:
                self._call("BPPrintStringUTF8", data)
            else:
                self._call("BPPrintString", data)
            if chinese:
                self._call("BPExitChineseMode")

    def title(self, text: str) -> None:
        """Prints one line centred at double width and height, then returns to
        normal size and left justification."""
        self._call("BPSelectJustification", 1)
        self._call("BPSelectCharacterSize", 1, 1)
        self.text(text + "\n")
        self._call("BPSelectCharacterSize", 0, 0)
        self._call("BPSelectJustification", 0)

    def barcode(
        self,
        data: Data,
        symbology: Barcode | int = Barcode.CODE128,
        *,
        height: int | None = None,
        module_width: int | None = None,
        hri: Hri | int | None = None,
    ) -> None:
        """Prints a barcode of ``data`` (ASCII text or bytes, at most 255).

        ``height`` in dots (1-255), ``module_width`` (2-6) and ``hri`` are set
        first when given, and stay for the following barcodes. CODE128 data
        that does not start with a code set ("{A", "{B", "{C") is given "{B".
        """
        raw = data.encode("ascii") if isinstance(data, str) else bytes(data)
        if symbology == Barcode.CODE128 and not raw.startswith(b"{"):
            raw = b"{B" + raw
        if height is not None:
            self._call("BPSetBarCodeHeight", height)
        if module_width is not None:
            self._call("BPSetBarCodeWidth", module_width)
        if hri is not None:
            self._call("BPSelectHRIPosition", int(hri))
        self._call("BPPrintBarCode", int(symbology), len(raw), raw)

    def qr(self, data: Data, module_size: int = 6, level: QrLevel | int = QrLevel.M) -> None:
        """Prints a QR code of ``data`` (text as UTF-8, or bytes; 1-7089 bytes)
        with modules of ``module_size`` dots (1-16).

        Raises NotAvailableError with a library that has no ``BPPrintQRCode``.
        """
        raw = data.encode("utf-8") if isinstance(data, str) else bytes(data)
        self._call("BPPrintQRCode", raw, module_size, int(level))

    def image(self, path: str | os.PathLike[str], mode: int = 33) -> None:
        """Prints a bitmap file (BMP; on Linux also PNG and JPEG) in bit-image
        mode ``mode`` (0 and 1: 8-dot bands, others: 24-dot bands).

        The library stages the image in ``top.bin`` in the current directory.
        """
        self._call("BPPrintBitmap", os.fsencode(path), mode)

    def feed(self, lines: int = 1) -> None:
        """Prints what is pending and feeds ``lines`` lines (0-255)."""
        self._call("BPPrintFeedSomeLines", lines)

    def cut(self, feed: int = 0) -> None:
        """Feeds the paper to the cutter plus ``feed`` (0-255) and cuts (GS V 66 n)."""
        self._call("BPSelectCutPaper", 66, feed)

    def drawer(self) -> None:
        """Opens the cash drawer (a pulse on pin 2 of the kick-out connector)."""
        self._call("BPOpenCashBox")

    def status_replies(self) -> tuple[int, int, int, int]:
        """The reply bytes to ``BPRealtimeGetStatus(1)`` to ``(4)``.

        The status callback and the queries share what the printer sends, so
        delivery to the callback is off while they run. Raises PrinterError
        when the printer does not answer one of them.
        """
        paused = self._callback_on
        if paused:
            self.lib.BPEnableCallBackFunc(0)
        try:
            replies = tuple(self._call("BPRealtimeGetStatus", n) for n in (1, 2, 3, 4))
        finally:
            if paused:
                self.lib.BPEnableCallBackFunc(1)
        return replies  # type: ignore[return-value]

    def status(self) -> PrinterStatus:
        """The printer's state as named flags (see ``status_replies``)."""
        return PrinterStatus.from_replies(self.status_replies())

    def on_status(self, callback: StatusCallback | None) -> None:
        """Hands each byte the printer sends by itself (automatic status,
        replies nobody asked for) to ``callback``, on a thread of the library's,
        one call at a time. None turns delivery off; the bytes are kept for the
        queries meanwhile.

        An exception in the callback is printed and otherwise ignored. The
        callback stays alive as long as the library is loaded.
        """
        if callback is None:
            self.lib.BPEnableCallBackFunc(0)
            self._callback_on = False
            return
        user = callback

        def relay(status: int) -> None:
            user(status & 0xFF)

        thunk = StatusCallbackType(relay)
        self.lib.keep(thunk)
        self._call("BPSetCallBackFunc", thunk)
        self.lib.BPEnableCallBackFunc(1)
        self._callback_on = True
