#!/usr/bin/env bash
# Checks what a Windows host depends on in vocalcue.exe: a GUI-subsystem
# executable of the expected machine type that imports only system DLLs and
# binds the multimedia library at run time rather than at load time.
#   check_windows_program.sh EXE OBJDUMP EXPECTED-FORMAT   (e.g. pei-i386)
set -u
exe=$1 objdump=$2 format=$3
dump=$("$objdump" -p "$exe") || { echo "FAIL: cannot read $exe"; exit 1; }
failed=0
check() { if eval "$2"; then echo "ok   $1"; else echo "FAIL $1"; failed=$((failed + 1)); fi; }

check "file format $format"         'grep -q "file format $format" <<<"$dump"'
check "GUI subsystem"               'grep -Eq "^Subsystem[[:space:]]+00000002" <<<"$dump"'
imports=$(grep -i 'DLL Name:' <<<"$dump" | awk '{print toupper($3)}' | sort -u | tr '\n' ' ')
echo "     imports: $imports"
check "no multimedia library import" '! grep -q "WINMM" <<<"$imports"'
check "only system DLLs"            '[ -z "$(tr " " "\n" <<<"$imports" | grep -Ev "^(KERNEL32|MSVCRT|USER32|ADVAPI32|NTDLL|API-MS-WIN-.*)\.DLL$|^$")" ]'
passed=$(( 4 - failed ))
echo "windows program checks: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
