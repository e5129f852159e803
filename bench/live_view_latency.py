#!/usr/bin/python3
"""From the last byte of a receipt at the virtual printer to its live view
showing it in headless Chromium: the median of RUNS receipts (default 15).

    bench/live_view_latency.py [build/default]

Each receipt is 30 lines of text and a cut, written to the printer's line as a
host would; the time runs from the return of the write of its last byte to the
frame after the page drew the cut piece (the page's own clock, which is the
machine's).
"""

from __future__ import annotations

import os
import statistics
import sys
import tempfile
import time
from pathlib import Path

root = Path(__file__).resolve().parent.parent
sys.path.insert(0, str(root / "tests/sim/virtual_printer"))
from live_view_support import VirtualPrinter, start_browser, wait_until  # noqa: E402


def receipt(number: int) -> bytes:
    lines = b"".join(b"Receipt %d, line %02d: 1 x Cola            6.00\n" % (number, i) for i in range(30))
    return b"\x1b@" + lines + b"\x1dVB\x00"  # ESC @, the lines, GS V 66 0: feed and cut


def main() -> int:
    build = Path(sys.argv[1] if len(sys.argv) > 1 else root / "build/default").resolve()
    runs = int(os.environ.get("RUNS", "15"))
    with tempfile.TemporaryDirectory(prefix="kit-live-bench-") as name:
        folder = Path(name)
        printer = VirtualPrinter(str(build / "sim/virtual_printer/virtual-printer"), folder, "--state", "ok")
        driver = start_browser(folder / "profile")
        try:
            driver.get(printer.url)
            wait_until("the page's event stream", lambda: driver.execute_script("return liveView.connected"))
            latencies = []
            for run in range(runs):
                printer.write(receipt(run))
                sent = time.time() * 1000
                shown = wait_until(f"receipt {run} on the page",
                                   lambda: driver.execute_script("return liveView.shownAt[arguments[0]]", run),
                                   every=0.005)
                latencies.append(shown - sent)
                time.sleep(0.3)  # apart, so that each is measured on its own
        finally:
            driver.quit()
            printer.quit()
            printer.kill()
    print(f"live view latency over {runs} receipts: median {statistics.median(latencies):.1f} ms, "
          f"min {min(latencies):.1f} ms, max {max(latencies):.1f} ms (target: median at most 200 ms)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
