#!/usr/bin/env bash
# vocalcue-check on venue folders. Each row makes a complete folder (30 sounds
# of 20 ms noise, 22050 Hz mono, and setting.ini switching announcements on),
# spoils it in one way, runs the program there and checks the exit status and
# the output (a glob). The --say rows also capture what was played through
# ALSA's file sink: it must be the request's files back to back.
#
#   vocalcue_check_test.sh PROGRAM VERSION [LAUNCHER]
# With a LAUNCHER (Wine) the Windows program runs under it, with a Chinese
# locale so that Wine's multimedia library can open the Chinese file names.
set -u
program=$(realpath "$1") version=$2
shift 2
launcher=("$@")
export LANG=C.UTF-8 LC_ALL=C.UTF-8 WINEDEBUG=-all
[ ${#launcher[@]} -eq 0 ] || export LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8

work=$(mktemp -d /tmp/vocalcue-check-test-XXXXXX)
trap 'rm -rf "$work"' EXIT
if [ ${#launcher[@]} -gt 0 ]; then
  . "$(dirname "$0")/../slipdrv/wine/wine_helpers.sh"
  wine_start "$work/wine.log"
fi
mkdir -p "$work/base/wav" "$work/raw" "$work/capture"
tokens=(您本次消费合计为 叮咚 充值成功 号台即将到时 号台已到时 欢迎光临 欢迎下次光临 您的当前余额为
        您的余额不足请充值 谢谢光临 最低消费 零 壹 贰 叁 肆 伍 陆 柒 捌 玖 拾 佰 仟 万 亿 元 角 分 整)
for t in "${tokens[@]}"; do
  head -c 882 /dev/urandom >"$work/raw/$t.raw"
  sox -t raw -r 22050 -e signed -b 16 -c 1 "$work/raw/$t.raw" "$work/base/wav/$t.wav"
done
printf '[setting]\nvocalcue=1\n' >"$work/base/setting.ini"
cat >"$work/capture.conf" <<CONF
pcm.!default { type file; slave.pcm { type null }; file "$work/capture/out.raw"; format "raw"; truncate false }
CONF
: >"$work/no-device.conf"

# silent_wav FILE SECONDS: a WAV file in the folder's format (22050 Hz, mono,
# 16-bit) lasting SECONDS, its samples a hole in a sparse file, so that even
# a day of sound takes no room.
le32() { printf '\\x%02x\\x%02x\\x%02x\\x%02x' $(($1 & 255)) $(($1 >> 8 & 255)) $(($1 >> 16 & 255)) $(($1 >> 24 & 255)); }
silent_wav() {
  local bytes=$(($2 * 44100))
  printf '%b' "RIFF$(le32 $((36 + bytes)))WAVEfmt $(le32 16)\x01\x00\x01\x00$(le32 22050)$(le32 44100)\x02\x00\x10\x00data$(le32 $bytes)" >"$1"
  truncate -s $((44 + bytes)) "$1"
}

# Drops the zero-valued 16-bit samples (Wine's mixer fills gaps with silence).
without_silence() { od -An -v -tx2 -w2 "$1" | grep -v '^ 0000$' || true; }

passed=0 failed=0
# row NAME SPOIL EXIT OUTPUT-GLOB [--played TOKENS] [--device none] -- ARGS...
# SPOIL is a shell command run in the folder before the program.
row() {
  local name=$1 spoil=$2 expected=$3 output=$4 played="" config="$work/capture.conf"
  shift 4
  while [ "$1" != -- ]; do
    case $1 in
      --played) played=$2 ;;
      --device) config="$work/no-device.conf" ;;
    esac
    shift 2
  done
  shift
  rm -rf "$work/room" "$work"/capture/*
  cp -r "$work/base" "$work/room"
  (cd "$work/room" && eval "$spoil")
  local out rc why=""
  out=$(cd "$work/room" && ALSA_CONFIG_PATH="$config" timeout -k 5 120 "${launcher[@]}" "$program" "$@" 2>&1)
  rc=$?
  out=${out//$'\r'/}
  # Wine's audio driver reports a missing ALSA device on stderr; that is not the program's output.
  [ ${#launcher[@]} -eq 0 ] || out=$(grep -v '^ALSA lib ' <<<"$out")
  [ "$rc" -eq "$expected" ] || why="exit $rc, not $expected"
  # shellcheck disable=SC2053
  [[ $out == $output ]] || why="$why; printed: ${out:0:3000}"
  if [ -n "$played" ]; then
    local t
    for t in $played; do cat "$work/raw/$t.raw"; done >"$work/expected.raw"
    cat /dev/null $(ls "$work"/capture/out.raw* 2>/dev/null | sort) >"$work/got.raw"
    cmp -s <(without_silence "$work/expected.raw") <(without_silence "$work/got.raw") ||
      why="$why; played $(stat -c %s "$work/got.raw") bytes, not the $(stat -c %s "$work/expected.raw") of $played"
  fi
  if [ -z "$why" ]; then
    passed=$((passed + 1)); echo "ok   $name"
  else
    failed=$((failed + 1)); echo "FAIL $name: ${why#; }"
  fi
}

all_ok="*setting.ini: announcements on (vocalcue=1)*"
all_ok+="  ok         wav/您本次消费合计为.wav  0.020 s  22050 Hz, 1 channel, *"
all_ok+="  ok         wav/整.wav  0.020 s  22050 Hz, 1 channel, *"
all_ok+="sound device: opens*everything is in place"

row "--help" : 0 "usage: vocalcue-check *Exit status: 0*" -- --help
row "--version" : 0 "vocalcue-check $version" -- --version
row "unknown argument: exit 2" : 2 "*unknown argument --bogus*" -- --bogus
row "--say without a request: exit 2" : 2 "*missing REQUEST after --say*" -- --say
row "everything in place" : 0 "$all_ok" --
row "a missing file" 'rm wav/拾.wav' 1 "*  missing    wav/拾.wav*not in place: 1 missing" --
row "a corrupt file" 'echo not a sound >wav/元.wav' 1 "*  unreadable wav/元.wav  (*not in place: 1 unreadable" --
row "a sample-rate mix: a warning" 'sox -n -r 44100 -c 2 -b 16 wav/元.wav trim 0 0.25' 0 \
  "*  ok         wav/元.wav  0.250 s  44100 Hz, 2 channels, *warning: the files are not all in one format (29 in 22050 Hz*  wav/元.wav  44100 Hz*everything is in place" --
# Files far longer than their word are findings: a warning, the exit status unchanged.
row "a 27-hour phrase: a warning" 'silent_wav wav/欢迎光临.wav 97200' 0 \
  "*  ok         wav/欢迎光临.wav  97200.000 s  22050 Hz*warning: wav/欢迎光临.wav lasts 97200.000 s, more than the 10 s a phrase takes*everything is in place" --
row "a 4-second numeral: a warning" 'silent_wav wav/伍.wav 4' 0 \
  "*warning: wav/伍.wav lasts 4.000 s, more than the 3 s a numeral or unit takes*everything is in place" --
row "no sound device" : 1 "*sound device: DOES NOT OPEN*not in place: no sound device" --device none --
# Each reason announcements are off; vocalcue=00 is on, as vocalcue reads it.
while IFS='|' read -r name setting expected output; do
  row "setting.ini: $name" "$setting" "$expected" "*setting.ini: announcements $output*" --
done <<'ROWS'
missing|rm setting.ini|1|OFF: there is no setting.ini in this folder*
value 0|printf '[setting]\nvocalcue=0\n' >setting.ini|1|OFF: vocalcue=0 switches them off*
key missing|printf '[Setting]\nother=1\n' >setting.ini|1|OFF: the \[setting\] section has no vocalcue key*
section missing|printf '[other]\nvocalcue=1\n' >setting.ini|1|OFF: setting.ini has no \[setting\] section*
value 00|printf '[setting]\nvocalcue=00\n' >setting.ini|0|on (vocalcue=00)*
ROWS
if [ ${#launcher[@]} -eq 0 ]; then
  # A FIFO would hold a reader up for ever; the program must not wait for a writer.
  row "setting.ini a FIFO" 'rm setting.ini && mkfifo setting.ini' 1 \
    "*announcements OFF: setting.ini is not a regular file*" --
  row "a FIFO in place of a sound" 'rm wav/拾.wav && mkfifo wav/拾.wav' 1 "*  not a file wav/拾.wav*" --
fi

say=您本次消费合计为/m/35.50/谢谢光临
files="您本次消费合计为 叁 拾 伍 元 伍 角 谢谢光临"
listed="request $say plays 8 files:"
for t in $files; do listed+="*  ok         wav/$t.wav  0.020 s*"; done
row "--say: the files in order, played" : 0 "$listed*played" --played "$files" -- --say "$say"
row "--say with a missing file: the rest played, exit 1" 'rm wav/拾.wav' 1 "*  missing    wav/拾.wav*played" \
  --played "您本次消费合计为 叁 伍 元 伍 角 谢谢光临" -- --say "$say"

echo "vocalcue-check: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
