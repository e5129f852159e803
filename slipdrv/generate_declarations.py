#!/usr/bin/env python3
"""Makes slipdrv's declarations for the languages billing applications are
written in, from slipdrv/exports.txt and the numeric constants slipdrv.h
defines (#define SLIPDRV_NAME number).

    generate_declarations.py TABLE HEADER OUTPUT_DIR

Writes into OUTPUT_DIR:
  Slipdrv.cs                C#: the static class CounterKit.Slipdrv
  slipdrv.bas               Visual Basic 6 and VBA: a module of Declare statements
  slipdrv.pas               Delphi and Free Pascal: the unit slipdrv
  slipdrv_powerbuilder.txt  PowerBuilder: global external functions and constants

Each export is declared with its table row's convention. Hosts whose calls
cannot clean the stack themselves (VB6's Declare, PowerBuilder) get a comment
instead of a declaration for a caller-cleans export. The byte strings of the
exports whose names end in UTF8 are UTF-8 text; the others' are the system's
ANSI code page, or raw bytes where a host passes bytes.
"""

from __future__ import annotations

import re
import sys
from dataclasses import dataclass
from pathlib import Path

from generate_exports import Argument, Export, TableError, parse

_DLL = "slipdrv.dll"
_CONSTANT = re.compile(r"^#define\s+(SLIPDRV_[A-Z0-9_]+)\s+(0[xX][0-9A-Fa-f]+|[0-9]+)\s*(?:/\*\s*(.*?)\s*\*/)?\s*$")
_LONE_COMMENT = re.compile(r"^/\*\s*(.*?)\s*\*/$")
# PowerBuilder identifiers hold at most 40 characters.
_POWERBUILDER_NAME_LIMIT = 40


@dataclass
class Constant:
    name: str
    value: int
    hexadecimal: bool
    comment: str
    heading: str  # the one-line comment right above the first of a group, else ""


def constants(header: str) -> list[Constant]:
    found: list[Constant] = []
    previous = ""
    for line in header.splitlines():
        line = line.strip()
        m = _CONSTANT.match(line)
        if m:
            heading = _LONE_COMMENT.match(previous)
            found.append(Constant(m[1], int(m[2], 0), m[2].lower().startswith("0x"), m[3] or "",
                                  heading[1] if heading else ""))
        previous = line
    return found


def _is_utf8(export: Export) -> bool:
    return export.name.endswith("UTF8")


def _kind(code: str) -> str:
    return code[0]


def _generated_note(comment: str, language: str) -> str:
    return (f"{comment} slipdrv's exports for {language}, made when the library is built from\n"
            f"{comment} slipdrv/exports.txt and the constants of slipdrv.h by\n"
            f"{comment} slipdrv/generate_declarations.py: edit those, not this file. What\n"
            f"{comment} each export does: slipdrv.h.\n")


# C# ------------------------------------------------------------------------

def _cs_literal(c: Constant) -> str:
    return f"0x{c.value:02X}" if c.hexadecimal else str(c.value)


def _cs_native_parameter(a: Argument, text_form: bool) -> str:
    kind = _kind(a.code)
    if kind == "i":
        return f"int {a.name}"
    if kind == "f":
        return f"StatusCallback {a.name}"
    if kind == "s":
        return f"[MarshalAs(UnmanagedType.LPStr)] string {a.name}" if text_form else f"[In] byte[] {a.name}"
    if kind == "r":
        return f"[In] int[] {a.name}"
    if kind in "wu":
        return f"[Out] byte[] {a.name}"
    return f"[In] byte[] {a.name}"  # b: bytes read


def _cs_public_parameter(a: Argument, text_form: bool) -> str:
    kind = _kind(a.code)
    if kind == "s":
        return f"string {a.name}" if text_form else f"byte[] {a.name}"
    return _cs_native_parameter(a, text_form).replace("[In] ", "").replace("[Out] ", "")


def _cs_length_checks(e: Export) -> str:
    """Throws before the call where an array is shorter than what the export reads or writes."""
    checks = []
    for a in e.arguments:
        kind, rest = _kind(a.code), a.code[1:]
        if kind in "rw":
            what, unit = ("reads", "ints") if kind == "r" else ("writes", "bytes")
            checks.append((f"{a.name} != null && {a.name}.Length < {rest}", f"{e.name} {what} {rest} {unit} of {a.name}",
                           a.name))
        elif kind == "b":
            per, counter = rest.split("*")
            count = e.arguments[int(counter)].name
            checks.append((f"{a.name} != null && {count} > 0 && {a.name}.Length < (long){per} * {count}",
                           f"{e.name} reads {per} bytes of {a.name} per unit of {count}", a.name))
        elif kind == "u":
            size = e.arguments[int(rest)].name
            checks.append((f"{a.name} != null && {size} > {a.name}.Length",
                           f"{e.name} writes up to {size} bytes into {a.name}, more than it holds", a.name))
    return "".join(f'            if ({condition})\n                throw new ArgumentException("{message}", "{name}");\n'
                   for condition, message, name in checks)


def _cs_import(e: Export, access: str, parameters: str, indent: str = "        ") -> str:
    convention = "StdCall" if e.convention == "stdcall" else "Cdecl"
    return (f'{indent}[DllImport("{_DLL}", CallingConvention = CallingConvention.{convention}, ExactSpelling = true)]\n'
            f"{indent}{access} static extern int {e.name}({parameters});\n")


def _cs_export(e: Export) -> tuple[str, str]:
    """The public declarations of one export and the private imports they call."""
    kinds = {_kind(a.code) for a in e.arguments}
    header = f"        // {e.ordinal}" + (", caller-cleans" if e.convention == "cdecl" else "") + "\n"
    if kinds <= {"i", "f"}:
        return header + _cs_import(e, "public", ", ".join(_cs_native_parameter(a, False) for a in e.arguments)), ""
    has_text = "s" in kinds
    inner = "            "
    native = _cs_import(e, "internal", ", ".join(_cs_native_parameter(a, False) for a in e.arguments), inner)
    direct_text = has_text and kinds <= {"i", "f", "s"} and not _is_utf8(e)
    public = header
    if direct_text:
        public += _cs_import(e, "public", ", ".join(_cs_native_parameter(a, True) for a in e.arguments))
    elif has_text and not _is_utf8(e):
        native += _cs_import(e, "internal", ", ".join(_cs_native_parameter(a, True) for a in e.arguments), inner)
    checks = _cs_length_checks(e)

    def wrapper(text_form: bool) -> str:
        arguments = []
        for a in e.arguments:
            if _kind(a.code) != "s":
                arguments.append(a.name)
            elif text_form and _is_utf8(e):
                arguments.append(f"Utf8({a.name})")
            elif text_form:
                arguments.append(a.name)
            else:
                arguments.append(f"Terminated({a.name})")
        parameters = ", ".join(_cs_public_parameter(a, text_form) for a in e.arguments)
        return (f"        public static int {e.name}({parameters})\n        {{\n{checks}"
                f"            return Native.{e.name}({', '.join(arguments)});\n        }}\n")

    if has_text and not direct_text:
        public += wrapper(True)
    if has_text:
        if _is_utf8(e):
            public += "        // The text already in UTF-8; the zero that ends it is added.\n"
        else:
            public += "        // The same with bytes, sent as they are; the zero that ends them is added.\n"
    public += wrapper(False)
    return public, native


def csharp(exports: list[Export], defined: list[Constant]) -> str:
    out = [_generated_note("//", "C#")]
    out.append(
        "// On Windows the DLL is found as slipdrv.dll; with Mono on Linux map it to\n"
        "// libslipdrv.so (a <dllmap> in the program's .config file).\n"
        "using System;\n"
        "using System.Runtime.InteropServices;\n"
        "using System.Text;\n\n"
        "namespace CounterKit\n{\n"
        "    public static class Slipdrv\n    {\n"
        "        // The status callback: one byte from the printer in the low 8 bits of\n"
        "        // status, on a thread of the library's. The library keeps only the\n"
        "        // function pointer: the host must keep the delegate it passes to\n"
        "        // BPSetCallBackFunc alive (in a static field, say) for as long as the\n"
        "        // library may call it, i.e. while a port is open and until a call in\n"
        "        // progress has returned. A delegate the garbage collector has taken\n"
        "        // crashes the program when the library calls it.\n"
        "        [UnmanagedFunctionPointer(CallingConvention.StdCall)]\n"
        "        public delegate void StatusCallback(int status);\n\n")
    for c in defined:
        if c.heading:
            out.append(f"        // {c.heading}\n")
        comment = f" // {c.comment}" if c.comment else ""
        out.append(f"        public const int {c.name} = {_cs_literal(c)};{comment}\n")
    natives = []
    for e in exports:
        public, native = _cs_export(e)
        out.append("\n" + public)
        natives.append(native)
    out.append(
        "\n        // A copy of the bytes with a zero after them, as the exports read them.\n"
        "        static byte[] Terminated(byte[] bytes)\n        {\n"
        "            if (bytes == null)\n                return null;\n"
        "            byte[] terminated = new byte[bytes.Length + 1];\n"
        "            Array.Copy(bytes, terminated, bytes.Length);\n"
        "            return terminated;\n        }\n\n"
        "        static byte[] Utf8(string text)\n        {\n"
        "            return text == null ? null : Terminated(Encoding.UTF8.GetBytes(text));\n        }\n\n"
        "        // The exports as the library takes them, for the public methods above.\n"
        "        static class Native\n        {\n")
    out.append("".join(natives))
    out.append("        }\n    }\n}\n")
    return "".join(out)


# Visual Basic 6 and VBA ------------------------------------------------------

_VB_RESERVED = {"width", "open", "close", "print", "line", "name", "input", "get", "put", "seek", "lock", "error",
                "string", "date", "type", "me", "stop", "end", "set", "let", "call"}


def _vb_name(name: str) -> str:
    return name + "Value" if name.lower() in _VB_RESERVED else name


def _vb_literal(c: Constant) -> str:
    return f"&H{c.value:X}&" if c.hexadecimal else str(c.value)


def _vb_parameter(e: Export, a: Argument, pointer_type: str) -> str:
    kind, name = _kind(a.code), _vb_name(a.name)
    if kind == "i":
        return f"ByVal {name} As Long"
    if kind == "f":
        return f"ByVal {name} As {pointer_type}"
    if kind == "s":
        return f"ByRef {name} As Byte" if _is_utf8(e) else f"ByVal {name} As String"
    if kind == "r":
        return f"ByRef {name} As Long"
    if kind == "u":
        return f"ByVal {name} As String"
    return f"ByRef {name} As Byte"  # w, b: the first byte of an array


def _vb_declarations(exports: list[Export], ptr_safe: bool) -> list[str]:
    declare = "Public Declare PtrSafe Function" if ptr_safe else "Public Declare Function"
    pointer_type = "LongPtr" if ptr_safe else "Long"
    lines = []
    for e in exports:
        parameters = ", ".join(_vb_parameter(e, a, pointer_type) for a in e.arguments)
        declaration = f'{declare} {e.name} Lib "{_DLL}" ({parameters}) As Long'
        not_declared = [f"' {e.name} (ordinal {e.ordinal}) is not declared: it is a caller-cleans (cdecl)",
                        "' function, and a 32-bit Declare calls only functions that clean the stack themselves."]
        if e.convention == "stdcall":
            lines.append(declaration)
        elif ptr_safe:
            # 64-bit Windows has one calling convention, so a 64-bit host can call it.
            lines += ["#If Win64 Then", declaration, "#Else", *not_declared, "#End If"]
        else:
            lines += not_declared
    return lines


def visual_basic(exports: list[Export], defined: list[Constant]) -> str:
    lines = ['Attribute VB_Name = "Slipdrv"']
    lines += _generated_note("'", "Visual Basic 6 and VBA").splitlines()
    lines += [
        "' Text arguments are Strings (VB passes them in the system's ANSI code page);",
        "' the UTF-8 exports take the first byte of a Byte array holding UTF-8 and a",
        "' zero (SlipdrvUtf8 makes one). Arrays the library reads or writes are passed",
        "' by their first element: BPSetMemorySwitch 1, values(0). A String buffer the",
        "' library writes into is made long enough first: Space$(size).",
        "' BPSetCallBackFunc takes AddressOf a procedure in a module; the library calls",
        "' it on a thread of its own, which VB6 code must not run on: poll",
        "' BPRealtimeGetStatus instead, unless the host is built for that.",
        "Option Explicit",
        "",
    ]
    for c in defined:
        if c.heading:
            lines.append(f"' {c.heading}")
        comment = f" ' {c.comment}" if c.comment else ""
        lines.append(f"Public Const {c.name} As Long = {_vb_literal(c)}{comment}")
    lines += ["", "Private Const SLIPDRV_CP_UTF8 As Long = 65001", "", "#If VBA7 Then"]
    lines += _vb_declarations(exports, True)
    lines.append("Private Declare PtrSafe Function SlipdrvWideToUtf8 Lib \"kernel32\" Alias \"WideCharToMultiByte\" "
                 "(ByVal codePage As Long, ByVal flags As Long, ByVal wide As LongPtr, ByVal wideLength As Long, "
                 "ByVal utf8 As LongPtr, ByVal utf8Length As Long, ByVal defaultChar As LongPtr, "
                 "ByVal usedDefault As LongPtr) As Long")
    lines.append("#Else")
    lines += _vb_declarations(exports, False)
    lines.append("Private Declare Function SlipdrvWideToUtf8 Lib \"kernel32\" Alias \"WideCharToMultiByte\" "
                 "(ByVal codePage As Long, ByVal flags As Long, ByVal wide As Long, ByVal wideLength As Long, "
                 "ByVal utf8 As Long, ByVal utf8Length As Long, ByVal defaultChar As Long, "
                 "ByVal usedDefault As Long) As Long")
    lines += [
        "#End If",
        "",
        "' The UTF-8 bytes of text with a zero after them, for the UTF-8 exports:",
        "'   Dim utf8() As Byte: utf8 = SlipdrvUtf8(text): BPPrintStringUTF8 utf8(0)",
        "Public Function SlipdrvUtf8(ByVal text As String) As Byte()",
        "    Dim bytes() As Byte",
        "    Dim length As Long",
        "    If Len(text) = 0 Then",
        "        ReDim bytes(0)",
        "    Else",
        "        length = SlipdrvWideToUtf8(SLIPDRV_CP_UTF8, 0, StrPtr(text), Len(text), 0, 0, 0, 0)",
        "        ReDim bytes(length)",
        "        SlipdrvWideToUtf8 SLIPDRV_CP_UTF8, 0, StrPtr(text), Len(text), VarPtr(bytes(0)), length, 0, 0",
        "    End If",
        "    SlipdrvUtf8 = bytes",
        "End Function",
    ]
    # VB6 reads its module files with Windows line ends.
    return "\r\n".join(lines) + "\r\n"


# Delphi and Free Pascal --------------------------------------------------------

_PASCAL_RESERVED = {"type", "string", "file", "in", "out", "set", "label", "array", "begin", "end", "var", "const",
                    "object", "property", "result", "case", "of", "to", "do", "with", "unit", "uses", "record"}


def _pascal_name(name: str) -> str:
    return name + "Value" if name.lower() in _PASCAL_RESERVED else name


def _pascal_literal(c: Constant) -> str:
    return f"${c.value:02X}" if c.hexadecimal else str(c.value)


_PASCAL_TYPES = {"i": "Integer", "f": "TBPStatusCallback", "s": "PAnsiChar", "r": "PInteger", "w": "PByte",
                 "b": "PByte", "u": "PAnsiChar"}


def pascal(exports: list[Export], defined: list[Constant]) -> str:
    note = _generated_note("", "Delphi and Free Pascal").strip().replace("\n ", "\n  ")
    out = ["{ " + note + " }\n"]
    out.append(
        "{ Text arguments are PAnsiChar: PAnsiChar(AnsiString(s)) in the system's code\n"
        "  page, PAnsiChar(UTF8String(s)) for the UTF-8 exports. Arrays the library\n"
        "  reads or writes are passed by their first element: @values[0]. }\n"
        "unit slipdrv;\n\n"
        "{$IFDEF FPC}\n{$MODE DELPHI}\n{$ENDIF}\n\n"
        "interface\n\n"
        "const\n"
        "{$IFDEF MSWINDOWS}\n"
        f"  SlipdrvLibrary = '{_DLL}';\n"
        "{$ELSE}\n"
        "  SlipdrvLibrary = 'libslipdrv.so';\n"
        "{$ENDIF}\n\n")
    for c in defined:
        if c.heading:
            out.append(f"  {{ {c.heading} }}\n")
        comment = f" {{ {c.comment} }}" if c.comment else ""
        out.append(f"  {c.name} = {_pascal_literal(c)};{comment}\n")
    out.append(
        "\ntype\n"
        "  { The status callback: one byte from the printer in the low 8 bits of\n"
        "    status, on a thread of the library's. }\n"
        "  TBPStatusCallback = procedure(status: Integer); stdcall;\n\n")
    for e in exports:
        parameters = "; ".join(f"{_pascal_name(a.name)}: {_PASCAL_TYPES[_kind(a.code)]}" for a in e.arguments)
        signature = f"({parameters})" if parameters else ""
        out.append(f"{{ {e.ordinal} }} function {e.name}{signature}: Integer; {e.convention};\n"
                   f"  external SlipdrvLibrary name '{e.name}';\n")
    out.append("\nimplementation\n\nend.\n")
    return "".join(out)


# PowerBuilder --------------------------------------------------------------------

def _powerbuilder_parameter(e: Export, a: Argument) -> str:
    kind = _kind(a.code)
    if kind == "i":
        return f"long {a.name}"
    if kind == "s":
        return f"ref blob {a.name}" if _is_utf8(e) else f"string {a.name}"
    if kind == "r":
        return f"ref long {a.name}[]"
    if kind == "u":
        return f"ref string {a.name}"
    return f"ref blob {a.name}"  # w, b


def powerbuilder(exports: list[Export], defined: list[Constant]) -> str:
    lines = _generated_note("//", "PowerBuilder").splitlines()
    lines += [
        "// Paste the FUNCTION lines into Global External Functions and the constants",
        "// at the end into Global Variables. Strings go in the system's ANSI code page",
        "// (the ;Ansi of the alias); the UTF-8 exports take a blob holding the text's",
        "// UTF-8 bytes, Blob(text, EncodingUTF8!), with a zero byte after them. A",
        "// buffer the library writes into is made long enough first: Space(size), or a",
        "// blob of that many bytes; an array it reads holds as many longs as it reads.",
        "",
    ]
    for e in exports:
        for name in [e.name] + [a.name for a in e.arguments]:
            if len(name) > _POWERBUILDER_NAME_LIMIT:
                raise TableError(f"{name} is longer than PowerBuilder's {_POWERBUILDER_NAME_LIMIT} characters")
        if e.convention == "cdecl":
            lines.append(f"// {e.name} (ordinal {e.ordinal}) is not declared: it is a caller-cleans (cdecl)")
            lines.append("// function, and PowerBuilder calls only functions that clean the stack themselves.")
            continue
        if any(_kind(a.code) == "f" for a in e.arguments):
            lines.append(f"// {e.name} (ordinal {e.ordinal}) is not declared: PowerBuilder script cannot make a")
            lines.append("// function for the library to call. Ask the status with BPRealtimeGetStatus.")
            continue
        parameters = ", ".join(_powerbuilder_parameter(e, a) for a in e.arguments)
        ansi = any(_kind(a.code) in "su" for a in e.arguments) and not _is_utf8(e)
        alias = f' ALIAS FOR "{e.name};Ansi"' if ansi else ""
        lines.append(f'FUNCTION long {e.name}({parameters}) LIBRARY "{_DLL}"{alias}')
    lines += ["", "// Constants, for Global Variables."]
    for c in defined:
        if len(c.name) > _POWERBUILDER_NAME_LIMIT:
            raise TableError(f"{c.name} is longer than PowerBuilder's {_POWERBUILDER_NAME_LIMIT} characters")
        if c.heading:
            lines.append(f"// {c.heading}")
        comment = f" // {c.comment}" if c.comment else ""
        lines.append(f"constant long {c.name} = {c.value}{comment}")
    return "\r\n".join(lines) + "\r\n"


def main(argv: list[str]) -> int:
    if len(argv) != 4:
        print(__doc__, file=sys.stderr)
        return 2
    table, header, output = Path(argv[1]), Path(argv[2]), Path(argv[3])
    try:
        exports = parse(table.read_text(), str(table))
        defined = constants(header.read_text())
        files = {"Slipdrv.cs": csharp(exports, defined), "slipdrv.bas": visual_basic(exports, defined),
                 "slipdrv.pas": pascal(exports, defined), "slipdrv_powerbuilder.txt": powerbuilder(exports, defined)}
    except TableError as error:
        print(error, file=sys.stderr)
        return 1
    output.mkdir(parents=True, exist_ok=True)
    for name, text in files.items():
        (output / name).write_bytes(text.encode())
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
