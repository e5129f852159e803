"""The exceptions the package raises."""

from __future__ import annotations

from typing import Sequence


class CounterKitError(Exception):
    """Base class of every error the package raises itself."""


class LibraryNotFoundError(CounterKitError, OSError):
    """None of the places searched held a library that loads."""

    def __init__(self, name: str, attempts: Sequence[str]) -> None:
        self.name = name
        """The library looked for: "slipdrv" or "korvel"."""
        self.attempts = list(attempts)
        """What was tried, each with the reason it failed."""
        super().__init__(
            f"cannot load the {name} library (set COUNTERKIT_LIBDIR to its folder): " + "; ".join(self.attempts)
        )


class PrinterError(CounterKitError):
    """A slipdrv export failed (returned -1, or a query got no reply)."""

    def __init__(self, call: str, result: int, detail: str = "") -> None:
        self.call = call
        """The export that failed, with its arguments, e.g. "BPPrintBarCode(67, 3, ...)"."""
        self.result = result
        """What it returned."""
        message = f"{call} failed (returned {result})"
        super().__init__(f"{message}: {detail}" if detail else message)


class NotAvailableError(PrinterError):
    """The loaded library lacks the export a method needs (an older slipdrv)."""

    def __init__(self, export: str) -> None:
        CounterKitError.__init__(self, f"the loaded slipdrv library has no {export} (it is older than this package)")
        self.call = export
        self.result = -1


class PortInUseError(PrinterError):
    """Another Printer of the process has a port open: the library drives one
    port for the whole process, so that one must be closed first."""

    def __init__(self, call: str, holder_port: int | str) -> None:
        CounterKitError.__init__(
            self,
            f"{call}: another Printer of this process has port {holder_port} open"
            " (the library drives one port for the whole process: close that Printer first)",
        )
        self.call = call
        self.result = -1
        self.holder_port = holder_port
        """The port the other Printer has open."""


class KorvelError(CounterKitError):
    """``korvel_send_data`` reported an error: its number and text."""

    def __init__(self, number: int, text: str) -> None:
        self.number = number
        """The error number: 6 overflow, 9 no reply, 8002-8021 the port's errors."""
        self.text = text
        """The library's description of the error."""
        super().__init__(f"korvel_send_data: error {number}: {text}")


class AnnouncementError(CounterKitError):
    """vocalcue could not be found or started, or did not end as it always does."""
