"""The receipt printer through the slipdrv library.

``Printer`` covers what a till prints; ``SlipdrvLibrary`` (``Printer.lib``)
has every export of the library, each checking its arguments before the call,
for the rest. The library drives one port at a time for the whole process, so
only one ``Printer`` of a process can have a port open at a time.
"""

from __future__ import annotations

import collections
import collections.abc
import ctypes
import enum
import operator
import os
import re
import threading
import weakref
from types import TracebackType
from pathlib import Path
from typing import Any, Callable, NamedTuple, Sequence, Union

from ._loader import library_dirs, load_library
from ._text import ENCODINGS, Encoder, check_cells, lay_out_row, parse_layout
from .errors import LibraryNotFoundError, NotAvailableError, PortInUseError, PrinterError

_WINDOWS = os.name == "nt"

# The status callback as slipdrv.h declares it: void (SLIPDRV_CALL *)(int), and
# SLIPDRV_CALL is __stdcall on Windows (callee cleans the stack on i686).
_CallbackType = ctypes.WINFUNCTYPE if _WINDOWS else ctypes.CFUNCTYPE  # type: ignore[attr-defined]
StatusCallbackType = _CallbackType(None, ctypes.c_int)
"""The ctypes type of a status callback (``BPSetCallBackFunc``'s argument)."""

StatusCallback = Callable[[int], None]
"""A host's status callback: receives each byte the printer sends by itself (0-255)."""

# The exports and their arguments come from the library's export list,
# slipdrv.exports, which the build makes from slipdrv/exports.txt and which sits
# beside the library (in its build folder and where it is installed), so the
# signatures are always those of the library loaded. One line per export:
# "ordinal name convention code...", the convention "stdcall" or "cdecl"
# (caller-cleans: called through ctypes.CDLL on Windows), one code for each
# argument, by what the export does with it:
#   "i"     int: a 32-bit signed integer.
#   "s"     const char*, read up to its first zero byte: bytes.
#   "f"     the status callback: a StatusCallbackType.
#   "rN"    const int*, of which the export reads N: N integers (a sequence),
#           or a c_int array of at least N.
#   "wN"    unsigned char*, into which the export writes N bytes: a writable
#           buffer (bytearray, ctypes.create_string_buffer) of at least N bytes.
#   "bK*A"  const char*, of which the export reads K bytes for each unit of
#           argument A (counted from 0): a bytes-like object at least that long.
# Every pointer also takes None, the null pointer, which each export refuses (-1).
EXPORT_LIST = "slipdrv.exports"


class ExportSignature(NamedTuple):
    """One export as the export list gives it."""

    ordinal: int
    codes: tuple[str, ...]
    caller_cleans: bool


def read_export_list(text: str, where: str = EXPORT_LIST) -> dict[str, ExportSignature]:
    """The exports of an export list's text, in its order; ValueError for a
    line that is not "ordinal name stdcall|cdecl code..."."""
    exports: dict[str, ExportSignature] = {}
    for number, line in enumerate(text.splitlines(), 1):
        fields = line.split()
        if not fields or fields[0].startswith("#"):
            continue
        if len(fields) < 3 or not fields[0].isdigit() or fields[2] not in ("stdcall", "cdecl"):
            raise ValueError(f"{where}:{number}: not an export line: {line!r}")
        for code in fields[3:]:
            if not _CODE.fullmatch(code):
                raise ValueError(f"{where}:{number}: unknown argument code {code!r}")
        exports[fields[1]] = ExportSignature(int(fields[0]), tuple(fields[3:]), fields[2] == "cdecl")
    return exports


def _find_export_list(library_path: str) -> Path:
    """The export list beside the loaded library; for a library the system
    found by its name alone, the first in the folders searched for libraries."""
    folders = [Path(library_path).parent] if os.path.dirname(library_path) else library_dirs()
    for folder in folders:
        if (folder / EXPORT_LIST).is_file():
            return folder / EXPORT_LIST
    raise LibraryNotFoundError(
        "slipdrv",
        [f"{library_path} loaded, but no {EXPORT_LIST} in {', '.join(str(f) for f in folders)}"],
    )


# Turns one argument into what the ctypes function takes; raises before the
# call when the value does not fit: TypeError for a value of the wrong kind,
# ValueError for a buffer too short, OverflowError for an integer beyond 32 bits.
_Convert = Callable[[object, Sequence[object], str], object]
_CODE = re.compile(r"([isf])|([rw])([0-9]+)|b([0-9]+)\*([0-9]+)|u([0-9]+)")


def _int32(value: object, where: str) -> int:
    try:
        number = operator.index(value)  # type: ignore[arg-type]
    except TypeError:
        raise TypeError(f"{where} must be an integer, not {type(value).__name__}") from None
    if not -(2**31) <= number < 2**31:
        raise OverflowError(f"{where} must fit in 32 bits (-2147483648 to 2147483647), not {number}")
    return number


def _convert_int(value: object, args: Sequence[object], where: str) -> object:
    return _int32(value, where)


def _convert_string(value: object, args: Sequence[object], where: str) -> object:
    if value is not None and not isinstance(value, bytes):
        raise TypeError(f"{where} must be bytes or None, not {type(value).__name__}")
    return value


def _convert_callback(value: object, args: Sequence[object], where: str) -> object:
    if value is not None and not isinstance(value, StatusCallbackType):
        raise TypeError(f"{where} must be a StatusCallbackType or None, not {type(value).__name__}")
    return value


def _buffer(value: object, where: str, what: str) -> memoryview:
    try:
        view = memoryview(value)  # type: ignore[arg-type]
    except TypeError:
        raise TypeError(f"{where} must be {what} or None, not {type(value).__name__}") from None
    if not view.c_contiguous:
        raise TypeError(f"{where} must be {what}, not a buffer with gaps")
    return view


def _read_ints(count: int) -> _Convert:
    def convert(value: object, args: Sequence[object], where: str) -> object:
        if value is None:
            return None
        if isinstance(value, ctypes.Array) and value._type_ is ctypes.c_int:
            if len(value) < count:
                raise ValueError(f"{where} must hold {count} integers, not {len(value)}")
            return value
        if not isinstance(value, collections.abc.Sequence) or isinstance(value, str):
            raise TypeError(f"{where} must be a sequence of {count} integers, not {type(value).__name__}")
        if len(value) != count:
            raise ValueError(f"{where} must hold {count} integers, not {len(value)}")
        return (ctypes.c_int * count)(*(_int32(item, f"{where}[{i}]") for i, item in enumerate(value)))

    return convert


def _written_bytes(count: int) -> _Convert:
    what = f"a writable buffer of {count} bytes"

    def convert(value: object, args: Sequence[object], where: str) -> object:
        if value is None:
            return None
        view = _buffer(value, where, what)
        if view.readonly:
            raise TypeError(f"{where} must be {what}, not the read-only {type(value).__name__}")
        if view.nbytes < count:
            raise ValueError(f"{where} must be {what}, not one of {view.nbytes}")
        # The library writes into the caller's memory itself, through this view.
        return (ctypes.c_ubyte * count).from_buffer(view)

    return convert


def _written_up_to(counter: int) -> _Convert:
    def convert(value: object, args: Sequence[object], where: str) -> object:
        if value is None:
            return None
        size = _int32(args[counter], where)
        what = f"a writable buffer of at least {max(size, 0)} bytes (argument {counter + 1})"
        view = _buffer(value, where, what)
        if view.readonly:
            raise TypeError(f"{where} must be {what}, not the read-only {type(value).__name__}")
        if view.nbytes < size:
            raise ValueError(f"{where} must be {what}, not one of {view.nbytes}")
        # The library writes into the caller's memory itself, through this view.
        return (ctypes.c_char * max(view.nbytes, 1)).from_buffer(view) if view.nbytes else None

    return convert


def _read_bytes(per_unit: int, counter: int) -> _Convert:
    def convert(value: object, args: Sequence[object], where: str) -> object:
        if value is None:
            return None
        needed = per_unit * max(0, _int32(args[counter], where))
        view = _buffer(value, where, f"{needed} bytes")
        if view.nbytes < needed:
            units = f"{per_unit} for each unit of argument {counter + 1}"
            raise ValueError(f"{where} must hold {needed} bytes ({units}), not {view.nbytes}")
        return value if isinstance(value, bytes) else (ctypes.c_char * view.nbytes).from_buffer_copy(view)

    return convert


def _argument(code: str) -> tuple[Any, _Convert]:
    """The ctypes type and the converter of an argument code of the export list."""
    match = _CODE.fullmatch(code)
    if not match:
        raise ValueError(f"unknown argument code {code!r}")
    simple, pointer, count, per_unit, counter, size_at = match.groups()
    if simple == "i":
        return ctypes.c_int, _convert_int
    if simple == "s":
        return ctypes.c_char_p, _convert_string
    if simple == "f":
        return StatusCallbackType, _convert_callback
    if pointer == "r":
        return ctypes.POINTER(ctypes.c_int), _read_ints(int(count))
    if pointer == "w":
        return ctypes.POINTER(ctypes.c_ubyte), _written_bytes(int(count))
    if size_at is not None:
        return ctypes.POINTER(ctypes.c_char), _written_up_to(int(size_at))
    return ctypes.c_char_p, _read_bytes(int(per_unit), int(counter))


class Export:
    """One export of the library: checks its arguments by what the export
    does with them (see ``read_export_list``), then calls it and returns its result.

    Raises before the call, with nothing sent: TypeError for a value of the
    wrong kind (str for a ``const char*``, bytes for a buffer the library
    writes), ValueError for a buffer shorter than the export reads or writes,
    OverflowError for an integer beyond 32 bits (which ctypes would cut).
    """

    def __init__(self, name: str, codes: tuple[str, ...], raw: Any, on_callback: Callable[[Any], None]) -> None:
        self.name = name
        """The export's name, as in slipdrv.h."""
        self.codes = codes
        """Its argument codes (see ``read_export_list``)."""
        self.raw = raw
        """The ctypes function, which checks nothing beyond what ctypes does."""
        argtypes, self._converters = zip(*map(_argument, codes)) if codes else ((), ())
        raw.argtypes = list(argtypes)
        raw.restype = ctypes.c_int
        self._callback_at = codes.index("f") if "f" in codes else None
        self._on_callback = on_callback

    def __call__(self, *args: object) -> int:
        if len(args) != len(self.codes):
            count = len(self.codes)
            raise TypeError(f"{self.name} takes {count} argument{'' if count == 1 else 's'} ({len(args)} given)")
        values = [
            convert(value, args, f"{self.name} argument {i + 1}")
            for i, (convert, value) in enumerate(zip(self._converters, args))
        ]
        result: int = self.raw(*values)
        if self._callback_at is not None and result == 0:
            self._on_callback(values[self._callback_at])
        return result

    def __repr__(self) -> str:
        return f"<slipdrv export {self.name}({', '.join(self.codes)})>"


class SlipdrvLibrary:
    """The loaded slipdrv library: one ``Export`` per export, named as in
    slipdrv.h (``lib.BPPrintString(b"x\\n")``), which checks its arguments and
    then calls the library.

    An export the loaded file lacks is None (``BPPrintQRCode`` and
    ``BPPrintStringUTF8`` are younger than the others).

    A callback handed to ``BPSetCallBackFunc`` is kept alive by the library
    object while it is the library's and for three replacements after.
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
        # The library keeps one callback pointer, and its delivery thread reads
        # it anew for each byte it hands on, just before calling it. A replaced
        # callback can so still be called once, by a delivery that read the
        # pointer before the replacement (closing the port does not wait for a
        # call already running either), and nothing tells when that call is
        # over. The callbacks set through BPSetCallBackFunc are therefore kept
        # until three more have been set: enough unless a host replaces them
        # faster than one byte is delivered, and bounded however often it does.
        self._set_callbacks: collections.deque[Any] = collections.deque(maxlen=4)
        # Printer.on_status never replaces the library's pointer: it always
        # hands over this one thunk, which calls whichever Python callback is
        # current when the byte arrives. Nothing the library can call is ever
        # freed, and a replaced Python callback goes as soon as no call runs it.
        self._status_target: StatusCallback | None = None
        self._status_thunk = StatusCallbackType(self._dispatch_status)
        self._kept: list[Any] = []
        self.export_list = _find_export_list(self.path)
        """The export list the signatures were read from (``slipdrv.exports``)."""
        self.signatures = read_export_list(self.export_list.read_text(), str(self.export_list))
        """Every export of the export list, by name, in ordinal order."""
        for name, signature in self.signatures.items():
            try:
                raw = getattr(self._cdecl_dll if signature.caller_cleans else self._dll, name)
            except AttributeError:
                export = None
            else:
                export = Export(name, signature.codes, raw, self._hold_callback)
            setattr(self, name, export)

    def _hold_callback(self, callback: Any) -> None:
        if not self._set_callbacks or self._set_callbacks[-1] is not callback:
            self._set_callbacks.append(callback)

    def _dispatch_status(self, status: int) -> None:
        target = self._status_target
        if target is not None:
            target(status & 0xFF)

    def __getattr__(self, name: str) -> Any:
        # Reached only for names that are not exports (those are set when
        # loading); declared so that type checkers accept the exports.
        raise AttributeError(f"slipdrv has no export {name}")

    def has(self, export: str) -> bool:
        """Whether the loaded library has the export ``export``."""
        return getattr(self, export, None) is not None

    def keep(self, callback: ctypes._CFuncPtr) -> None:  # type: ignore[name-defined]
        """Keeps a ctypes callback alive for as long as the library is loaded."""
        self._kept.append(callback)


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


Data = Union[str, bytes]
"""Text (sent as UTF-8) or bytes (sent as they are)."""

_JUSTIFICATION = {"left": 0, "centre": 1, "center": 1, "right": 2}
# Lines, each with its newline; a last line without one is kept too.
_LINES = re.compile(r"[^\n]*\n|[^\n]+")


def _shown(value: object) -> str:
    text = repr(value)
    return text if len(text) <= 40 else text[:37] + "..."


# The Printer of this process that has a port open, if any. The library drives
# one port for the whole process: a second Printer's open would take over the
# first one's port, its close would close it, and the two would share replies.
# Held weakly, so that a Printer dropped without closing does not bar the port.
_port_lock = threading.Lock()
_port_holder: weakref.ref[Printer] | None = None


def _holder() -> Printer | None:
    return _port_holder() if _port_holder is not None else None


class Port(NamedTuple):
    """A port ``ports()`` lists."""

    name: str
    """The text that opens it: ``Printer(port.name)``."""
    device_id: str
    """A USB printer's IEEE 1284 device ID (``MFG:...;MDL:...;``); empty for other ports."""


# Port texts and queue names as the library takes them: the ANSI code page on
# Windows, UTF-8 elsewhere.
_TEXT_ENCODING = "mbcs" if _WINDOWS else "utf-8"


def ports(*, library: str | os.PathLike[str] | None = None) -> list[Port]:
    """The ports that can be opened now (``BPEnumPrinterPorts``): COM and LPT
    ports that exist or are mapped, each printer queue (the default first),
    each USB printer."""
    lib = load_slipdrv(library)
    if lib.BPEnumPrinterPorts is None:
        raise NotAvailableError("BPEnumPrinterPorts")
    size = 4096
    while True:
        buffer = ctypes.create_string_buffer(size)
        count = lib.BPEnumPrinterPorts(buffer, size)
        if count >= 0:
            break
        if size >= 1 << 24:
            raise PrinterError(f"BPEnumPrinterPorts(buffer, {size})", count)
        size *= 4
    lines = buffer.value.decode(_TEXT_ENCODING, errors="replace").split("\n")[:count]
    return [Port(*line.split("\t", 1)) if "\t" in line else Port(line, "") for line in lines]


class Printer:
    """A receipt printer on a serial, parallel, network, queue or USB port, through slipdrv.

    Use it as a context manager, which closes the port at the end::

        with Printer(1, 9600) as printer:      # COM1; SLIPDRV_COM1 on Linux
                                               # or Printer("printer:Receipt"), see open()
            printer.title("星光台球俱乐部")
            printer.text("台费  35.50元\\n")
            printer.cut()

    The library drives one port for the whole process, so one Printer at a
    time can have a port open: opening another while one is open raises
    PortInUseError (a PrinterError). Closing it, or its failing to open, leaves
    the port to the next.

    Every method raises PrinterError naming the export that failed, and
    TypeError, ValueError or OverflowError (an integer beyond 32 bits) with
    nothing sent for an argument the library cannot take.
    """

    def __init__(
        self,
        port: int | str | None = None,
        baud: int = 9600,
        *,
        library: str | os.PathLike[str] | None = None,
        encoding: str = "gb18030",
    ) -> None:
        """Loads the library (see ``load_slipdrv``) and, when ``port`` is given, opens it.

        ``encoding`` is the character set text(), title(), row() and table()
        send multi-byte characters in: "gb18030" (the default), "gbk" (its
        two-byte codes), "big5" or "utf-8" (the text as it is), as the
        printer is set up to read them; ValueError for another name.
        """
        if encoding not in ENCODINGS:
            raise ValueError(f"encoding must be one of {', '.join(ENCODINGS)}, not {encoding!r}")
        self.lib: SlipdrvLibrary = load_slipdrv(library)
        """The library with every export declared, for what the methods do not cover."""
        self.encoding = encoding
        """The character set of this Printer's text (see above)."""
        self._encoder = Encoder(encoding)
        self._print_utf8 = self.lib.BPPrintStringUTF8
        self._set_encoding = self.lib.BPSetTextEncoding
        self._print_row = self.lib.BPPrintRowUTF8
        self._callback_on = False
        self._open = False
        self._port: int | str = 0
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

    def open(self, port: int | str = 1, baud: int = 9600) -> None:
        """Opens port 1-10 (COM1-COM10, on Linux ``SLIPDRV_COM<n>`` or
        ``/dev/ttyS<n-1>``) at ``baud`` (2400-115200), or 11-12 (LPT1-LPT2);
        or the port a text names (``BPOpenPrinterByName``; ``baud`` is not
        used): ``"COM3:115200"``, ``"LPT1"``, ``"tcp://192.168.1.87:9100"``,
        ``"printer:Receipt"`` (a printer queue; ``"printer:"`` the default
        one), ``"usb:"`` or ``"usb:MDL:POS-80"`` (a USB printer). ``ports()``
        lists the texts of the ports there are.

        Raises PortInUseError while another Printer of the process has a port open.
        """
        global _port_holder
        with _port_lock:
            holder = _holder()
            args: tuple[object, ...]
            if isinstance(port, str):
                call, args = "BPOpenPrinterByName", (port.encode(_TEXT_ENCODING),)
            else:
                call, args = "BPOpenPrinter", (port, baud)
            if holder is not None and holder is not self:
                raise PortInUseError(f"{call}({', '.join(_shown(a) for a in args)})", holder._port)
            self._call(call, *args)
            _port_holder = weakref.ref(self)
            self._open = True
            self._port = port

    def close(self) -> None:
        """Closes the port and ends delivery to the status callback (nothing
        happens when it is not open)."""
        global _port_holder
        if self._open:
            with _port_lock:
                self._open = False
                # Delivery is the library's, not the port's: left on, the next
                # Printer's port would hand its bytes to this one's callback.
                if self._callback_on:
                    self.on_status(None)
                self.lib.BPClosePrinter()
                if _holder() is self:
                    _port_holder = None

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

    def _library_converts(self, export: Any) -> bool:
        """Whether the library's own UTF-8 export can send this Printer's text:
        it has the export, and can be set to the encoding (or needs no setting)."""
        return export is not None and (self._set_encoding is not None or self.encoding == "gb18030")

    def _select_encoding(self) -> None:
        # The setting is the library's, for every Printer: set before each use.
        if self._set_encoding is not None:
            self._call("BPSetTextEncoding", ENCODINGS[self.encoding])

    def text(self, text: str) -> None:
        """Prints text; a line is printed when its newline ("\\n") arrives.

        Multi-byte characters go out in the Printer's encoding through
        ``BPPrintStringUTF8``, or, with a library that lacks it (or cannot be
        set to the encoding), encoded here and sent through ``BPPrintString``.
        A character GBK or Big5 lacks is sent as one it has that reads the same
        (the full-width yen sign for the yen sign) or as '?'. Chinese mode is
        selected before each run of lines that holds a character beyond ASCII
        and left after it. Nothing is sent when the text holds a zero character
        or a character that cannot be encoded (ValueError).
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
        library = self._library_converts(self._print_utf8)
        encoded = [(chinese, run.encode("utf-8") if library else self._encoder.encode(run)) for chinese, run in runs]
        if library:
            self._select_encoding()
        for chinese, data in encoded:
            if chinese:
                self._call("BPSelectChineseMode")
            if library:
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

    def row(self, cells: Sequence[str], layout: str) -> None:
        """Prints one bill row: the texts of ``cells`` in columns as ``layout``
        says, comma-separated, each a width in columns (1-255) and L, C or R
        (left, centred, right), such as "20L,12R" (48 columns fill 80 mm paper,
        32 fill 58 mm, at normal size).

        A multi-byte character takes two columns (in UTF-8: an East Asian wide
        or full-width one), the rest one. A text wider than its cell goes on
        over further lines in its own column, broken at a blank or between two
        wide characters where it can be; the other cells are blank there.

        Sent in one write through ``BPPrintRowUTF8`` or, with a library that
        lacks it, laid out here the same way and printed as text() prints
        (Chinese mode around the lines with multi-byte characters). Nothing is
        sent, ValueError, for a bad layout, a row without one text per cell, a
        control character in a text, a character wider than its cell or, in
        GB18030, one of the few private-use characters without a code.
        """
        self.table([cells], layout)

    def table(self, rows: Sequence[Sequence[str]], layout: str) -> None:
        """Prints each row as ``row`` does, all in the one ``layout``; every
        row is checked before the first is sent."""
        rows = list(rows)
        columns = parse_layout(layout)
        for cells in rows:
            check_cells(cells, columns)
        # Laid out here in every case: a refusal comes before anything is sent.
        laid_out = [lay_out_row(cells, columns, self._encoder) for cells in rows]
        if self._library_converts(self._print_row):
            self._select_encoding()
            for cells in rows:
                self._call("BPPrintRowUTF8", "\t".join(cells).encode("utf-8"), layout.encode("ascii"))
            return
        for lines in laid_out:
            # Chinese mode from the first line that needs it to the row's end, as the library sends it.
            first = next((n for n, line in enumerate(lines) if not line.isascii()), len(lines))
            if first > 0:
                self._call("BPPrintString", b"".join(lines[:first]))
            if first < len(lines):
                self._call("BPSelectChineseMode")
                self._call("BPPrintString", b"".join(lines[first:]))
                self._call("BPExitChineseMode")

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
        callback is kept alive until another one (or None) replaces it; a call
        that has begun before then still runs to its end.
        """
        if callback is None:
            self.lib.BPEnableCallBackFunc(0)
            self._callback_on = False
            self.lib._status_target = None
            return
        self.lib._status_target = callback
        self._call("BPSetCallBackFunc", self.lib._status_thunk)
        self.lib.BPEnableCallBackFunc(1)
        self._callback_on = True
