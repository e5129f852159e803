"""The table controller through libkorvel (``korvel_send_data``).

One request writes 64 on/off digits, one per table, to the device at an
address on COM1 (on Linux ``KORVEL_COM1``, else ``/dev/ttyS0``) at 1200 baud.
On Windows the kit offers Korvel.dll, an automation server, instead of this
library.
"""

from __future__ import annotations

import ctypes
import os
from typing import Iterable, Union

from ._loader import load_library
from .errors import KorvelError

KORVEL_DATAS_SIZE = 257
"""A buffer of this size always holds the normalised text and its zero (korvel.h)."""

_DESCRIPTION_SIZE = 512

Bits = Union[str, Iterable[Union[bool, int]]]
"""Digits as text ("1010...", as the library takes them) or one truth value a table."""

_shared: dict[str, ctypes.CDLL] = {}


def _load(library: str | os.PathLike[str] | None) -> ctypes.CDLL:
    key = os.fspath(library) if library is not None else ""
    if key not in _shared:
        dll, _ = load_library("korvel", ctypes.CDLL, library)
        function = dll.korvel_send_data
        function.argtypes = [
            ctypes.c_int16,
            ctypes.c_char_p,
            ctypes.c_size_t,
            ctypes.POINTER(ctypes.c_int16),
            ctypes.c_char_p,
            ctypes.c_size_t,
        ]
        function.restype = ctypes.c_int
        _shared[key] = dll
    return _shared[key]


def _digits(bits: Bits) -> str:
    if isinstance(bits, str):
        return bits
    return "".join("1" if bit else "0" for bit in bits)


class TableController:
    """The table controller on COM1, switched through libkorvel.

    ``send`` blocks for at least the half second the device has to answer.
    """

    def __init__(self, *, library: str | os.PathLike[str] | None = None) -> None:
        """Loads libkorvel from the file ``library``, or searches for it like
        the printer library (``COUNTERKIT_LIBDIR``, beside the package, the
        install prefixes, the system)."""
        self._dll = _load(library)
        self.last_digits: str = ""
        """The text of the last request as it was sent: normalised to 64 digits."""

    def send(self, address: int, bits: Bits) -> bool:
        """Writes ``bits`` to the device at ``address`` (0-255).

        Text is normalised as the library does it: cut or padded with "0" to
        64 characters, each group of 8 read as binary digits (digit 1 is
        table 1: bit 7 of the high byte of register 0x0100). Returns True when
        the reply came from ``address``, False when another device answered.
        Raises KorvelError with the library's error number and text: 6 for an
        address or a group out of range, 9 when nothing answered, 80xx when
        the port cannot be used.
        """
        if not -32768 <= address <= 32767:
            # The library takes a 16-bit address; a wider one must not wrap.
            raise KorvelError(6, "Overflow")
        encoded = _digits(bits).encode("utf-8")
        datas = ctypes.create_string_buffer(encoded, max(len(encoded) + 1, KORVEL_DATAS_SIZE))
        result = ctypes.c_int16(0)
        description = ctypes.create_string_buffer(_DESCRIPTION_SIZE)
        error = self._dll.korvel_send_data(
            address, datas, len(datas), ctypes.byref(result), description, len(description)
        )
        if error != 0:
            raise KorvelError(error, description.value.decode("utf-8", "replace"))
        self.last_digits = datas.value.decode("utf-8", "replace")
        return result.value == 0
