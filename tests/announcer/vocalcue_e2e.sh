#!/usr/bin/env bash
# End-to-end check of the real vocalcue program: in a scratch directory with a
# setting.ini and a wav folder of distinct test sounds, the ALSA "default" PCM
# is a file sink, and the captured audio must equal the expected WAV files'
# samples back to back, in order. Every run must exit 0, print nothing and end
# within a time limit, so a program that hangs fails instead of stalling the suite.
#
#   vocalcue_e2e.sh PROGRAM [LAUNCHER...]
# e.g. vocalcue_e2e.sh build/win64/announcer/vocalcue.exe /usr/lib/wine/wine64
set -u

program=$(realpath "$1")
shift
launcher=("$@")
export LANG=C.UTF-8 LC_ALL=C.UTF-8 WINEDEBUG=-all
limit=30
if [ ${#launcher[@]} -gt 0 ]; then
  # Wine's multimedia library turns a wide file name into the ANSI code page
  # before opening it, so under Wine the code page must hold the Chinese
  # names: run as a Simplified Chinese system (code page 936) does.
  if ! locale -a 2>/dev/null | grep -qix 'zh_CN.utf8'; then
    echo "the zh_CN.UTF-8 locale is missing: run tools/install-deps as root"
    exit 1
  fi
  export LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8
  limit=120  # a busy machine can take that long to start a Wine process
fi

work=$(mktemp -d /tmp/vocalcue-e2e-XXXXXX)
trap 'rm -rf "$work"' EXIT
if [ ${#launcher[@]} -gt 0 ]; then
  . "$(dirname "$0")/../slipdrv/wine/wine_helpers.sh"
  wine_start "$work/wine.log"
fi
room="$work/room"      # the directory the host starts the program in
mkdir -p "$room/wav" "$work/raw" "$work/capture"

tokens=(您本次消费合计为 叮咚 充值成功 号台即将到时 号台已到时 欢迎光临 欢迎下次光临 您的当前余额为
        您的余额不足请充值 谢谢光临 最低消费 零 壹 贰 叁 肆 伍 陆 柒 捌 玖 拾 佰 仟 万 亿 元 角 分 整)

# Each sound is 20 ms of its own noise, so any file played in the wrong place
# shows. 元 is stereo at 44100 Hz: the device must follow a change of format.
for t in "${tokens[@]}"; do
  if [ "$t" = 元 ]; then rate=44100 channels=2; else rate=22050 channels=1; fi
  head -c $((rate / 50 * channels * 2)) /dev/urandom > "$work/raw/$t.raw"
  sox -t raw -r $rate -e signed -b 16 -c $channels "$work/raw/$t.raw" "$room/wav/$t.wav"
done

cat > "$work/capture.conf" <<CONF
pcm.!default { type file; slave.pcm { type null }; file "$work/capture/out.raw"; format "raw"; truncate false }
CONF
: > "$work/no-device.conf"

passed=0
failed=0

# Drops the zero-valued 16-bit samples of a raw capture, in place.
without_silence() {
  od -An -v -tx2 -w2 "$1" | grep -v '^ 0000$' > "$1.samples" || true
  mv "$1.samples" "$1"
}

# run NAME SETTING EXPECTED-TOKENS -- ARGS...
# SETTING is the content of setting.ini, "-" for no file at all, "@fifo" for a
# FIFO in its place, or "@PATH" for a symbolic link to PATH.
run() {
  local name=$1 setting=$2 expected=$3 config=${ALSA_CONF:-$work/capture.conf}
  shift 4
  rm -f "$work"/capture/* "$room/setting.ini"
  case $setting in
    -) ;;
    @fifo) mkfifo "$room/setting.ini" ;;
    @*) ln -s "${setting#@}" "$room/setting.ini" ;;
    *) printf '%b' "$setting" > "$room/setting.ini" ;;
  esac
  local out rc
  out=$(cd "$room" && ALSA_CONFIG_PATH="$config" timeout -k 5 "$limit" "${launcher[@]}" "$program" "$@" 2>&1)
  rc=$?
  # Wine's own audio driver reports a missing ALSA device on stderr; that is not the program's output.
  [ ${#launcher[@]} -eq 0 ] || out=$(grep -v '^ALSA lib ' <<<"$out")
  : > "$work/expected.raw"
  local t
  for t in $expected; do cat "$work/raw/$t.raw" >> "$work/expected.raw"; done
  # Every open of the PCM starts a new capture file: out.raw, out.raw.0001, ...
  cat /dev/null $(ls "$work"/capture/out.raw* 2>/dev/null | sort) > "$work/got.raw"
  local why=""
  case $rc in
    0) ;;
    124 | 137) why="still running after $limit s" ;;
    *) why="exit status $rc" ;;
  esac
  [ -z "$out" ] || why="$why; printed: ${out:0:200}"
  if [ ${#launcher[@]} -gt 0 ]; then
    # Wine's audio mixer plays silence into the device when the machine is
    # too busy to feed it in time: compare the sounds without silent samples.
    without_silence "$work/expected.raw"
    without_silence "$work/got.raw"
  fi
  cmp -s "$work/expected.raw" "$work/got.raw" ||
    why="$why; captured $(stat -c %s "$work/got.raw") bytes, expected $(stat -c %s "$work/expected.raw") ($expected)"
  if [ -z "$why" ]; then
    passed=$((passed + 1)); echo "ok   $name"
  else
    failed=$((failed + 1)); echo "FAIL $name: ${why#; }"
  fi
}

on='[setting]\nvocalcue=1\n'
total='您本次消费合计为/m/35.50/谢谢光临'
total_files='您本次消费合计为 叁 拾 伍 元 伍 角 谢谢光临'

run "no setting.ini: silent"            -                             ""             -- "$total"
run "switch 0: silent"                  '[setting]\nvocalcue=0\n'    ""             -- "$total"
run "key missing: silent"               '[setting]\nother=1\n'       ""             -- "$total"
run "switch 1: announced"               "$on"                         "$total_files" -- "$total"
run "switch yes: announced"             '[Setting]\nVOCALCUE = yes\n' "$total_files" -- "$total"
run "switch 00: announced"              '[setting]\nvocalcue=00\n'   "$total_files" -- "$total"
# A setting.ini that is not a regular file counts as missing: a FIFO would
# block the open for ever, a device would never end.
run "setting.ini a FIFO: silent"        @fifo                         ""             -- "$total"
run "setting.ini a device: silent"      @/dev/zero                    ""             -- "$total"
run "empty request"                     "$on"                         ""             --
run "blank request"                     "$on"                         ""             -- "   "
run "three pieces: silent"              "$on"                         ""             -- "欢迎光临/m/12"
run "five pieces: silent"               "$on"                         ""             -- "欢迎光临/m/12/谢谢光临/叮咚"
run "unknown phrases: value only"       "$on"                         "壹 拾 贰 元 整" -- "你好/m/12/再见"
run "money with jiao and fen"           "$on"                         "充值成功 壹 佰 元 零 角 伍 分 您的当前余额为" -- "充值成功/m/100.05/您的当前余额为"
run "number"                            "$on"                         "叮咚 拾 伍 号台即将到时" -- "叮咚/n/15/号台即将到时"
run "number out of range: phrases only" "$on"                         "叮咚 号台已到时" -- "叮咚/n/40000/号台已到时"
run "not numeric: phrases only"         "$on"                         "充值成功 谢谢光临" -- "充值成功/m/abc/谢谢光临"
run "opening phrase only"               "$on"                         "欢迎光临"      -- "欢迎光临///"
# On Windows the command line is taken as it stands, so the quotes that the
# launcher puts around an argument with blanks spoil both phrases there.
if [ ${#launcher[@]} -eq 0 ]; then blanks="最低消费 伍 元 整 谢谢光临"; else blanks="伍 元 整"; fi
run "blanks around the request"         "$on"                         "$blanks"      -- "  最低消费/m/5/谢谢光临  "
run "large amount"                      "$on"                         "您的余额不足请充值 壹 仟 贰 佰 叁 拾 肆 亿 伍 仟 陆 佰 柒 拾 捌 万 玖 仟 零 壹 拾 贰 元 叁 角 肆 分 欢迎下次光临" -- "您的余额不足请充值/m/123456789012.34/欢迎下次光临"

mv "$room/wav/拾.wav" "$work/拾.wav"
run "missing file mid-chain: skipped"   "$on"                         "叮咚 伍 号台即将到时" -- "叮咚/n/15/号台即将到时"
mkfifo "$room/wav/拾.wav"
run "FIFO mid-chain: skipped"           "$on"                         "叮咚 伍 号台即将到时" -- "叮咚/n/15/号台即将到时"
rm "$room/wav/拾.wav"
mv "$work/拾.wav" "$room/wav/拾.wav"

ALSA_CONF="$work/no-device.conf" run "no sound device: silent" "$on" "" -- "$total"

echo "vocalcue end-to-end: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
