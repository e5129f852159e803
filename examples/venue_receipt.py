#!/usr/bin/env python3
"""venue_receipt.py: the venue receipt of venue_receipt.c, printed from Python
through the counterkit package: the logo, the venue's name in large Chinese
characters, the table's lines, the bill number as a barcode and a QR code to
pay it (when the library can print one), then a cut and the cash drawer.

    venue_receipt.py [PORT [LOGO.bmp]]

PORT 1-10 is COM1-COM10 (on Linux the device named by SLIPDRV_COM<n>), 11-12
LPT1-LPT2; the default is 1. Exit 0 when every call succeeded, 1 otherwise
(the failing call is named on stderr).
"""

from __future__ import annotations

import sys

from counterkit import Barcode, CounterKitError, Hri, Printer, QrLevel

VENUE = "星光台球俱乐部"
# The bill's rows in three columns of the 48 an 80 mm printer prints.
LAYOUT = "24L,10R,14R"
ROWS = [
    ["桌号：7号台", "", ""],
    ["开台 14:05  结束 15:30", "", ""],
    ["台费 (每小时25.00元)", "1小时25分", "35.50元"],
    ["可乐", "×2", "6.00元"],
    ["会员折扣 (八折, 周一至周五全天有效)", "", "-8.30元"],
]
TOTALS = [["合计", "", "33.20元"], ["会员余额", "", "120.00元"]]
THANKS = "谢谢光临，欢迎再来！"
RULE = "-" * 48
BILL_NUMBER = "No.20261208-0007"  # Code 128; the package puts code set B in front
PAYMENT = "https://pay.example/bill/20261208-0007"  # the bill to pay by phone


def print_receipt(printer: Printer, logo: str | None) -> None:
    printer.initialize()
    printer.align("centre")
    if logo:
        printer.image(logo, 33)
    printer.title(VENUE)  # centred at double size, then back to normal and left
    printer.text(RULE + "\n")
    printer.table(ROWS, LAYOUT)  # each cell padded by the width its characters print at
    printer.text(RULE + "\n")
    printer.table(TOTALS, LAYOUT)
    printer.text(RULE + "\n")
    printer.align("centre")
    printer.text(THANKS + "\n")
    printer.barcode(BILL_NUMBER, Barcode.CODE128, height=60, module_width=2, hri=Hri.BELOW)
    if printer.lib.has("BPPrintQRCode"):
        printer.qr(PAYMENT, 5, QrLevel.M)
    printer.feed(3)
    printer.cut()
    printer.drawer()


def main(argv: list[str]) -> int:
    port = int(argv[1]) if len(argv) > 1 else 1
    logo = argv[2] if len(argv) > 2 else None
    try:
        with Printer(port, 9600) as printer:
            print_receipt(printer, logo)
    except CounterKitError as error:
        print(f"venue_receipt.py: {error}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
