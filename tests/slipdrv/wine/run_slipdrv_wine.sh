#!/usr/bin/env bash
# Runs slipdrv's Windows test program under Wine against virtual printers:
# COM1, COM2 and LPT1 are mapped to pseudo-terminals played by the
# virtual-printer program, and the modem-line shim is preloaded so the real
# WaitCommEvent path runs. COM3 and COM5 are network printers: SLIPDRV_COM3
# and SLIPDRV_COM5 name virtual printers behind TCP ports on 127.0.0.1 (files
# printer-NET.* and printer-STALL.*; the second stops reading after 1000 bytes).
# WINEPREFIX must name a prepared prefix.
#   run_slipdrv_wine.sh WINE TEST_EXE VIRTUAL_PRINTER MODEM_SHIM [TEST-ARGS...]
# WINE is /usr/lib/wine/wine for an i686 build, /usr/lib/wine/wine64 for x86_64.
set -u
launcher=$1 exe=$2 printer=$3 shim=$4
shift 4
. "$(dirname "$0")/wine_helpers.sh"
require_helpers "$printer" "$shim" || exit 1
export WINEDEBUG=-all
run=$(mktemp -d /tmp/slipdrv-wine-XXXXXX)
ports=(COM1 COM2 LPT1)
pids=()

finish() {
  # The Wine server holds the ptys; let it go before the printers close them.
  wine_stop
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null; done
  rm -rf "$run"
}
trap finish EXIT

for port in "${ports[@]}"; do
  # Not "COM1.record": under Windows a file named after a device is that device.
  "$printer" --link "$run/printer-$port" --record "$run/printer-$port.record" \
    --control "$run/printer-$port.control" >"$run/printer-$port.log" 2>&1 </dev/null &
  pids+=($!)
done
# start_network_printer NAME [OPTION...] : a virtual printer behind a free TCP
# port, with files printer-NAME.*; sets tcp_port to the port it listens on.
start_network_printer() {
  local name=$1
  shift
  "$printer" --tcp 0 --record "$run/printer-$name.record" --control "$run/printer-$name.control" "$@" \
    >"$run/printer-$name.log" 2>&1 </dev/null &
  pids+=($!)
  tcp_port=
  for _ in $(seq 1 200); do
    tcp_port=$(sed -n 's/^virtual-printer: listening on 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$run/printer-$name.log")
    [ -n "$tcp_port" ] && return 0
    sleep 0.01
  done
  echo "virtual printer $name did not start"
  cat "$run/printer-$name.log"
  return 1
}
start_network_printer NET || exit 1
net_port=$tcp_port
start_network_printer STALL --stop-reading-after 1000 || exit 1
stall_port=$tcp_port
for port in "${ports[@]}"; do
  link="$run/printer-$port"
  for _ in $(seq 1 200); do [ -L "$link" ] && break; sleep 0.01; done
  [ -L "$link" ] || { echo "virtual printer for $port did not start"; cat "$link.log"; exit 1; }
  map_port "$port" "$link"
done
# COM9 must not exist for the refusal test.
map_port COM9
# The mappings take effect when the server starts again.
wine_stop

SLIPDRV_COM3="tcp://127.0.0.1:$net_port" SLIPDRV_COM5="tcp://127.0.0.1:$stall_port" \
  SLIPDRV_WINE_DIR=$(dos_path "$run") LD_PRELOAD="$shim" \
  "$launcher" "$exe" "$@" >"$run/out.txt" 2>&1 </dev/null
rc=$?
cat "$run/out.txt"
exit $rc
