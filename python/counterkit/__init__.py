"""The counter kit from Python: the receipt printer, the table controller and
spoken announcements, over the kit's own libraries and programs (ctypes, no
compiled code of its own).

* ``Printer``: a receipt printer through the slipdrv library;
* ``TableController``: the table lights through libkorvel;
* ``announce``: one spoken announcement through ``vocalcue``.

Libraries are found through ``COUNTERKIT_LIBDIR``, beside the package, in the
install prefixes or by the system; programs through ``COUNTERKIT_BINDIR``,
``PATH``, beside the package or in the prefixes' ``bin`` folders.
"""

from importlib import metadata as _metadata

from .announce import announce, find_vocalcue
from .errors import (
    AnnouncementError,
    CounterKitError,
    KorvelError,
    LibraryNotFoundError,
    NotAvailableError,
    PortInUseError,
    PrinterError,
)
from .korvel import TableController
from .slipdrv import Barcode, Hri, Port, Printer, PrinterStatus, QrLevel, SlipdrvLibrary, load_slipdrv, ports

try:
    __version__: str = _metadata.version("counterkit")
    """The installed package's version, the kit's version."""
except _metadata.PackageNotFoundError:  # run from the source folder
    __version__ = "unknown"

__all__ = [
    "AnnouncementError",
    "Barcode",
    "CounterKitError",
    "Hri",
    "KorvelError",
    "LibraryNotFoundError",
    "NotAvailableError",
    "Port",
    "PortInUseError",
    "Printer",
    "PrinterError",
    "PrinterStatus",
    "QrLevel",
    "SlipdrvLibrary",
    "TableController",
    "announce",
    "find_vocalcue",
    "load_slipdrv",
    "ports",
]
