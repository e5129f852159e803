#!/usr/bin/env bash
# The setup program under 32-bit Wine, in a prefix of its own made for the
# run: silent installs as a venue chain rolls the kit out, what each one put
# where, the kit working from where it was put, and the uninstaller taking it
# all away again.
#   run_installer_wine.sh WINE SETUP VIRTUAL_PRINTER TABLE_CONTROLLER MODEM_SHIM TABLE_LIGHTS_VBS VERSION
# - synthetic voice, printer mapped onto COM1 as tcp://: the files, the
#   server's registration, the environment value, the test page on a virtual
#   printer, the installed slipdrv-print through the mapping, Korvel.ClsKorvel
#   from VBScript switching a simulated table controller on COM1;
# - the venue's recordings with one missing, a setting.ini of the billing
#   application's own, a serial printer on COM2: the copy, the check's finding,
#   the kept settings and recordings after uninstalling, then /REMOVEVOICE=1;
# - command lines the installer must refuse without installing anything.
set -u
wine=$1 setup=$2 printer=$3 controller=$4 shim=$5 table_lights=$6 version=$7
here=$(dirname "$0")
. "$here/../slipdrv/wine/wine_helpers.sh"
require_helpers "$printer" "$controller" "$shim" || exit 1
[ -f "$setup" ] || { echo "no $setup: build the installer target"; exit 1; }
locale -a 2>/dev/null | grep -qix 'zh_CN.utf8' || { echo "the zh_CN.UTF-8 locale is missing: run tools/install-deps"; exit 1; }

root=$(mktemp -d /tmp/kit-installer-XXXXXX)
export WINEPREFIX=$root/prefix WINEDEBUG=-all
# Wine's multimedia library opens the Chinese file names through the ANSI
# code page, which must hold them (vocalcue-check reads the WAV files).
export LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8
unset SLIPDRV_COM1
pids=()
finish() {
  wine_stop
  local pid
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null; done
  rm -rf "$root"
}
trap finish EXIT
/usr/lib/wine/wine64 wineboot -i >"$root/wineboot.log" 2>&1 </dev/null

# The sound device is a file, so that vocalcue-check finds one.
printf 'pcm.!default { type file; slave.pcm { type null }; file "%s"; format "raw"; truncate false }\n' \
  "$root/sound.raw" >"$root/alsa.conf"
export ALSA_CONFIG_PATH=$root/alsa.conf

# A network printer, a serial printer on COM2 and the table controller on COM1.
"$printer" --tcp 0 --record "$root/tcp.bin" >"$root/tcp.out" 2>"$root/tcp.log" </dev/null &
pids+=($!)
"$printer" --link "$root/printer-COM2" --record "$root/com2.bin" >"$root/com2.log" 2>&1 </dev/null &
pids+=($!)
echo reply >"$root/mode"
"$controller" --link "$root/controller-COM1" --address 1 --state "$root/state" --mode-file "$root/mode" \
  >"$root/controller.log" 2>&1 </dev/null &
pids+=($!)
for _ in $(seq 1 300); do
  grep -q 'listening on' "$root/tcp.out" && [ -L "$root/printer-COM2" ] && [ -L "$root/controller-COM1" ] && break
  sleep 0.01
done
tcp_port=$(sed -n 's/.*listening on 127\.0\.0\.1:\([0-9]*\).*/\1/p' "$root/tcp.out")
[ -n "$tcp_port" ] && [ -L "$root/printer-COM2" ] && [ -L "$root/controller-COM1" ] ||
  { echo "the simulators did not start"; cat "$root"/*.log; exit 1; }
map_port COM1 "$root/controller-COM1"
map_port COM2 "$root/printer-COM2"
wine_stop

failed=0 passed=0
check() {
  if [ "$2" = ok ]; then echo "ok   $1"; passed=$((passed + 1)); else echo "FAIL $1: $2"; failed=$((failed + 1)); fi
}
# verdict WHY COMMAND...: ok when the command succeeds, else WHY.
verdict() { local why=$1; shift; if "$@"; then echo ok; else echo "$why"; fi; }
reg_value() { "$wine" reg query "$1" /v "$2" 2>/dev/null </dev/null | tr -d '\r' | awk -v v="$2" '$1 == v {$1 = $2 = ""; sub(/^ +/, ""); print}'; }
reg_default() { "$wine" reg query "$1" /ve 2>/dev/null </dev/null | tr -d '\r' | awk '/REG_SZ/ {$1 = $2 = ""; sub(/^ +/, ""); print}'; }
reg_exists() { "$wine" reg query "$1" >/dev/null 2>&1 </dev/null; }
dos() { dos_path "$1"; }
setup_run() { LD_PRELOAD="$shim" "$wine" "$setup" /S "$@" </dev/null >>"$root/setup.log" 2>&1; }

program="$WINEPREFIX/drive_c/Program Files (x86)/Counter Kit"
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\CounterKit'
env_key='HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\Environment'
clsid='{6D2F4A19-93C5-4E08-B1A6-52E0C8F3A901}'
# The uninstaller runs on from a copy of itself after the first process ends.
uninstall_run() {
  "$wine" "$program/uninstall.exe" /S "$@" </dev/null >>"$root/setup.log" 2>&1
  for _ in $(seq 1 300); do
    [ ! -e "$program" ] && ! reg_exists "$uninstall_key" && return 0
    sleep 0.2
  done
  return 1
}

# The 30 sounds vocalcue plays, as the README names them.
sounds=(您本次消费合计为 叮咚 充值成功 号台即将到时 号台已到时 欢迎光临 欢迎下次光临 您的当前余额为
        您的余额不足请充值 谢谢光临 最低消费 零 壹 贰 叁 肆 伍 陆 柒 捌 玖 拾 佰 仟 万 亿 元 角 分 整)
program_files=(bin/slipdrv.dll bin/slipdrv.exports bin/Korvel.dll bin/vocalcue.exe bin/slipdrv-print.exe
               bin/vocalcue-check.exe include/slipdrv.h include/Slipdrv.cs include/slipdrv.bas include/slipdrv.pas
               include/slipdrv_powerbuilder.txt lib/slipdrv.def README.md uninstall.exe)
missing_files() {  # DIR FILE...: the files not in DIR
  local dir=$1 f out=""; shift
  for f in "$@"; do [ -f "$dir/$f" ] || out+=" $f"; done
  echo "${out# }"
}

echo "=== synthetic voice, tcp:// printer mapped onto COM1 ==="
app=$root/app1
mkdir -p "$app"
setup_run "/APPDIR=$(dos "$app")" /VOICE=synthetic "/PORT=tcp://127.0.0.1:$tcp_port" /TESTPAGE=1
status=$?
check "installer exit status 0" "$(verdict "exit status $status; $(tr -d '\r' <"$program/install-checks.txt" 2>/dev/null | tail -5)" [ $status -eq 0 ])"
gone=$(missing_files "$program" "${program_files[@]}")
check "program folder holds the kit" "$(verdict "missing: $gone" [ -z "$gone" ])"
check "installed slipdrv.dll is the build's" \
  "$(verdict differs cmp -s "$program/bin/slipdrv.dll" "$(dirname "$setup")/bin/slipdrv.dll")"
wavs=("${sounds[@]/#/wav/}")
gone=$(missing_files "$app" vocalcue.exe "${wavs[@]/%/.wav}")
check "billing folder: vocalcue.exe and the 30 sounds" "$(verdict "missing: $gone" [ -z "$gone" ])"
riff=$(for s in "${sounds[@]}"; do head -c 4 "$app/wav/$s.wav" 2>/dev/null; echo; done | sort -u)
check "the sounds are WAV files" "$(verdict "start with '$riff'" [ "$riff" = RIFF ])"
check "setting.ini switches announcements on" \
  "$(verdict "$(tr -d '\r' <"$app/setting.ini" 2>/dev/null | tr '\n' ' ')" grep -qx 'vocalcue=1' <(tr -d '\r' <"$app/setting.ini"))"
checks=$(tr -d '\r' <"$program/install-checks.txt" 2>/dev/null)
check "vocalcue-check found everything in place" "$(verdict "$(grep -E 'not in place|DOES NOT' <<<"$checks")" grep -qx 'everything is in place' <<<"$checks")"
got=$(reg_default 'HKCR\Korvel.ClsKorvel\CLSID')
check "ProgID Korvel.ClsKorvel registered" "$(verdict "CLSID '$got'" [ "$got" = "$clsid" ])"
got=$(reg_default "HKCR\\CLSID\\$clsid\\InprocServer32")
check "server registered from the program folder" \
  "$(verdict "InprocServer32 '$got'" [ "$got" = 'C:\Program Files (x86)\Counter Kit\bin\Korvel.dll' ])"
got=$(reg_value "$env_key" SLIPDRV_COM1)
check "system environment SLIPDRV_COM1" "$(verdict "'$got'" [ "$got" = "tcp://127.0.0.1:$tcp_port" ])"
got=$(reg_value "$uninstall_key" DisplayVersion)
check "listed among installed programs, version $version" "$(verdict "'$got'" [ "$got" = "$version" ])"
sleep 0.3
check "the test page reached the network printer" \
  "$(verdict "not in what it received" grep -aq "Port: tcp://127.0.0.1:$tcp_port" "$root/tcp.bin")"

# A program started now, not from the installer, finds the mapping in the
# system environment.
"$wine" "$program/bin/slipdrv-print.exe" "through the mapping" </dev/null >"$root/print.log" 2>&1
status=$?
sleep 0.3
check "installed slipdrv-print prints on COM1 through the mapping" \
  "$(verdict "exit status $status, $(tr -d '\r' <"$root/print.log")" grep -aq 'through the mapping' "$root/tcp.bin")"

cp "$table_lights" "$root/table_lights.vbs"
LD_PRELOAD="$shim" "$wine" cscript //nologo "$(dos "$root/table_lights.vbs")" 1 1010000011110000 \
  </dev/null >"$root/lights.log" 2>&1
status=$?
registers=$(awk '/^registers / {print $2, $3, $4, $5}' "$root/state" 2>/dev/null)
check "VBScript: Korvel.ClsKorvel switched the tables on COM1" \
  "$([ $status -eq 0 ] && [ "$registers" = "A0F0 0000 0000 0000" ] && echo ok ||
     echo "exit status $status, registers '$registers', $(tr -d '\r' <"$root/lights.log")")"

uninstall_run
status=$?
check "uninstaller finished" "$(verdict "program folder or uninstall entry still there" [ $status -eq 0 ])"
left=$(cd "$app" && find . -mindepth 1 | sort | tr '\n' ' ')
check "billing folder emptied of the kit's files" "$(verdict "left: $left" [ -z "$left" ])"
for key in 'HKCR\Korvel.ClsKorvel' "HKCR\\CLSID\\$clsid" 'HKLM\Software\Counter Kit' "$uninstall_key"; do
  check "removed $key" "$(reg_exists "$key" && echo "still there" || echo ok)"
done
got=$(reg_value "$env_key" SLIPDRV_COM1)
check "removed SLIPDRV_COM1" "$(verdict "still '$got'" [ -z "$got" ])"

echo "=== the venue's recordings, one missing; serial printer on COM2 ==="
app=$root/app2 venue=$root/venue
mkdir -p "$app" "$venue/wav"
for s in "${sounds[@]}"; do
  [ "$s" = 整 ] && continue
  sox -n -r 22050 -c 1 -b 16 "$venue/wav/$s.wav" synth 0.05 sine 440 2>/dev/null
done
printf '[billing]\r\ntables=24\r\n[setting]\r\nvocalcue=0\r\n' >"$app/setting.ini"
setup_run "/APPDIR=$(dos "$app")" "/VOICE=$(dos "$venue")" /PORT=COM2 /TESTPAGE=1
status=$?
check "installer exit status 3: a check found a fault" "$(verdict "exit status $status" [ $status -eq 3 ])"
checks=$(tr -d '\r' <"$program/install-checks.txt" 2>/dev/null)
check "vocalcue-check's findings name the missing sound" \
  "$(verdict "$(grep -E 'not in place' <<<"$checks")" grep -Eq '^ +missing +wav/整\.wav' <<<"$checks")"
copied=0
for s in "${sounds[@]}"; do cmp -s "$venue/wav/$s.wav" "$app/wav/$s.wav" && copied=$((copied + 1)); done
check "the 29 recordings copied as they are" "$(verdict "$copied copied" [ $copied -eq 29 ])"
ini=$(tr -d '\r' <"$app/setting.ini" | tr '\n' ' ')
check "setting.ini: announcements on, the billing application's own values kept" \
  "$([[ $ini == *tables=24* && $ini == *vocalcue=1* && $ini != *vocalcue=0* ]] && echo ok || echo "'$ini'")"
got=$(reg_value "$env_key" SLIPDRV_COM1)
check "a serial printer needs no SLIPDRV_COM1" "$(verdict "'$got'" [ -z "$got" ])"
sleep 0.3
check "the test page reached the printer on COM2" "$(verdict "not in what it received" grep -aq 'Port: COM2' "$root/com2.bin")"

uninstall_run
status=$?
check "uninstaller finished" "$(verdict "program folder or uninstall entry still there" [ $status -eq 0 ])"
kept=0
for s in "${sounds[@]}"; do [ -f "$app/wav/$s.wav" ] && kept=$((kept + 1)); done
check "the venue's recordings kept" "$(verdict "$kept kept" [ $kept -eq 29 ])"
ini=$(tr -d '\r' <"$app/setting.ini" | tr '\n' ' ')
check "setting.ini as it was before" "$([[ $ini == *tables=24* && $ini == *vocalcue=0* ]] && echo ok || echo "'$ini'")"
check "vocalcue.exe removed" "$(verdict "still there" [ ! -e "$app/vocalcue.exe" ])"

# Again, and this time the recordings go too.
setup_run "/APPDIR=$(dos "$app")" "/VOICE=$(dos "$venue")" /PORT=COM2 /TESTPAGE=0
uninstall_run /REMOVEVOICE=1
status=$?
check "uninstaller /REMOVEVOICE=1 finished" "$(verdict "program folder or uninstall entry still there" [ $status -eq 0 ])"
check "/REMOVEVOICE=1 removed the recordings and the wav folder" "$(verdict "$(ls "$app/wav" 2>/dev/null | wc -l) left" [ ! -e "$app/wav" ])"

echo "=== command lines refused ==="
app=$root/app3
mkdir -p "$app"
bad_lines=(
  "no /APPDIR|/VOICE=synthetic /PORT=COM1"
  "a port of another kind|/APPDIR=$(dos "$app") /PORT=LPT3"
  "COM0|/APPDIR=$(dos "$app") /PORT=COM0"
  "COM11|/APPDIR=$(dos "$app") /PORT=COM11"
  "a baud rate below 2400|/APPDIR=$(dos "$app") /PORT=COM3:300"
  "tcp:// without a host|/APPDIR=$(dos "$app") /PORT=tcp://"
  "a voice folder that is not there|/APPDIR=$(dos "$app") /VOICE=$(dos "$root/nowhere")"
  "/TESTPAGE=2|/APPDIR=$(dos "$app") /TESTPAGE=2"
)
for row in "${bad_lines[@]}"; do
  name=${row%%|*}
  read -r -a args <<<"${row#*|}"
  setup_run "${args[@]}"
  status=$?
  check "refused: $name" "$([ $status -eq 2 ] && [ ! -e "$program" ] && [ -z "$(ls -A "$app")" ] && echo ok ||
    echo "exit status $status, program folder $([ -e "$program" ] && echo made || echo absent)")"
  [ -e "$program" ] && uninstall_run
done

echo "installer wine checks: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
