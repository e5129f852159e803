"""Simulators for the tests: a virtual printer and a table controller on
pseudo-terminals. Their programs come from the environment, which the kit's
test run sets: COUNTERKIT_VIRTUAL_PRINTER, COUNTERKIT_TABLE_CONTROLLER (and
COUNTERKIT_LIBDIR, COUNTERKIT_BINDIR for the package itself)."""

from __future__ import annotations

import os
import subprocess
import time
from pathlib import Path
from typing import Callable, Iterator

import pytest


def _program(variable: str) -> str:
    path = os.environ.get(variable)
    if not path or not os.access(path, os.X_OK):
        pytest.skip(f"{variable} does not name the simulator program")
    return path


def _wait_until(condition: Callable[[], bool], what: str, seconds: float = 10.0) -> None:
    deadline = time.monotonic() + seconds
    while not condition():
        if time.monotonic() > deadline:
            raise AssertionError(f"timed out waiting for {what}")
        time.sleep(0.01)


class Simulator:
    """A simulator process that publishes a pseudo-terminal at ``link``."""

    def __init__(self, args: list[str], link: Path, log: Path) -> None:
        self.link = link
        with open(log, "wb") as out:
            self.process = subprocess.Popen(args, stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.STDOUT)
        _wait_until(lambda: link.exists() or self.process.poll() is not None, f"{link}")
        if not link.exists():
            raise AssertionError(f"{args[0]} did not start: {log.read_text(errors='replace')}")

    def stop(self) -> None:
        if self.process.poll() is None:
            self.process.terminate()
        self.process.wait(timeout=10)


class VirtualPrinter(Simulator):
    """virtual-printer recording what it receives, driven through its control FIFO."""

    def __init__(self, program: str, folder: Path, states: tuple[str, ...]) -> None:
        self.record = folder / "record.bin"
        self.control_fifo = folder / "control"
        args = [program, "--link", str(folder / "COM1"), "--record", str(self.record)]
        args += ["--control", str(self.control_fifo)]
        for state in states:
            args += ["--state", state]
        super().__init__(args, folder / "COM1", folder / "printer.log")

    def recorded(self) -> bytes:
        return self.record.read_bytes() if self.record.exists() else b""

    def wait_for(self, length: int) -> bytes:
        """What the printer received, once it holds at least ``length`` bytes."""
        _wait_until(lambda: len(self.recorded()) >= length, f"{length} bytes at the printer")
        return self.recorded()

    def control(self, line: str) -> None:
        with open(self.control_fifo, "w") as fifo:
            fifo.write(line + "\n")


@pytest.fixture
def virtual_printer(tmp_path: Path, monkeypatch: pytest.MonkeyPatch) -> Iterator[Callable[..., VirtualPrinter]]:
    """Starts a virtual printer as COM1 (SLIPDRV_COM1), in the given states."""
    program = _program("COUNTERKIT_VIRTUAL_PRINTER")
    started: list[VirtualPrinter] = []

    def start(*states: str) -> VirtualPrinter:
        folder = tmp_path / f"printer-{len(started)}"
        folder.mkdir()
        printer = VirtualPrinter(program, folder, states)
        started.append(printer)
        monkeypatch.setenv("SLIPDRV_COM1", str(printer.link))
        return printer

    yield start
    for printer in started:
        printer.stop()


class TableControllerSim(Simulator):
    """table-controller, the simulator,; ``mode`` says how it replies."""

    def __init__(self, program: str, folder: Path, address: int) -> None:
        self.state = folder / "state"
        self.mode_file = folder / "mode"
        self.set_mode("reply")
        args = [program, "--link", str(folder / "COM1"), "--address", str(address)]
        args += ["--state", str(self.state), "--mode-file", str(self.mode_file)]
        super().__init__(args, folder / "COM1", folder / "peer.log")

    def set_mode(self, mode: str) -> None:
        """"reply", "other" (a reply from another address) or "none"."""
        self.mode_file.write_text(mode + "\n")

    def registers(self) -> str:
        for line in self.state.read_text().splitlines():
            if line.startswith("registers "):
                return line[len("registers ") :]
        return ""


@pytest.fixture
def table_controller(tmp_path: Path, monkeypatch: pytest.MonkeyPatch) -> Iterator[TableControllerSim]:
    """A table controller with address 1 as COM1 (KORVEL_COM1)."""
    peer = TableControllerSim(_program("COUNTERKIT_TABLE_CONTROLLER"), tmp_path, 1)
    monkeypatch.setenv("KORVEL_COM1", str(peer.link))
    yield peer
    peer.stop()
