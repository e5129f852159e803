"""TableController against the simulated table controller (address 1)."""

from __future__ import annotations

from typing import Union

import pytest

from counterkit import KorvelError, TableController

Bits = Union[str, list]
# address, bits, how the device replies -> True/False, or the error (number, text).
ROWS: list[tuple[str, int, Bits, str, Union[bool, tuple[int, str]]]] = [
    ("answered", 1, "1010000011110000", "reply", True),
    ("answered, one truth value a table", 1, [True] * 9 + [False] * 54 + [True], "reply", True),
    ("another device answered", 1, "1", "other", False),
    ("no device at the address", 2, "1", "reply", (9, "Subscript out of range")),
    ("address out of range", 256, "1", "reply", (6, "Overflow")),
    ("address wider than 16 bits", 65537, "1", "reply", (6, "Overflow")),
    ("a group worth more than 255", 1, "2" + "0" * 7, "reply", (6, "Overflow")),
]


def registers(digits: str) -> str:
    """The four registers the digits make: digit 1 is the top bit of register 0x0100."""
    digits = (digits + "0" * 64)[:64]
    return " ".join(f"{int(digits[i : i + 16], 2):04X}" for i in range(0, 64, 16))


@pytest.mark.parametrize("name,address,bits,mode,outcome", ROWS, ids=[r[0] for r in ROWS])
def test_send(table_controller, name: str, address: int, bits: Bits, mode: str, outcome) -> None:
    table_controller.set_mode(mode)
    controller = TableController()
    if isinstance(outcome, bool):
        assert controller.send(address, bits) is outcome
        text = bits if isinstance(bits, str) else "".join("1" if b else "0" for b in bits)
        assert controller.last_digits == (text + "0" * 64)[:64]
        if mode == "reply":
            assert table_controller.registers() == registers(text)
    else:
        with pytest.raises(KorvelError) as raised:
            controller.send(address, bits)
        assert (raised.value.number, raised.value.text) == outcome
        assert f"error {outcome[0]}: {outcome[1]}" in str(raised.value)
