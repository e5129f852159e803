#!/usr/bin/python3
"""The live view in a real browser (headless Chromium through Selenium): a
receipt printed through libslipdrv shows on the page dot for dot as
receipt-render draws the recorded bytes, "paper out" set on the page is what
the library's status request then reads, and the clear button empties the
paper shown.

    live_view_browser_test.py VIRTUAL_PRINTER RECEIPT_RENDER VENUE_RECEIPT LIBSLIPDRV LOGO [SCREENSHOT.png]

With SCREENSHOT the page with the receipt on it is saved there.
"""

from __future__ import annotations

import base64
import ctypes
import os
import subprocess
import sys
import tempfile
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
from live_view_support import VirtualPrinter, start_browser, wait_until  # noqa: E402

from PIL import Image  # noqa: E402

PAPER_OUT = 0x72  # DLE EOT 4 without paper

failures = 0


def check(name: str, ok: bool, detail: str = "") -> None:
    global failures
    print(("ok   " if ok else "FAIL ") + name + ("" if ok else ": " + detail))
    failures += 0 if ok else 1


def page_dots(driver, piece: int) -> tuple[int, int, bytes]:
    shown = driver.execute_script("return liveView.canvasBits(arguments[0])", piece)
    return shown["width"], shown["height"], base64.b64decode(shown["bits"])


def png_dots(path: Path) -> tuple[int, int, bytes]:
    """Packed rows as the page gives them: bit 7 leftmost, 1 for a black dot."""
    image = Image.open(path).convert("1")
    return image.width, image.height, bytes(b ^ 0xFF for b in image.tobytes())


def first_difference(a: bytes, b: bytes, stride: int) -> str:
    for i, (x, y) in enumerate(zip(a, b)):
        if x != y:
            return f"first difference at dot row {i // stride}"
    return "lengths differ"


def main() -> int:
    printer_program, render, receipt_program, library, logo = (str(Path(p).resolve()) for p in sys.argv[1:6])
    screenshot = Path(sys.argv[6]).resolve() if len(sys.argv) > 6 else None
    with tempfile.TemporaryDirectory(prefix="kit-live-browser-") as name:
        folder = Path(name)
        printer = VirtualPrinter(printer_program, folder, "--state", "ok")
        driver = None
        try:
            driver = start_browser(folder / "profile")
            driver.get(printer.url)
            wait_until("the page's event stream", lambda: driver.execute_script("return liveView.connected"))
            run(driver, printer, folder, render, receipt_program, library, logo, screenshot)
        finally:
            if driver:
                driver.quit()
            if printer.process.poll() is None:
                check("the printer quits with exit status 0", printer.quit() == 0)
            printer.kill()
    print(f"{'passed' if failures == 0 else 'failed'}: {failures} failures")
    return 1 if failures else 0


def run(driver, printer, folder, render, receipt_program, library, logo, screenshot) -> None:
    environment = dict(os.environ, SLIPDRV_COM1=str(printer.link))
    printed = subprocess.run([receipt_program, "1", logo], cwd=folder, env=environment, capture_output=True)
    check("venue-receipt prints through the library", printed.returncode == 0, printed.stderr.decode())
    # The library's last write returns once the line has it; wait until the
    # record stops growing before drawing the reference from it.
    wait_until("the record to stop growing", lambda: stable(printer.record), every=0.1)
    wait_until("the receipt's piece on the page", lambda: 0 in driver.execute_script("return liveView.pieces()"))
    subprocess.run([render, str(printer.record)], cwd=folder, check=True, capture_output=True)
    reference = png_dots(folder / "receipt-1.png")
    shown = page_dots(driver, 0)
    check(f"the page shows the receipt as receipt-render draws it ({reference[0]} x {reference[1]} dots)",
          shown == reference, f"page {shown[0]} x {shown[1]}, "
          + first_difference(shown[2], reference[2], (reference[0] + 7) // 8))
    if screenshot:
        driver.set_window_size(1280, 1060)  # the whole receipt in view
        driver.execute_script("document.getElementById('listing').scrollTop = 1e6")
        driver.save_screenshot(str(screenshot))

    # Paper out, set on the page, is what the library reads; the page hears
    # back from the printer that it is set.
    page_state = "return liveView.latest().state['paper-out']"
    driver.find_element("id", "state-paper-out").click()
    wait_until("paper out on the page", lambda: driver.execute_script(page_state) is True)
    os.environ["SLIPDRV_COM1"] = str(printer.link)
    slipdrv = ctypes.CDLL(library)
    check("the library opens the printer", slipdrv.BPOpenPrinter(1, 9600) == 0)
    reply = slipdrv.BPRealtimeGetStatus(4)
    slipdrv.BPClosePrinter()
    check("paper out set on the page: BPRealtimeGetStatus(4) is 72h", reply == PAPER_OUT, f"{reply:#x}")
    driver.find_element("id", "state-paper-out").click()
    wait_until("paper back on the page", lambda: driver.execute_script(page_state) is False)
    check("paper back, set on the page: DLE EOT 4 is 12h", printer.status(4) == 0x12)

    driver.find_element("id", "clear").click()
    wait_until("the paper to be cleared", lambda: not driver.execute_script("return liveView.pieces()"))
    check("the clear button empties the paper shown", True)


_sizes: dict[Path, int] = {}


def stable(path: Path) -> bool:
    size = path.stat().st_size if path.exists() else -1
    previous = _sizes.get(path)
    _sizes[path] = size
    return size > 0 and size == previous


if __name__ == "__main__":
    sys.exit(main())
