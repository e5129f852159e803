#!/usr/bin/env bash
# Korvel.dll under wine64, driven by a VBScript client through cscript
# against the Modbus slave (modbus-peer) on a pseudo-terminal mapped to COM1,
# with the modem-line shim preloaded. Registers the server with regsvr32,
# runs the client, and checks that regsvr32 /u removes the registration.
# WINEPREFIX must name a prepared prefix.
#   run_korvel_wine.sh KORVEL_DLL MODBUS_PEER MODEM_SHIM CLIENT_VBS
set -u
dll=$1 peer=$2 shim=$3 client=$4
wine=/usr/lib/wine
if [ ! -x "$peer" ] || [ ! -f "$shim" ]; then
  echo "the native helpers are missing ($peer, $shim): build the default preset first"
  exit 1
fi
export WINEDEBUG=-all LANG=C.UTF-8
run=$(mktemp -d /tmp/korvel-wine-XXXXXX)
peer_pid=

finish() {
  "$wine/wine64" regsvr32 /u /s "$dos_dll" >/dev/null 2>&1 </dev/null
  # The Wine server holds the pty; let it go before the slave closes it.
  "$wine/wineserver" -w
  [ -n "$peer_pid" ] && kill "$peer_pid" 2>/dev/null && wait "$peer_pid" 2>/dev/null
  rm -rf "$run"
}
dos() { echo "Z:${1//\//\\}"; }

cp "$dll" "$run/Korvel.dll"
cp "$client" "$run/client.vbs"
dos_dll=$(dos "$run/Korvel.dll")
trap finish EXIT

echo reply >"$run/mode"
"$peer" --link "$run/peer-com1" --address 1 --state "$run/state" --mode-file "$run/mode" \
  >"$run/peer.log" 2>&1 </dev/null &
peer_pid=$!
for _ in $(seq 1 200); do [ -L "$run/peer-com1" ] && break; sleep 0.01; done
[ -L "$run/peer-com1" ] || { echo "the Modbus slave did not start"; cat "$run/peer.log"; exit 1; }
"$wine/wine64" reg add 'HKLM\Software\Wine\Ports' /v COM1 /d "$run/peer-com1" /f >/dev/null 2>&1 </dev/null
"$wine/wineserver" -w

failed=0 passed=0
check() {
  if [ "$2" = ok ]; then echo "ok   $1"; passed=$((passed + 1)); else echo "FAIL $1: $2"; failed=$((failed + 1)); fi
}
query() { "$wine/wine64" reg query "$1" ${2:+/v "$2"} 2>/dev/null </dev/null | tr -d '\r'; }

"$wine/wine64" regsvr32 /s "$dos_dll" </dev/null >/dev/null 2>&1
check "regsvr32" "$([ $? -eq 0 ] && echo ok || echo "exit status not 0")"
clsid=$(query 'HKCR\Korvel.ClsKorvel\CLSID' | awk '/REG_SZ/ {print $NF}')
check "ProgID Korvel.ClsKorvel -> CLSID $clsid" "$([ "$clsid" = '{6D2F4A19-93C5-4E08-B1A6-52E0C8F3A901}' ] && echo ok || echo "got '$clsid'")"
model=$(query "HKCR\\CLSID\\$clsid\\InprocServer32" ThreadingModel | awk '/REG_SZ/ {print $NF}')
check "ThreadingModel Apartment" "$([ "$model" = Apartment ] && echo ok || echo "got '$model'")"
typelib=$(query 'HKCR\TypeLib\{6D2F4A17-93C5-4E08-B1A6-52E0C8F3A901}\9.0' | awk '/REG_SZ/ {print $NF}')
check "type library Korvel 9.0 registered" "$([ "$typelib" = Korvel ] && echo ok || echo "got '$typelib'")"

LD_PRELOAD="$shim" "$wine/wine64" cscript //nologo "$(dos "$run/client.vbs")" "$(dos "$run/mode")" "$(dos "$run/state")" \
  </dev/null >"$run/client.txt" 2>&1
status=$?
tr -d '\r' <"$run/client.txt"
check "VBScript client" "$([ $status -eq 0 ] && grep -q 'korvel client: [0-9]* passed, 0 failed' "$run/client.txt" && echo ok || echo "exit status $status")"

"$wine/wine64" regsvr32 /u /s "$dos_dll" </dev/null >/dev/null 2>&1
check "regsvr32 /u" "$([ $? -eq 0 ] && echo ok || echo "exit status not 0")"
exists() { "$wine/wine64" reg query "$1" </dev/null >/dev/null 2>&1; }
for key in 'HKCR\Korvel.ClsKorvel' 'HKCR\CLSID\{6D2F4A19-93C5-4E08-B1A6-52E0C8F3A901}' \
           'HKCR\TypeLib\{6D2F4A17-93C5-4E08-B1A6-52E0C8F3A901}\9.0'; do
  check "regsvr32 /u removed $key" "$(exists "$key" && echo "still there" || echo ok)"
done

echo "korvel wine checks: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
