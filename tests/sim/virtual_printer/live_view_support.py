"""A virtual printer with its live view, for the live-view tests and the benchmark.

VirtualPrinter starts the program with --link and --web 0 in a folder of its
own, reads the web port from its first lines, writes to and asks the printer
through its pseudo-terminal as a host would, and ends it with quit.
"""

from __future__ import annotations

import os
import re
import select
import subprocess
import termios
import time
import tty
from pathlib import Path

DLE_EOT = b"\x10\x04"


class VirtualPrinter:
    def __init__(self, program: str, folder: Path, *extra: str) -> None:
        self.folder = folder
        self.link = folder / "COM1"
        self.control_path = folder / "control"
        self.record = folder / "receipt.bin"
        self.process = subprocess.Popen(
            [program, "--link", str(self.link), "--web", "0", "--record", str(self.record),
             "--control", str(self.control_path), *extra],
            cwd=folder, stdout=subprocess.PIPE, stderr=open(folder / "printer.log", "wb"), text=True)
        self.port = 0
        assert self.process.stdout is not None
        for line in self.process.stdout:  # the link line comes last
            found = re.search(r"web view on http://127\.0\.0\.1:(\d+)/", line)
            if found:
                self.port = int(found.group(1))
            if "->" in line:
                break
        if not self.port or not self.link.exists():
            raise RuntimeError("the virtual printer did not start: " + (folder / "printer.log").read_text())
        self.url = f"http://127.0.0.1:{self.port}/"
        self.line = os.open(self.link, os.O_RDWR | os.O_NOCTTY)
        tty.setraw(self.line, termios.TCSANOW)

    def write(self, data: bytes) -> None:
        view = memoryview(data)
        while view:
            view = view[os.write(self.line, view):]

    def status(self, n: int, timeout: float = 3.0) -> int | None:
        """The reply to DLE EOT n, or None when none came within `timeout` seconds."""
        termios.tcflush(self.line, termios.TCIFLUSH)
        self.write(DLE_EOT + bytes([n]))
        ready, _, _ = select.select([self.line], [], [], timeout)
        return os.read(self.line, 1)[0] if ready else None

    def control(self, line: str) -> None:
        with open(self.control_path, "w") as fifo:
            fifo.write(line + "\n")

    def wait_for_record(self, size: int, timeout: float = 10.0) -> None:
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if self.record.exists() and self.record.stat().st_size >= size:
                return
            time.sleep(0.02)
        raise AssertionError(f"the printer did not receive {size} bytes")

    def quit(self) -> int:
        os.close(self.line)
        self.control("quit")
        return self.process.wait(timeout=20)

    def kill(self) -> None:
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()


# Flags for a headless browser that reaches nothing but the page.
CHROMIUM_FLAGS = ("--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                  "--disable-background-networking", "--disable-component-update", "--disable-sync",
                  "--disable-dev-shm-usage")


def start_browser(profile: Path, width: int = 1280, height: int = 900):
    """A headless Chromium driven through chromedriver, with a fresh profile."""
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service

    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    for flag in CHROMIUM_FLAGS:
        options.add_argument(flag)
    options.add_argument(f"--user-data-dir={profile}")
    options.add_argument(f"--window-size={width},{height}")
    return webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)


def wait_until(what, check, timeout: float = 10.0, every: float = 0.02):
    deadline = time.monotonic() + timeout
    while True:
        value = check()
        if value:
            return value
        if time.monotonic() > deadline:
            raise AssertionError("timed out waiting for " + what)
        time.sleep(every)
