#!/usr/bin/env bash
# Runs slipdrv's Windows test program under Wine against virtual printers:
# COM1, COM2 and LPT1 are mapped to pseudo-terminals played by the
# virtual-printer program, and the modem-line shim is preloaded so the real
# WaitCommEvent path runs. WINEPREFIX must name a prepared prefix.
#   run_slipdrv_wine.sh WINE TEST_EXE VIRTUAL_PRINTER MODEM_SHIM [TEST-ARGS...]
# WINE is /usr/lib/wine/wine for an i686 build, /usr/lib/wine/wine64 for x86_64.
set -u
launcher=$1 exe=$2 printer=$3 shim=$4
shift 4
wine=/usr/lib/wine
. "$(dirname "$0")/wine_helpers.sh"
require_helpers "$printer" "$shim" || exit 1
export WINEDEBUG=-all
run=$(mktemp -d /tmp/slipdrv-wine-XXXXXX)
ports=(COM1 COM2 LPT1)
pids=()

finish() {
  # The Wine server holds the ptys; let it go before the printers close them.
  "$wine/wineserver" -w
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
for port in "${ports[@]}"; do
  link="$run/printer-$port"
  for _ in $(seq 1 200); do [ -L "$link" ] && break; sleep 0.01; done
  [ -L "$link" ] || { echo "virtual printer for $port did not start"; cat "$link.log"; exit 1; }
  map_port "$port" "$link"
done
# COM9 must not exist for the refusal test.
map_port COM9
# The mappings take effect when the server starts again.
"$wine/wineserver" -w

SLIPDRV_WINE_DIR=$(dos_path "$run") LD_PRELOAD="$shim" "$launcher" "$exe" "$@" >"$run/out.txt" 2>&1 </dev/null
rc=$?
cat "$run/out.txt"
exit $rc
