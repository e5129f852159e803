#!/usr/bin/env bash
# Runs slipdrv's Windows test program under wine64 against virtual printers:
# COM1, COM2 and LPT1 are mapped to pseudo-terminals played by the
# virtual-printer program, and the modem-line shim is preloaded so the real
# WaitCommEvent path runs. WINEPREFIX must name a prepared prefix.
#   run_slipdrv_wine.sh TEST_EXE VIRTUAL_PRINTER MODEM_SHIM
set -u
exe=$1 printer=$2 shim=$3
wine=/usr/lib/wine
if [ ! -x "$printer" ] || [ ! -f "$shim" ]; then
  echo "the native helpers are missing ($printer, $shim): build the default preset first"
  exit 1
fi
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
  "$wine/wine64" reg add 'HKLM\Software\Wine\Ports' /v "$port" /d "$link" /f >/dev/null 2>&1 </dev/null
done
# COM9 must not exist for the refusal test.
"$wine/wine64" reg delete 'HKLM\Software\Wine\Ports' /v COM9 /f >/dev/null 2>&1 </dev/null
# The mappings take effect when the server starts again.
"$wine/wineserver" -w

dos_dir="Z:${run//\//\\}"
SLIPDRV_WINE_DIR="$dos_dir" LD_PRELOAD="$shim" "$wine/wine64" "$exe" >"$run/out.txt" 2>&1 </dev/null
rc=$?
cat "$run/out.txt"
exit $rc
