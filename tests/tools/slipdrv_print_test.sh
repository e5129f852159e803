#!/usr/bin/env bash
# slipdrv-print against a virtual printer on COM1. Each row of the table runs
# the program once, with the printer in a given state, and checks the exit
# status, the bytes the printer received (as hex, a glob) and the output
# (stdout and stderr together, a glob). The bytes are written out from the
# printer's command set by hand, not taken from the library.
#
#   slipdrv_print_test.sh PROGRAM VIRTUAL_PRINTER VERSION IMAGE [WINE MODEM_SHIM OBJDUMP]
# With WINE the Windows program runs under it, COM1 mapped to the printer.
set -u
program=$(realpath "$1") printer=$2 version=$3 image=$4
launcher=() shim="" objdump=""
if [ $# -ge 7 ]; then launcher=("$5") shim=$6 objdump=$7; fi
[ ${#launcher[@]} -eq 0 ] || . "$(dirname "$0")/../slipdrv/wine/wine_helpers.sh"
export LANG=C.UTF-8 LC_ALL=C.UTF-8 WINEDEBUG=-all

run=$(mktemp -d /tmp/slipdrv-print-test-XXXXXX)
printer_pid=""
finish() {
  # Wine's server holds the pty: let it go before the printer closes it.
  [ ${#launcher[@]} -eq 0 ] || wine_stop
  [ -z "$printer_pid" ] || { kill "$printer_pid" 2>/dev/null; wait "$printer_pid" 2>/dev/null; }
  rm -rf "$run"
}
trap finish EXIT

"$printer" --link "$run/printer-COM1" --record "$run/received.bin" --control "$run/control" \
  >"$run/printer.log" 2>&1 </dev/null &
printer_pid=$!
for _ in $(seq 1 500); do [ -L "$run/printer-COM1" ] && break; sleep 0.01; done
[ -L "$run/printer-COM1" ] || { echo "the virtual printer did not start"; cat "$run/printer.log"; exit 1; }
: >>"$run/received.bin"
export SLIPDRV_COM1="$run/printer-COM1" SLIPDRV_LPT1="$run/no-such-device"
if [ ${#launcher[@]} -gt 0 ]; then
  map_port COM1 "$run/printer-COM1"
  map_port LPT1 "$run/no-such-device"
  wine_stop
  wine_start "$run/wine.log"
  export LD_PRELOAD="$shim"
fi

# Files the rows name, relative to the folder the program runs in.
cp "$image" "$run/logo.bmp"
printf 'A\nB\n' >"$run/lines.txt"
printf 'A\nB\n\xff\n' >"$run/malformed.txt"
mkfifo "$run/fifo"
# One byte more than a text file may hold, in lines that would print.
head -c $((1024 * 1024 + 1)) /dev/zero | tr '\0' 'x' | fold -w 64 >"$run/big.txt"
truncate -s $((1024 * 1024 + 1)) "$run/big.txt"
printf 'not an image\n' >"$run/text.bmp"
printf 'Tea\t12\n' >"$run/rows.tsv"
printf 'a\tb\nc\x1bd\te\n' >"$run/rows-bad.tsv"

state() { echo "state $1" >"$run/control" && sleep 0.2; }
# The bytes received since the last call, as hex, once no more arrive.
received_since=0
take_received() {
  local size previous=-1
  for _ in $(seq 1 100); do
    size=$(stat -c %s "$run/received.bin")
    [ "$size" -eq "$previous" ] && break
    previous=$size
    sleep 0.05
  done
  tail -c +$((received_since + 1)) "$run/received.bin" | od -An -v -tx1 | tr -d ' \n'
  received_since=$size
}

passed=0 failed=0
# A row of what the command line means, the same code on every platform: run natively only.
native_row() { [ ${#launcher[@]} -gt 0 ] || row "$@"; }
# row NAME STATE STDIN EXIT HEX-GLOB OUTPUT-GLOB ARGS...
row() {
  local name=$1 condition=$2 input=$3 expected=$4 hex=$5 output=$6
  shift 6
  state "$condition"
  take_received >/dev/null
  local out rc got
  out=$(cd "$run" && printf '%b' "$input" | timeout -k 5 120 "${launcher[@]}" "$program" "$@" 2>&1)
  rc=$?
  out=${out//$'\r'/}
  got=$(take_received)
  local why=""
  [ "$rc" -eq "$expected" ] || why="exit $rc, not $expected"
  # shellcheck disable=SC2053
  [[ $got == $hex ]] || why="$why; received '$got', not '$hex'"
  # shellcheck disable=SC2053
  [[ $out == $output ]] || why="$why; printed '${out:0:400}'"
  if [ -z "$why" ]; then
    passed=$((passed + 1)); echo "ok   $name"
  else
    failed=$((failed + 1)); echo "FAIL $name: ${why#; }"
  fi
}

# Printer commands, in hex.
FS_ON=1c26 FS_OFF=1c2e CUT=1d564200 DRAWER=1b7000ffff
CENTRE=1b6101 LEFT=1b6100 DOUBLE=1d2111 NORMAL=1d2100
QUERIES=100401100402100403100404
# GB18030: 台 CCA8, 号 BAC5, 桌 D7C0, 费 B7D1, 元 D4AA, 茶 B2E8.
TAI=cca8 HAO=bac5 ZHUO=d7c0 FEI=b7d1 YUAN=d4aa CHA=b2e8
# QR code "pay/7": model 2, 6-dot modules, level M, the data (8 bytes counted), print.
QR=1d286b0400314132001d286b03003143061d286b03003145311d286b08003150307061792f371d286b0300315130

row "--help: usage on stdout, nothing sent" ok "" 0 "" "usage: slipdrv-print *Exit status: 0 printed*" --help
row "--version" ok "" 0 "" "slipdrv-print $version" --version
row "text arguments, one line each" ok "" 0 "410a420a" "" A B
row "Chinese mode around the lines with multi-byte characters" ok "" 0 \
  "${FS_ON}${TAI}${HAO}0a${FS_OFF}780a${FS_ON}${ZHUO}0a${FS_OFF}" "" 台号 x 桌
row "standard input: byte-order mark and CR dropped, one Chinese run, last line ends" ok \
  '\xef\xbb\xbf\xe5\x8f\xb0\r\n\xe5\x8f\xb7' 0 "${FS_ON}${TAI}0a${HAO}0a${FS_OFF}" ""
row "--file, then - for standard input, in order" ok 'C\n' 0 "410a420a430a" "" --file lines.txt -
row "--title: centred, double size, then back" ok "" 0 "${CENTRE}${DOUBLE}${FS_ON}${ZHUO}0a${FS_OFF}${NORMAL}${LEFT}" "" \
  --title 桌
row "--barcode by name: format B, code set B added to CODE128" ok "" 0 "1d6b49067b424e6f2e37" "" --barcode code128:No.7
native_row "--barcode by number, format A: data closed by NUL" ok "" 0 "1d6b0236393031323334353637383900" "" \
  --barcode 2:690123456789
native_row "--barcode EAN13 by name: format B JAN13" ok "" 0 "1d6b430d36393031323334353637383932" "" \
  --barcode=EAN-13:6901234567892
row "--qr" ok "" 0 "$QR" "" --qr pay/7
row "--image: a bit image in 24-dot bands" ok "" 0 "1b2a21*" "" --image logo.bmp
row "items in order, then the cut and the drawer" ok "" 0 "410a1b6402420a${CUT}${DRAWER}" "" \
  A --drawer --cut --feed 2 B
native_row "-- makes the rest text" ok "" 0 "2d2d63750a" "" -- --cu
row "--status, ready: the four queries, then the text" ok "" 0 "${QUERIES}580a" \
  "status 1 printer:*12h*status 4 paper sensor:*12h*ready" --status X
row "--status, paper near its end: a warning, exit 0" paper-near-end "" 0 "${QUERIES}" \
  "*status 4 paper sensor:*1Eh  paper near its end*ready; warning: the paper is near its end" --status
row "--status, paper out: not ready, exit 1, nothing printed" paper-out "" 1 "${QUERIES}" \
  "*paper out*not ready: offline, stopped at the paper end, paper out*" --status X --cut
row "--status, cover open" cover-open "" 1 "${QUERIES}" "*cover open*not ready: offline, cover open*" --status
# Wine opens LPT1 whatever it maps to; the first write fails there instead.
row "a port that does not work: exit 1, the call named" ok "" 1 "" "slipdrv-print: BP*) failed*" --port 11 A

# Rows: the library selects Chinese mode for a row and, as the mode was not
# set before it, leaves it on; the program leaves it at the end.
row "--row: padded and aligned in its columns, then text" ok "" 0 \
  "${FS_ON}${TAI}${FEI}202020202033352e3530${YUAN}0a${FS_OFF}410a" "" --layout 8L,8R --row '台费|35.50元' A
row "--rows from a file and standard input, in order" ok '\xe8\x8c\xb6\t8\n' 0 \
  "54656120202031320a${FS_ON}${CHA}2020202020380a${FS_OFF}" "" --layout 5L,3R --rows rows.tsv --rows -
# Big5: 臺 BB4F, 北 A55F, 台 A578; GBK: the yen sign as the full-width one, A3A4.
row "--encoding big5: a row and a text line in Big5" ok "" 0 "${FS_ON}bb4fa55f20310aa5780a${FS_OFF}" "" \
  --encoding big5 --layout 4L,2R --row '臺北|1' 台
row "--encoding gbk: a character GBK lacks as one it has" ok "" 0 "${FS_ON}a3a4350a${FS_OFF}" "" --encoding gbk ¥5
row "--encoding utf-8: the text as it is" ok "" 0 "${FS_ON}e58fb00a${FS_OFF}" "" --encoding UTF-8 台

row "--port named by text: COM1 at a speed of its own" ok "" 0 "410a" "" --port com1:19200 A
row "--port named by text that opens nothing: exit 1" ok "" 1 "" "*BPOpenPrinterByName(\"COM11\") failed*" --port COM11 A

# Bad usage: exit 2 and nothing sent, whatever comes before the fault.
row "bad usage, unknown option: exit 2, nothing sent" ok "" 2 "" "*unknown option --bogus*" A --cut --bogus
# ARGS are split at spaces, and \xNN in them is that byte; messages show such
# bytes as \xNN too.
while IFS='|' read -r name output args; do
  read -ra words <<<"$args"
  for i in "${!words[@]}"; do printf -v "words[$i]" '%b' "${words[i]}"; done
  native_row "bad usage, $name: exit 2, nothing sent" ok "" 2 "" "$output" "${words[@]}"
done <<'ROWS'
value missing|*--qr needs a value*|A --qr
port 0|*bad --port 0*|--port 0 A
port 13|*bad --port 13*|--port 13 A
port text of no kind|*bad --port Counter: a port is 1-12 or a text*|--port Counter A
baud below 2400|*bad --baud 1200*|--baud 1200 A
unknown symbology|*bad --barcode NOPE:1*|--barcode NOPE:1
symbology 9|*bad --barcode 9:1*|--barcode 9:1
barcode without data|*bad --barcode 73:*|--barcode 73:
feed 256|*bad --feed 256*|--feed 256
value to a flag|*--cut takes no value*|--cut=1
missing file|*cannot read nothing.txt*|A --file nothing.txt
missing image|*cannot read nothing.bmp*|A --image nothing.bmp
file a FIFO|*fifo is not a regular file*|A --file fifo
file a device|*/dev/zero is not a regular file*|A --file /dev/zero
file over 1 MiB|*big.txt holds more than 1 MiB*|A --file big.txt
image a FIFO|*fifo is not a regular file*|A --image fifo
image a device|*/dev/zero is not a regular file*|A --image /dev/zero
image not a bitmap|*text.bmp is not an image the library prints*|A --image text.bmp
malformed UTF-8 in line 3 of a file|*line 3 of malformed.txt is not well-formed UTF-8*"\\xff"*|--file malformed.txt
malformed UTF-8 in a text argument|*a text argument is not well-formed*"A\\xc3("*|A\xc3( B
malformed UTF-8 in a title|*the --title is not well-formed*"\\xed\\xa0\\x80"*|A --title \xed\xa0\x80
UPC-A of 10 digits|*bad --barcode UPC-A:0123456789: UPC-A takes 11-12 characters (10 given)*|A --barcode UPC-A:0123456789
JAN13 with letters|*bad --barcode JAN13:690123456789X: JAN13 takes only 0-9, not "X"*|A --barcode JAN13:690123456789X
format A JAN8 of 9 digits|*bad --barcode 3:012345678*|A --barcode 3:012345678
ITF of an odd length|*bad --barcode ITF:123: ITF takes an even number*|A --barcode ITF:123
CODE39 in lower case|*bad --barcode CODE39:abc*|A --barcode CODE39:abc
CODABAR with a comma|*bad --barcode NW-7:1,2*|A --barcode NW-7:1,2
printer's own 13 digits with a letter|*bad --barcode 74:69012345678A*|A --barcode 74:69012345678A
a control byte shown as \x01|*bad --barcode CODE39:A\\x01B: CODE39 takes only *, not "\\x01"*|A --barcode CODE39:A\x01B
unknown encoding|*bad --encoding latin1*|--encoding latin1 A
row before a layout|*--row needs a --layout before it*|A --row a
layout width 256|*bad --layout 256L*|--layout 256L --row a
layout of lower case|*bad --layout 4l*|--layout 4l --row a
row with a text too few|*the --row has 1 text for the 2 columns of --layout 2L,2L: "a"*|A --layout 2L,2L --row a
row with a TAB|*bad --row a\\x09b: a text holds a TAB*|--layout 2L,2L --row a\tb
wide character in a 1-column cell|*the --row holds a character wider than its column*|A --layout 1L,2R --row 台|1
control byte in line 2 of a rows file|*line 2 of rows-bad.tsv holds a control character: "c\\x1bd\\x09e"*|--layout 2L,2L --rows rows-bad.tsv
missing rows file|*cannot read nothing.tsv*|A --layout 2L --rows nothing.tsv
ROWS
# Standard input and a QR code one byte over their limits.
native_row "bad usage, standard input over 1 MiB: exit 2, nothing sent" ok "$(head -c $((1024 * 1024 + 1)) /dev/zero | tr '\0' x)" \
  2 "" "*standard input holds more than 1 MiB*" A -
native_row "bad usage, QR code of 7090 bytes: exit 2, nothing sent" ok "" 2 "" "*bad --qr xxx*: a QR code holds at most 7089 bytes*" \
  A --qr "$(head -c 7090 /dev/zero | tr '\0' x)"

if [ -n "$objdump" ]; then
  subsystem=$("$objdump" -p "$program" | awk '/^Subsystem/ {print $2}')
  if [ "$subsystem" = 00000003 ]; then
    passed=$((passed + 1)); echo "ok   console subsystem"
  else
    failed=$((failed + 1)); echo "FAIL console subsystem: $subsystem"
  fi
fi

echo "slipdrv-print: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
