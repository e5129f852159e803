#!/usr/bin/env bash
# Runs the printer-queue port's Windows test program under Wine against a
# CUPS raw queue of its own (tests/slipdrv/cups/cups_queue.sh: a private
# scheduler) that prints to a virtual printer behind a TCP port. Wine reads
# the CUPS queues when a program loads its spooler, so the queue is made, and
# made the default, before the program starts. Afterwards the bytes the
# program says it sent must be the printer's record, in the jobs it expects.
# WINEPREFIX must name a prepared prefix.
#   run_queue_wine.sh WINE TEST_EXE VIRTUAL_PRINTER [TEST-ARGS...]
# Exit 77 (skipped) where CUPS is not installed, except in CI.
set -u
launcher=$1 exe=$2 printer=$3
shift 3
here=$(cd "$(dirname "$0")" && pwd)
cups="$here/../cups/cups_queue.sh"
. "$here/wine_helpers.sh"
require_helpers "$printer" || exit 1
if ! bash "$cups" available; then
  if [ -n "${CI:-}" ]; then
    echo "CUPS (cupsd, lpadmin, the socket backend) is missing: run tools/install-deps"
    exit 1
  fi
  echo "skipped: CUPS is not installed (tools/install-deps installs it)"
  exit 77
fi
export WINEDEBUG=-all
queue=slipwine
jobs_expected=5
run=$(mktemp -d /tmp/slipdrv-queue-wine-XXXXXX)
# CUPS runs its backends as lp, which must reach the spool inside.
chmod 0755 "$run"
printer_pid=

finish() {
  wine_stop
  bash "$cups" stop "$run/cups"
  [ -z "$printer_pid" ] || { kill "$printer_pid" 2>/dev/null; wait "$printer_pid" 2>/dev/null; }
  rm -rf "$run"
}
trap finish EXIT

"$printer" --tcp 0 --record "$run/printed" >"$run/printer.log" 2>&1 </dev/null &
printer_pid=$!
port=
for _ in $(seq 1 200); do
  port=$(sed -n 's/^virtual-printer: listening on 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$run/printer.log")
  [ -n "$port" ] && break
  sleep 0.01
done
[ -n "$port" ] || { echo "virtual printer did not start"; cat "$run/printer.log"; exit 1; }

bash "$cups" start "$run/cups" || exit 1
bash "$cups" add "$run/cups" "$queue" "$port" || exit 1
export CUPS_SERVER="$run/cups/cups.sock"
lpadmin -d "$queue" || exit 1
# Wine's own services log apart, so that the program's output is its own.
wine_start "$run/wine.log"

SLIPDRV_QUEUE=$queue SLIPDRV_QUEUE_SENT=$(dos_path "$run/sent") "$launcher" "$exe" "$@" >"$run/out.txt" 2>&1 </dev/null
rc=$?
cat "$run/out.txt"
[ $rc -eq 0 ] || exit $rc

# CUPS hands each job on within a few tens of milliseconds; a loaded machine gets 10 s.
for _ in $(seq 1 1000); do
  [ "$(lpstat -o "$queue" | wc -l)" -eq 0 ] && [ -f "$run/printed" ] &&
    [ "$(stat -c %s "$run/printed")" -ge "$(stat -c %s "$run/sent")" ] && break
  sleep 0.01
done
if ! cmp "$run/sent" "$run/printed"; then
  echo "the printer's record differs from what the program sent:"
  od -A d -t x1 "$run/printed" | head -20
  exit 1
fi
jobs=$(lpstat -W completed -o "$queue" | wc -l)
if [ "$jobs" -ne "$jobs_expected" ]; then
  echo "CUPS completed $jobs jobs, not $jobs_expected"
  exit 1
fi
echo "the printer received the $(stat -c %s "$run/sent") bytes sent, in $jobs jobs"
