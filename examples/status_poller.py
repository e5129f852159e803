#!/usr/bin/env python3
"""status_poller.py: asks the printer for its four real-time statuses every
few seconds and prints what they say, the way a till watches its printer
(status_poller.c from Python, through the counterkit package).

    status_poller.py [PORT [SECONDS [ROUNDS]]]

PORT as for Printer.open (default 1: COM1, on Linux the device named by
SLIPDRV_COM1); SECONDS between rounds (default 5); ROUNDS to run (default 0:
until stopped). Exit 0 when the last round found the printer ready, 1 when it
was not ready or did not answer, 2 when the port cannot be opened.
"""

from __future__ import annotations

import sys
import time

from counterkit import Printer, PrinterError, PrinterStatus

MEANINGS = {
    PrinterStatus.DRAWER_PIN: "drawer sensor high",
    PrinterStatus.OFFLINE: "offline",
    PrinterStatus.COVER_OPEN: "cover open",
    PrinterStatus.FEED_BUTTON: "paper fed by the button",
    PrinterStatus.PAPER_END_STOP: "stopped at the paper end",
    PrinterStatus.ERROR: "error",
    PrinterStatus.AUTOCUTTER_ERROR: "autocutter error",
    PrinterStatus.UNRECOVERABLE: "unrecoverable error",
    PrinterStatus.AUTO_RECOVERABLE: "auto-recoverable error",
    PrinterStatus.PAPER_NEAR_END: "paper near its end",
    PrinterStatus.PAPER_END: "paper out",
}


def poll_once(printer: Printer) -> bool | None:
    """One round: True when the printer is ready, False when not, None without an answer."""
    try:
        replies = printer.status_replies()
    except PrinterError as error:
        print(f"no answer: {error}", flush=True)
        return None
    status = PrinterStatus.from_replies(replies)
    said = "".join(f" {meaning};" for flag, meaning in MEANINGS.items() if flag in status)
    print("status " + " ".join(f"{r:02X}" for r in replies) + ":" + said, "ready" if status.ready else "NOT READY")
    sys.stdout.flush()
    return status.ready


def main(argv: list[str]) -> int:
    port = int(argv[1]) if len(argv) > 1 else 1
    seconds = float(argv[2]) if len(argv) > 2 else 5.0
    rounds = int(argv[3]) if len(argv) > 3 else 0
    printer = Printer()
    try:
        printer.open(port, 9600)
    except PrinterError:
        print(f"status_poller.py: cannot open port {port}", file=sys.stderr)
        return 2
    with printer:
        last = None
        round_ = 0
        while rounds == 0 or round_ < rounds:
            if round_ > 0:
                time.sleep(seconds)
            last = poll_once(printer)
            round_ += 1
    return 0 if last else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
