#!/usr/bin/env bash
# Checks what a Windows host depends on in slipdrv.dll: every export of the
# .def file under its undecorated name and ordinal, and nothing else; only
# system DLLs imported; and on i686 the calling convention of each export
# (callee-cleans everywhere except the two caller-cleans exports), read from
# the decorations the compiler gave the functions.
#   check_windows_library.sh DLL OBJDUMP DEF-FILE MACHINE   (MACHINE: i686 or x86_64)
set -u
dll=$1 objdump=$2 def=$3 machine=$4
failed=0 passed=0
check() {
  if [ "$2" = ok ]; then passed=$((passed + 1)); else echo "FAIL $1: $2"; failed=$((failed + 1)); fi
}

dump=$("$objdump" -p "$dll") || { echo "FAIL: cannot read $dll"; exit 1; }
base=$(awk '/^Ordinal Base/ {print $3; exit}' <<<"$dump")
# "[  n] Name" lines of the name pointer table: ordinal = n + base.
exported=$(sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$dump" |
  awk -v base="$base" -F'[][]' '/\[ *[0-9]+\]/ {gsub(/ /, "", $2); name=$3; gsub(/^ +/, "", name); print name " " $2 + base}' | sort)
expected=$(awk '/^ +BP[A-Za-z0-9]+ +@[0-9]+/ {sub(/@/, "", $2); print $1 " " $2}' "$def" | sort)
if [ "$exported" = "$expected" ]; then check "exports and ordinals" ok
else check "exports and ordinals" "$(diff <(echo "$expected") <(echo "$exported") | head -10)"; fi
count=$(wc -l <<<"$expected")
echo "     $count exports checked against $(basename "$def")"

imports=$(grep -i 'DLL Name:' <<<"$dump" | awk '{print toupper($3)}' | sort -u | tr '\n' ' ')
echo "     imports: $imports"
others=$(tr ' ' '\n' <<<"$imports" | grep -Ev '^(KERNEL32|MSVCRT|USER32|GDI32|ADVAPI32|NTDLL|WS2_32|API-MS-WIN-.*)\.DLL$|^$')
if [ -z "$others" ]; then check "only system DLLs" ok; else check "only system DLLs" "$others"; fi

if [ "$machine" = i686 ]; then
  symbols=$("$objdump" -t "$dll")
  while read -r name ordinal; do
    case "$name" in
      BPSetAbsoluPrintPosition | BPPageAbsoluVerticalPosition)
        grep -Eq " _${name}\$" <<<"$symbols" && check "$name caller-cleans" ok ||
          check "$name caller-cleans" "no undecorated _$name symbol" ;;
      *)
        grep -Eq " _${name}@[0-9]+\$" <<<"$symbols" && check "$name callee-cleans" ok ||
          check "$name callee-cleans" "no _$name@N symbol" ;;
    esac
  done <<<"$expected"
fi

echo "windows library checks: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
