#!/usr/bin/env bash
# Checks what a Windows host depends on in slipdrv.dll: every export of the
# export list under its undecorated name and ordinal, and nothing else; only
# system DLLs imported; and on i686 the calling convention of each export
# (the list's stdcall or cdecl), read from the decorations the compiler gave
# the functions.
#   check_windows_library.sh DLL OBJDUMP EXPORT-LIST MACHINE   (MACHINE: i686 or x86_64)
# EXPORT-LIST is slipdrv.exports, made from slipdrv/exports.txt: "ordinal name convention ...".
set -u
dll=$1 objdump=$2 list=$3 machine=$4
failed=0 passed=0
check() {
  if [ "$2" = ok ]; then passed=$((passed + 1)); else echo "FAIL $1: $2"; failed=$((failed + 1)); fi
}

dump=$("$objdump" -p "$dll") || { echo "FAIL: cannot read $dll"; exit 1; }
base=$(awk '/^Ordinal Base/ {print $3; exit}' <<<"$dump")
# "[  n] Name" lines of the name pointer table: ordinal = n + base.
exported=$(sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$dump" |
  awk -v base="$base" -F'[][]' '/\[ *[0-9]+\]/ {gsub(/ /, "", $2); name=$3; gsub(/^ +/, "", name); print name " " $2 + base}' | sort)
expected=$(awk '!/^#/ && NF {print $2 " " $1}' "$list" | sort)
if [ "$exported" = "$expected" ]; then check "exports and ordinals" ok
else check "exports and ordinals" "$(diff <(echo "$expected") <(echo "$exported") | head -10)"; fi
count=$(wc -l <<<"$expected")
echo "     $count exports checked against $(basename "$list")"

imports=$(grep -i 'DLL Name:' <<<"$dump" | awk '{print toupper($3)}' | sort -u | tr '\n' ' ')
echo "     imports: $imports"
others=$(tr ' ' '\n' <<<"$imports" | grep -Ev '^(KERNEL32|MSVCRT|USER32|GDI32|ADVAPI32|NTDLL|WS2_32|API-MS-WIN-.*)\.DLL$|^$')
if [ -z "$others" ]; then check "only system DLLs" ok; else check "only system DLLs" "$others"; fi

if [ "$machine" = i686 ]; then
  symbols=$("$objdump" -t "$dll")
  while read -r ordinal name convention codes; do
    case "$convention" in
      cdecl)
        grep -Eq " _${name}\$" <<<"$symbols" && ! grep -Eq " _${name}@[0-9]+\$" <<<"$symbols" &&
          check "$name caller-cleans" ok || check "$name caller-cleans" "no undecorated _$name symbol alone" ;;
      *)
        # 4 bytes of stack for each argument, all of them int or a pointer.
        bytes=$((4 * $(wc -w <<<"$codes")))
        grep -Eq " _${name}@${bytes}\$" <<<"$symbols" && check "$name callee-cleans" ok ||
          check "$name callee-cleans" "no _$name@$bytes symbol" ;;
    esac
  done < <(awk '!/^#/ && NF' "$list")
fi

echo "windows library checks: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
