#!/usr/bin/env bash
# Korvel.dll under Wine against the table controller (table-controller) on a
# pseudo-terminal mapped to COM1, with the modem-line shim preloaded: a
# VBScript client through cscript (late binding, IDispatch) and a C++ client
# through the vtable (early binding), and the VBScript example of examples/.
# Registers the server with regsvr32, runs
# the clients, and checks that regsvr32 /u removes the registration. regsvr32,
# reg and cscript are the ones of the DLL's word size, so everything happens
# in the registry view the DLL's hosts see. WINEPREFIX must name a prepared prefix.
#   run_korvel_wine.sh WINE KORVEL_DLL TABLE_CONTROLLER MODEM_SHIM CLIENT_VBS VTABLE_CLIENT EXAMPLE_VBS
# WINE is /usr/lib/wine/wine for an i686 build, /usr/lib/wine/wine64 for x86_64.
set -u
launcher=$1 dll=$2 peer=$3 shim=$4 client=$5 vtable_client=$6 example=$7
. "$(dirname "$0")/../../slipdrv/wine/wine_helpers.sh"
require_helpers "$peer" "$shim" || exit 1
export WINEDEBUG=-all LANG=C.UTF-8
run=$(mktemp -d /tmp/korvel-wine-XXXXXX)
peer_pid=

finish() {
  "$launcher" regsvr32 /u /s "$dos_dll" >/dev/null 2>&1 </dev/null
  # The Wine server holds the pty; let it go before the slave closes it.
  wine_stop
  [ -n "$peer_pid" ] && kill "$peer_pid" 2>/dev/null && wait "$peer_pid" 2>/dev/null
  rm -rf "$run"
}
dos() { dos_path "$1"; }

cp "$dll" "$run/Korvel.dll"
cp "$client" "$run/client.vbs"
cp "$example" "$run/example.vbs"
dos_dll=$(dos "$run/Korvel.dll")
trap finish EXIT

echo reply >"$run/mode"
"$peer" --link "$run/peer-com1" --address 1 --state "$run/state" --mode-file "$run/mode" \
  >"$run/peer.log" 2>&1 </dev/null &
peer_pid=$!
for _ in $(seq 1 200); do [ -L "$run/peer-com1" ] && break; sleep 0.01; done
[ -L "$run/peer-com1" ] || { echo "the table controller did not start"; cat "$run/peer.log"; exit 1; }
map_port COM1 "$run/peer-com1"
wine_stop

failed=0 passed=0
check() {
  if [ "$2" = ok ]; then echo "ok   $1"; passed=$((passed + 1)); else echo "FAIL $1: $2"; failed=$((failed + 1)); fi
}
query() { "$launcher" reg query "$1" ${2:+/v "$2"} 2>/dev/null </dev/null | tr -d '\r'; }

"$launcher" regsvr32 /s "$dos_dll" </dev/null >/dev/null 2>&1
check "regsvr32" "$([ $? -eq 0 ] && echo ok || echo "exit status not 0")"
clsid=$(query 'HKCR\Korvel.ClsKorvel\CLSID' | awk '/REG_SZ/ {print $NF}')
check "ProgID Korvel.ClsKorvel -> CLSID $clsid" "$([ "$clsid" = '{6D2F4A19-93C5-4E08-B1A6-52E0C8F3A901}' ] && echo ok || echo "got '$clsid'")"
model=$(query "HKCR\\CLSID\\$clsid\\InprocServer32" ThreadingModel | awk '/REG_SZ/ {print $NF}')
check "ThreadingModel Apartment" "$([ "$model" = Apartment ] && echo ok || echo "got '$model'")"
typelib=$(query 'HKCR\TypeLib\{6D2F4A17-93C5-4E08-B1A6-52E0C8F3A901}\9.0' | awk '/REG_SZ/ {print $NF}')
check "type library Korvel 9.0 registered" "$([ "$typelib" = Korvel ] && echo ok || echo "got '$typelib'")"

LD_PRELOAD="$shim" "$launcher" cscript //nologo "$(dos "$run/client.vbs")" "$(dos "$run/mode")" "$(dos "$run/state")" \
  </dev/null >"$run/client.txt" 2>&1
status=$?
tr -d '\r' <"$run/client.txt"
check "VBScript client" "$([ $status -eq 0 ] && grep -q 'korvel client: [0-9]* passed, 0 failed' "$run/client.txt" && echo ok || echo "exit status $status")"

LD_PRELOAD="$shim" KORVEL_MODE_FILE="$(dos "$run/mode")" KORVEL_STATE_FILE="$(dos "$run/state")" \
  "$launcher" "$vtable_client" </dev/null >"$run/vtable.txt" 2>&1
status=$?
tr -d '\r' <"$run/vtable.txt"
check "C++ client through the vtable" "$([ $status -eq 0 ] && echo ok || echo "exit status $status")"

echo reply >"$run/mode"
LD_PRELOAD="$shim" "$launcher" cscript //nologo "$(dos "$run/example.vbs")" 1 1010000011110000 \
  </dev/null >"$run/example.txt" 2>&1
status=$?
tr -d '\r' <"$run/example.txt"
registers=$(awk '/^registers / {print $2, $3, $4, $5}' "$run/state")
check "VBScript example: exit 0, registers A0F0 0000 0000 0000" \
  "$([ $status -eq 0 ] && [ "$registers" = "A0F0 0000 0000 0000" ] && echo ok || echo "exit status $status, $registers")"

"$launcher" regsvr32 /u /s "$dos_dll" </dev/null >/dev/null 2>&1
check "regsvr32 /u" "$([ $? -eq 0 ] && echo ok || echo "exit status not 0")"
exists() { "$launcher" reg query "$1" </dev/null >/dev/null 2>&1; }
for key in 'HKCR\Korvel.ClsKorvel' 'HKCR\CLSID\{6D2F4A19-93C5-4E08-B1A6-52E0C8F3A901}' \
           'HKCR\TypeLib\{6D2F4A17-93C5-4E08-B1A6-52E0C8F3A901}\9.0'; do
  check "regsvr32 /u removed $key" "$(exists "$key" && echo "still there" || echo ok)"
done

echo "korvel wine checks: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
