#!/usr/bin/env python3
"""Makes the build's export files from slipdrv/exports.txt (see its header).

    generate_exports.py TABLE HEADER OUTPUT_DIR

Writes into OUTPUT_DIR:
  slipdrv.def              names and ordinals for the Windows DLL
  exports.map              the Linux version script: exactly these names
  slipdrv.exports          "ordinal name convention codes..." per export, read
                           by the Python package and the library checks; codes:
                           i value, s reads to NUL, f callback, rN reads N ints,
                           wN writes N bytes, bK*A reads K bytes per unit of
                           argument A (counted from 0), uA writes at most as
                           many bytes as argument A (counted from 0) says
  slipdrv_export_list.h    SLIPDRV_EXPORTS(X): X(ordinal, name, calleeCleans)
  slipdrv_header_check.cpp static_asserts that slipdrv.h declares each export
                           with the table's argument types and convention

Fails, naming the row, on a malformed table, ordinals that are not 1, 2, 3...,
or a name slipdrv.h declares that the table lacks.
"""

from __future__ import annotations

import re
import sys
from dataclasses import dataclass
from pathlib import Path

_IDENTIFIER = r"[A-Za-z_][A-Za-z0-9_]*"
_ARGUMENT = re.compile(rf"^(?P<type>.+?)\s*\b(?P<name>{_IDENTIFIER}):\s*(?P<use>.+)$")
_USES = (
    (re.compile(r"^value$"), lambda m, names: "i"),
    (re.compile(r"^reads to NUL$"), lambda m, names: "s"),
    (re.compile(r"^callback$"), lambda m, names: "f"),
    (re.compile(r"^reads ([1-9][0-9]*) ints$"), lambda m, names: f"r{m[1]}"),
    (re.compile(r"^writes ([1-9][0-9]*) bytes$"), lambda m, names: f"w{m[1]}"),
    (re.compile(rf"^reads ([1-9][0-9]*) bytes per ({_IDENTIFIER})$"), lambda m, names: f"b{m[1]}*{names.index(m[2])}"),
    (re.compile(rf"^writes up to ({_IDENTIFIER}) bytes$"), lambda m, names: f"u{names.index(m[1])}"),
)
# The C type each use takes, so that a row cannot say one thing and declare another.
_TYPES = {"i": {"int"}, "s": {"const char*"}, "f": {"BPStatusCallback"}, "r": {"const int*"},
          "w": {"unsigned char*"}, "b": {"const char*"}, "u": {"char*"}}


@dataclass
class Argument:
    c_type: str
    name: str
    code: str


@dataclass
class Export:
    ordinal: int
    name: str
    convention: str
    arguments: list[Argument]


class TableError(Exception):
    pass


def _argument_names(rest: str) -> list[str]:
    found = [_ARGUMENT.match(part.strip()) for part in rest.split(",")]
    return [m["name"] for m in found if m]


def parse(text: str, source: str = "exports.txt") -> list[Export]:
    exports: list[Export] = []
    for number, line in enumerate(text.splitlines(), 1):
        if not line.strip() or line.lstrip().startswith("#"):
            continue
        where = f"{source}:{number}"
        fields = line.split(None, 3)
        if len(fields) != 4:
            raise TableError(f"{where}: want ordinal, name, convention and arguments")
        ordinal, name, convention, rest = fields
        if not ordinal.isdigit() or int(ordinal) != len(exports) + 1:
            raise TableError(f"{where}: ordinal {ordinal}, expected {len(exports) + 1}")
        if not re.fullmatch(r"BP[A-Za-z0-9]+", name):
            raise TableError(f"{where}: {name} is not an export name")
        if convention not in ("stdcall", "cdecl"):
            raise TableError(f"{where}: convention {convention}, expected stdcall or cdecl")
        arguments: list[Argument] = []
        for part in [] if rest.strip() == "-" else rest.split(","):
            m = _ARGUMENT.match(part.strip())
            if not m:
                raise TableError(f"{where}: argument '{part.strip()}' is not 'C type name: use'")
            c_type = re.sub(r"\s*\*", "*", m["type"].strip())
            names = [a.name for a in arguments]
            for pattern, code_of in _USES:
                use = pattern.match(m["use"].strip())
                if use:
                    # A buffer's size may be given by the argument after it.
                    counted = _argument_names(rest) if use.re.pattern.startswith("^writes up to") else names
                    try:
                        code = code_of(use, counted)
                    except ValueError:
                        raise TableError(f"{where}: {m['name']} counts by {use[use.lastindex]}, not an argument before it "
                                         "(or, for a buffer written, after it)") from None
                    break
            else:
                raise TableError(f"{where}: use '{m['use']}' of {m['name']} is none of those listed")
            if c_type not in _TYPES[code[0]]:
                raise TableError(f"{where}: {m['name']} is '{m['use']}', which takes {' or '.join(_TYPES[code[0]])}")
            arguments.append(Argument(c_type, m["name"], code))
        exports.append(Export(int(ordinal), name, convention, arguments))
    if not exports:
        raise TableError(f"{source}: no exports")
    return exports


def declared_names(header: str) -> list[str]:
    return re.findall(r"\bint\s+SLIPDRV_(?:CALL|CDECL)\s+(BP[A-Za-z0-9]+)\s*\(", header)


def def_file(exports: list[Export]) -> str:
    return "LIBRARY slipdrv.dll\nEXPORTS\n" + "".join(f"    {e.name} @{e.ordinal}\n" for e in exports)


def version_script(exports: list[Export]) -> str:
    names = "".join(f"    {e.name};\n" for e in exports)
    return f"/* libslipdrv.so exports the printer functions and nothing else of ours. */\n{{\n  global:\n{names}  local:\n    *;\n}};\n"


def export_table(exports: list[Export]) -> str:
    lines = ["# slipdrv's exports: ordinal name convention argument-codes (made from exports.txt)\n"]
    for e in exports:
        lines.append(" ".join([str(e.ordinal), e.name, e.convention] + [a.code for a in e.arguments]) + "\n")
    return "".join(lines)


def export_list_header(exports: list[Export]) -> str:
    rows = "".join(
        f"    X({e.ordinal}, {e.name}, {'true' if e.convention == 'stdcall' else 'false'}) \\\n" for e in exports
    )
    return (
        "// slipdrv's exports in ordinal order, made from slipdrv/exports.txt, for\n"
        "// tests that bind them as hosts do. SLIPDRV_EXPORTS(X) expands\n"
        "// X(ordinal, name, calleeCleans) for each; calleeCleans is false for the\n"
        "// caller-cleans (cdecl) exports.\n"
        "#pragma once\n\n"
        f"#define SLIPDRV_EXPORT_COUNT {len(exports)}\n\n"
        "// clang-format off\n"
        f"#define SLIPDRV_EXPORTS(X) \\\n{rows}\n"
        "// clang-format on\n"
    )


def header_check(exports: list[Export]) -> str:
    checks = []
    for e in exports:
        convention = "SLIPDRV_CALL" if e.convention == "stdcall" else "SLIPDRV_CDECL"
        types = ", ".join(a.c_type for a in e.arguments)
        checks.append(
            f"static_assert(std::is_same_v<decltype(&{e.name}), int({convention}*)({types})>,\n"
            f'              "slipdrv.h declares {e.name} otherwise than exports.txt");\n'
        )
    return (
        "// Made from slipdrv/exports.txt: each export as slipdrv.h declares it must\n"
        "// have the table's argument types and, on 32-bit Windows, its convention.\n"
        "#include <type_traits>\n\n"
        '#include "slipdrv.h"\n\n' + "".join(checks)
    )


def main(argv: list[str]) -> int:
    if len(argv) != 4:
        print(__doc__, file=sys.stderr)
        return 2
    table, header, output = Path(argv[1]), Path(argv[2]), Path(argv[3])
    try:
        exports = parse(table.read_text(), str(table))
    except TableError as error:
        print(error, file=sys.stderr)
        return 1
    missing = sorted(set(declared_names(header.read_text())) - {e.name for e in exports})
    if missing:
        print(f"{header}: declares {', '.join(missing)}, which {table} lacks", file=sys.stderr)
        return 1
    output.mkdir(parents=True, exist_ok=True)
    (output / "slipdrv.def").write_text(def_file(exports))
    (output / "exports.map").write_text(version_script(exports))
    (output / "slipdrv.exports").write_text(export_table(exports))
    (output / "slipdrv_export_list.h").write_text(export_list_header(exports))
    (output / "slipdrv_header_check.cpp").write_text(header_check(exports))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
