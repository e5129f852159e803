#!/usr/bin/env bash
# From BPSelectCutPaper to the last byte at the printer through a CUPS raw
# queue, against `lp -o raw` of the same bytes to the same queue, and the
# i686 library under 32-bit Wine's spooler, which hands its jobs to the same
# queue. A CUPS scheduler of its own (tests/slipdrv/cups/cups_queue.sh) prints
# to a virtual printer behind a TCP port. Run as root (cupsd runs its
# backends as lp).
#   bench/queue_latency.sh [RUNS] [NATIVE_BUILD] [WIN32_BUILD]
set -euo pipefail
root=$(cd "$(dirname "$(realpath "$0")")/.." && pwd -P)
runs=${1:-15}
build=$(realpath "${2:-$root/build/default}")
win32=$(realpath -m "${3:-$root/build/win32}")
. "$root/tests/slipdrv/cups/cups_queue.sh"
cups_available || { echo "queue_latency.sh: cupsd or its socket backend is missing: run tools/install-deps" >&2; exit 1; }

work=$(mktemp -d /tmp/queue-latency-XXXXXX)
chmod 0755 "$work"
printer_pid=""
finish() {
  cups_stop "$work/cups" || true
  [ -z "$printer_pid" ] || kill "$printer_pid" 2>/dev/null || true
  [ -z "${WINEPREFIX:-}" ] || /usr/lib/wine/wineserver -k 2>/dev/null || true
  rm -rf "$work"
}
trap finish EXIT

"$build/sim/virtual_printer/virtual-printer" --tcp 0 --record "$work/record.bin" >"$work/printer.log" 2>&1 </dev/null &
printer_pid=$!
port=""
for _ in $(seq 200); do
  port=$(grep -oP 'listening on 127\.0\.0\.1:\K[0-9]+' "$work/printer.log" || true)
  [ -n "$port" ] && break
  sleep 0.05
done
[ -n "$port" ] || { echo "the virtual printer did not start" >&2; exit 1; }
cups_start "$work/cups"
cups_add_queue "$work/cups" Bench "$port"
export CUPS_SERVER="$work/cups/cups.sock"

echo "=== the library (libcups), $runs runs ==="
"$build/bench/queue_latency" Bench "$work/record.bin" "$runs" | tail -1
echo "=== lp -o raw, $runs runs ==="
"$build/bench/queue_latency" Bench "$work/record.bin" "$runs" --lp | tail -1
if [ -f "$win32/bin/queue_latency.exe" ] && [ -x /usr/lib/wine/wine ]; then
  export WINEPREFIX="$work/wine" WINEDEBUG=-all
  /usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1
  cp "$win32/bin/queue_latency.exe" "$work/"
  echo "=== the i686 library under 32-bit Wine's spooler, $runs runs ==="
  (cd "$work" && /usr/lib/wine/wine queue_latency.exe Bench "Z:${work//\//\\}\\record.bin" "$runs" | tr -d '\r' | tail -1)
fi
