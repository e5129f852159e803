#!/usr/bin/env python3
"""table_lights.py: switches the lights of a venue's tables through the
counterkit package (libkorvel): one digit a table, 1 on and 0 off, sent to the
table controller at an address on COM1 (on Linux the device named by
KORVEL_COM1). table_lights.c from Python.

    table_lights.py [ADDRESS [DIGITS]]

Exit 0 when the controller answered, 1 when another device answered, 2 on an
error (its number and text on stderr).
"""

from __future__ import annotations

import sys

from counterkit import KorvelError, TableController


def main(argv: list[str]) -> int:
    address = int(argv[1]) if len(argv) > 1 else 1
    digits = argv[2] if len(argv) > 2 else "1010000011110000"
    controller = TableController()
    try:
        answered = controller.send(address, digits)
    except KorvelError as error:
        print(f"table_lights.py: error {error.number}: {error.text}", file=sys.stderr)
        return 2
    if not answered:
        print(f"another device answered for address {address}")
        return 1
    # The text comes back normalised to the 64 tables.
    print(f"controller {address} switched: {controller.last_digits}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
