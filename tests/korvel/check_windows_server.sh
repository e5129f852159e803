#!/usr/bin/env bash
# Checks what a Windows host depends on in Korvel.dll: exactly the four
# standard in-process server exports under their undecorated names, the type
# library as resource TYPELIB 1, a version block that asks for
# self-registration, and only system DLLs imported.
#   check_windows_server.sh DLL OBJDUMP EXPECTED-FORMAT   (e.g. pei-i386)
set -u
dll=$1 objdump=$2 format=$3
dump=$("$objdump" -p "$dll") || { echo "FAIL: cannot read $dll"; exit 1; }
failed=0 passed=0
check() { if eval "$2"; then echo "ok   $1"; passed=$((passed + 1)); else echo "FAIL $1"; failed=$((failed + 1)); fi; }

check "file format $format" 'grep -q "file format $format" <<<"$dump"'
exported=$(sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$dump" | awk -F'] ' '/\[ *[0-9]+\]/ {print $2}' | sort | tr '\n' ' ')
echo "     exports: $exported"
check "the four server exports, undecorated, and nothing else" \
  '[ "$exported" = "DllCanUnloadNow DllGetClassObject DllRegisterServer DllUnregisterServer " ]'
if [ "$format" = pei-i386 ]; then
  # Callee-cleans, as the automation runtime calls them: the compiler's _Name@N symbols.
  symbols=$("$objdump" -t "$dll")
  for name in DllCanUnloadNow DllGetClassObject DllRegisterServer DllUnregisterServer; do
    check "$name callee-cleans" 'grep -Eq " _${name}@[0-9]+\$" <<<"$symbols"'
  done
fi
rsrc=$(sed -n '/The .rsrc Resource Directory section/,$p' <<<"$dump")
check "TYPELIB resource 1" 'grep -A3 "name: .*TYPELIB" <<<"$rsrc" | grep -Eq "Entry: ID: 0x0*1,"'
# The version block's texts are UTF-16.
texts=$(strings -el "$dll")
check "version block: OLESelfRegister, file and product version 1.0.0.0" \
  'grep -qx OLESelfRegister <<<"$texts" && [ "$(grep -cx "1\.0\.0\.0" <<<"$texts")" -eq 2 ]'
imports=$(grep -i 'DLL Name:' <<<"$dump" | awk '{print toupper($3)}' | sort -u | tr '\n' ' ')
echo "     imports: $imports"
check "only system DLLs" \
  '[ -z "$(tr " " "\n" <<<"$imports" | grep -Ev "^(KERNEL32|MSVCRT|USER32|ADVAPI32|OLE32|OLEAUT32|NTDLL|API-MS-WIN-.*)\.DLL$|^$")" ]'
echo "windows server checks: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
