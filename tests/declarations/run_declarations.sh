#!/usr/bin/env bash
# The generated C# and Pascal declarations at work: each language's receipt
# program, compiled against its generated file, prints a short receipt on a
# virtual printer through libslipdrv.so and asks the paper sensor's status.
# The printer's record must hold exactly the receipt's bytes, worked out here
# from the printer commands and iconv, and the status must be the one the
# printer was told to report.
#   run_declarations.sh GENERATED_DIR LIBRARY VIRTUAL_PRINTER SOURCE_DIR
# A language whose compiler is missing is skipped (exit 77 when any is).
set -u
generated=$1 library=$2 printer=$3 source=$4
run=$(mktemp -d /tmp/kit-declarations-XXXXXX)
printer_pid=
finish() {
  [ -n "$printer_pid" ] && kill "$printer_pid" 2>/dev/null && wait "$printer_pid" 2>/dev/null
  rm -rf "$run"
}
trap finish EXIT

gb18030() { printf '%s' "$1" | iconv -f UTF-8 -t GB18030; }
# Text, "合计" as raw GB18030 bytes, FS & (Chinese mode), the UTF-8 line in
# GB18030, the bill row (12 columns left-aligned, 4 and 12 right-aligned; a
# Chinese character takes two; no FS & again, the mode being on), GS V 66 0
# (cut), DLE EOT 4.
{
  printf 'Table 7\n'
  gb18030 '合计'
  printf '\n\x1c&'
  gb18030 '宫保鸡丁'
  printf '\n'
  gb18030 '宫保鸡丁'
  printf '    '"  x2"'       38.00\n'
  printf '\x1dV\x42\x00\x10\x04\x04'
} >"$run/expected.bin"
# The paper near its end: status 4 answers 1Eh.
expected_output=$'results 0 0 0 0 0 0\nstatus 30'

failed=0 skipped=0
# receipt LANGUAGE COMMAND...: runs the compiled program against a fresh printer and checks it.
receipt() {
  local language=$1 dir=$run/$1 out status
  shift
  "$printer" --link "$dir/COM1" --record "$dir/record.bin" --control "$dir/control" --state paper-near-end \
    >"$dir/printer.log" 2>&1 &
  printer_pid=$!
  for _ in $(seq 1 500); do [ -e "$dir/COM1" ] && break; sleep 0.01; done
  out=$(cd "$dir" && SLIPDRV_COM1="$dir/COM1" "$@" 2>&1)
  status=$?
  # The status reply came after the printer had read the whole receipt.
  echo quit >"$dir/control"
  wait "$printer_pid"
  printer_pid=
  if [ $status -ne 0 ] || [ "$out" != "$expected_output" ]; then
    echo "FAIL $language: exit $status, printed:"
    echo "$out"
    failed=$((failed + 1))
  elif ! cmp -s "$run/expected.bin" "$dir/record.bin"; then
    echo "FAIL $language: the printer received other bytes"
    diff <(od -An -tx1 -v "$run/expected.bin") <(od -An -tx1 -v "$dir/record.bin")
    failed=$((failed + 1))
  else
    echo "ok   $language: the receipt's bytes and status 4"
  fi
}

libdir=$(dirname "$library")
if command -v mcs >/dev/null && command -v mono >/dev/null; then
  mkdir -p "$run/cs"
  # Mono on Linux finds the DLL's name through the program's dllmap.
  cat >"$run/cs/receipt.exe.config" <<CONFIG
<configuration>
  <dllmap dll="slipdrv.dll" target="$library" />
</configuration>
CONFIG
  if mcs -nologo -warnaserror -out:"$run/cs/receipt.exe" "$generated/Slipdrv.cs" "$source/receipt.cs" \
    >"$run/cs/compile.log" 2>&1; then
    receipt cs mono "$run/cs/receipt.exe"
  else
    echo "FAIL cs: Slipdrv.cs and receipt.cs do not compile:"
    cat "$run/cs/compile.log"
    failed=$((failed + 1))
  fi
else
  echo "SKIP cs: no mcs and mono (tools/install-deps installs them)"
  skipped=$((skipped + 1))
fi

if command -v fpc >/dev/null; then
  mkdir -p "$run/pas"
  if fpc -vew -Sew -Fu"$generated" -FU"$run/pas" -FE"$run/pas" -Fl"$libdir" "$source/receipt.pas" \
    >"$run/pas/compile.log" 2>&1; then
    receipt pas env LD_LIBRARY_PATH="$libdir" "$run/pas/receipt"
  else
    echo "FAIL pas: slipdrv.pas and receipt.pas do not compile:"
    cat "$run/pas/compile.log"
    failed=$((failed + 1))
  fi
else
  echo "SKIP pas: no fpc (tools/install-deps installs fp-compiler)"
  skipped=$((skipped + 1))
fi

[ "$failed" -eq 0 ] || exit 1
[ "$skipped" -eq 0 ] || exit 77
