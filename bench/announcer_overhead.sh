#!/usr/bin/env bash
# Times what the announcer adds around the sound itself, as medians of several
# runs of the built program:
#   a. wall time of a 10-file announcement into the ALSA capture sink (a file
#      plugin over a null slave: no pacing, so this is the program's own cost);
#   b. time from process start to the first sample: handed to ALSA (capture
#      sink written into a FIFO) and taken by a real-time paced sink (JACK,
#      seen by the jack_first_sample probe), with the start + end overhead on
#      that sink as a cross-check;
#   c. the gap between consecutive files on a real-time paced sink (JACK's
#      dummy backend), from wall times and from a recording of the JACK output.
#
# Usage: bench/announcer_overhead.sh [path/to/vocalcue [path/to/jack_first_sample]]
#   RUNS=15 by default. The probe defaults to the one built beside vocalcue
#   (build/default/bench/jack_first_sample); without it the first sample on
#   JACK is not measured and only an upper bound is printed.
# Needs sox, jackd2 (jackd, jack_wait, jack_rec, jack_disconnect) and the ALSA
# JACK plugin from libasound2-plugins; tools/install-deps installs them.
set -euo pipefail
export LC_ALL=C  # EPOCHREALTIME with a '.' as its decimal point

vocalcue=$(realpath "${1:-build/default/announcer/vocalcue}")
probe=${2:-$(dirname "$vocalcue")/../bench/jack_first_sample}
if [ -x "$probe" ]; then probe=$(realpath "$probe"); else probe=""; fi
runs=${RUNS:-15}
rate=22050
short_s=0.05  # file length for the capture sink runs
paced_s=0.2   # file length for the paced sink runs
paced_frames=4410
period=256
server=vocalcue_bench_$$  # a server of our own, so a running JACK is left alone

for tool in sox soxi jackd jack_wait jack_rec jack_disconnect od awk mkfifo; do
  command -v "$tool" >/dev/null || { echo "missing: $tool (run tools/install-deps)" >&2; exit 1; }
done
[ -x "$vocalcue" ] || { echo "not an executable: $vocalcue" >&2; exit 1; }

work=$(mktemp -d)
jackd_pid=""
rec_pid=""
reader_pid=""
cleanup() {
  for pid in "$reader_pid" "$rec_pid" "$jackd_pid"; do
    [ -n "$pid" ] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
  done
  rm -rf "$work"
}
trap cleanup EXIT

# Requests and the number of files each one speaks: the opening phrase, the
# characters of the reading (12.34 reads 壹拾贰元叁角肆分) and the closing phrase.
req1='您本次消费合计为/x/0/x'
req2='您本次消费合计为/x/0/谢谢光临'
req10='您本次消费合计为/m/12.34/谢谢光临'

# A folder the program runs in: setting.ini with the switch on and a wav folder
# with every token the requests use. The tone rides on a DC offset so that no
# sample is zero: silence in a recording is then exactly what the sink inserted.
make_voice_dir() {  # dir seconds
  mkdir -p "$1/wav"
  printf '[setting]\nvocalcue=1\n' >"$1/setting.ini"
  local token
  for token in 您本次消费合计为 谢谢光临 零 壹 贰 叁 肆 伍 陆 柒 捌 玖 拾 佰 仟 万 亿 元 角 分 整; do
    sox -n -r "$rate" -b 16 -c 1 "$1/wav/$token.wav" synth "$2" sine 300 vol 0.3 dcshift 0.4
  done
}

us_since() {  # start (an EPOCHREALTIME value) end -> microseconds
  echo $(( ${2/./} - ${1/./} ))
}

median() {  # microsecond values on stdin -> median
  sort -n | awk '{ v[NR] = $1 } END { if (NR == 0) exit 1; printf "%d\n", (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

ms() { awk -v u="$1" -v p="${2:-2}" 'BEGIN { printf "%.*f", p, u / 1000 }'; }

# Runs one announcement in the current directory and prints its wall time in µs.
timed_run() {  # alsa-config request
  local t0 t1
  t0=$EPOCHREALTIME
  ALSA_CONFIG_PATH=$1 "$vocalcue" "$2"
  t1=$EPOCHREALTIME
  us_since "$t0" "$t1"
}

# --- a. 10 files into the capture sink -------------------------------------
cap="$work/capture"
make_voice_dir "$cap" "$short_s"
short_frames=$(soxi -s "$cap/wav/零.wav")
cat >"$cap/alsa.conf" <<EOF
pcm.!default { type file; slave.pcm { type null }; file "$cap/out.raw"; format "raw" }
EOF
cd "$cap"
# The capture must hold exactly the expected number of files' samples, or the
# timing is of something else.
check_capture() {  # files
  local bytes
  bytes=$(cat out.raw* 2>/dev/null | wc -c)
  if [ "$bytes" -ne $(($1 * short_frames * 2)) ]; then
    echo "capture holds $bytes bytes, expected $(($1 * short_frames * 2)) ($1 files)" >&2
    exit 1
  fi
}
: >"$work/a.us"
: >"$work/a1.us"
for ((i = 0; i < runs; ++i)); do
  rm -f out.raw*
  timed_run "$cap/alsa.conf" "$req10" >>"$work/a.us"
  check_capture 10
  rm -f out.raw*
  timed_run "$cap/alsa.conf" "$req1" >>"$work/a1.us"
  check_capture 1
done
a_us=$(median <"$work/a.us")
a1_us=$(median <"$work/a1.us")
a_per_file_us=$(( (a_us - a1_us) / 9 ))

# --- b. process start to first sample, capture sink -------------------------
# The file plugin writes into a FIFO; a reader records the moment the first
# byte arrives. The plugin writes a file's samples when they are handed to the
# (unpaced) slave, so this is start-up plus the first file's decode and write.
mkfifo "$cap/first.fifo"
cat >"$cap/fifo.conf" <<EOF
pcm.!default { type file; slave.pcm { type null }; file "$cap/first.fifo"; format "raw" }
EOF
: >"$work/b.us"
: >"$work/b1.us"
for ((i = 0; i < runs; ++i)); do
  rm -f "$work/first.t"
  { IFS= read -r -N 1 -u 3 _ && echo "$EPOCHREALTIME" >"$work/first.t"; cat <&3 >/dev/null; } 3<"$cap/first.fifo" &
  reader_pid=$!
  sleep 0.05  # let the reader block in open() first, so the program never waits for it
  t0=$EPOCHREALTIME
  ALSA_CONFIG_PATH="$cap/fifo.conf" "$vocalcue" "$req1"
  t1=$EPOCHREALTIME
  # The reader ends at the program's close of the FIFO; one still waiting in
  # open() means the program never opened the PCM.
  for ((tries = 0; tries < 20; ++tries)); do
    kill -0 "$reader_pid" 2>/dev/null || break
    sleep 0.1
  done
  kill "$reader_pid" 2>/dev/null || true
  wait "$reader_pid" 2>/dev/null || true
  reader_pid=""
  [ -s "$work/first.t" ] || { echo "no sample reached the capture FIFO" >&2; exit 1; }
  us_since "$t0" "$(cat "$work/first.t")" >>"$work/b.us"
  us_since "$t0" "$t1" >>"$work/b1.us"
done
b_first_us=$(median <"$work/b.us")
b_one_us=$(median <"$work/b1.us")

# --- c. the real-time paced sink: JACK's dummy backend ----------------------
# JACK_NO_START_SERVER: a client must never start a server of its own.
export JACK_DEFAULT_SERVER=$server JACK_NO_AUDIO_RESERVATION=1 JACK_NO_START_SERVER=1
jackd -n "$server" -d dummy -r "$rate" -p "$period" >"$work/jackd.log" 2>&1 &
jackd_pid=$!
if ! jack_wait -w -t 10 >/dev/null 2>&1; then
  echo "jackd did not start:" >&2
  cat "$work/jackd.log" >&2
  exit 1
fi

pac="$work/paced"
make_voice_dir "$pac" "$paced_s"
[ "$(soxi -s "$pac/wav/零.wav")" -eq "$paced_frames" ] || { echo "unexpected WAV length" >&2; exit 1; }
cat >"$pac/jack.conf" <<'EOF'
pcm.jackraw { type jack; playback_ports { 0 system:playback_1 } }
pcm.!default { type plug; slave.pcm "jackraw" }
EOF
cd "$pac"
d_us=$((paced_frames * 1000000 / rate))
: >"$work/c1.us"
: >"$work/c2.us"
: >"$work/c10.us"
for ((i = 0; i < runs; ++i)); do
  timed_run "$pac/jack.conf" "$req1" >>"$work/c1.us"
  timed_run "$pac/jack.conf" "$req2" >>"$work/c2.us"
  timed_run "$pac/jack.conf" "$req10" >>"$work/c10.us"
done
c1_us=$(median <"$work/c1.us")
c2_us=$(median <"$work/c2.us")
c10_us=$(median <"$work/c10.us")
# A sink that failed to open plays nothing and returns at once: refuse such numbers.
if [ "$c10_us" -lt $((10 * d_us)) ]; then
  echo "10 files of $((d_us / 1000)) ms took $(ms "$c10_us") ms: the JACK sink did not play" >&2
  exit 1
fi
# Start to first sample on JACK, from the probe's own client: the frame time of
# the first sample within the JACK cycle that took it.
cat >"$pac/probe.conf" <<'EOF'
pcm.jackraw { type jack; playback_ports { 0 vcprobe:in } }
pcm.!default { type plug; slave.pcm "jackraw" }
EOF
c_first_us=""
aplay_first_us=""
if [ -n "$probe" ]; then
  # aplay playing the same file, interleaved, shows what the sink costs any
  # new process: the part of the figure that is not the program's.
  : >"$work/cfirst.us"
  : >"$work/aplay.us"
  for ((i = 0; i < runs; ++i)); do
    ALSA_CONFIG_PATH="$pac/probe.conf" "$probe" "$vocalcue" "$req1" | awk '{ print $1 }' >>"$work/cfirst.us"
    if command -v aplay >/dev/null; then
      ALSA_CONFIG_PATH="$pac/probe.conf" "$probe" aplay -q "$pac/wav/您本次消费合计为.wav" |
        awk '{ print $1 }' >>"$work/aplay.us"
    fi
  done
  c_first_us=$(median <"$work/cfirst.us")
  c_first_min_us=$(sort -n "$work/cfirst.us" | head -1)
  c_first_max_us=$(sort -n "$work/cfirst.us" | tail -1)
  aplay_first_us=$(median <"$work/aplay.us" || true)
fi
# Per-file cost beyond the sound itself, start-up and ending cancelled out.
gap_timed_us=$(awk -v a="$c10_us" -v b="$c2_us" -v d="$d_us" 'BEGIN { printf "%d", (a - b) / 8 - d }')
gap_naive_us=$(awk -v a="$c10_us" -v d="$d_us" 'BEGIN { printf "%d", (a - 10 * d) / 10 }')
fixed_us=$((c1_us - d_us))

# The same 10-file announcement recorded off the JACK graph: silence between two
# files is counted in samples. Runs are 0.5 s apart so they separate cleanly.
cat >"$pac/rec.conf" <<'EOF'
pcm.jackraw { type jack; playback_ports { 0 jackrec:input1 } }
pcm.!default { type plug; slave.pcm "jackraw" }
EOF
rec_seconds=$(awk -v r="$runs" -v a="$c10_us" 'BEGIN { printf "%d", r * (a / 1e6 + 0.6) + 2 }')
# jack_rec insists on a port to connect from; take system:capture_1 and cut it off again.
jack_rec -f "$work/rec.wav" -d "$rec_seconds" system:capture_1 >"$work/rec.log" 2>&1 &
rec_pid=$!
for ((tries = 0; tries < 50; ++tries)); do
  jack_disconnect system:capture_1 jackrec:input1 2>/dev/null && break
  sleep 0.1
done
sleep 0.3
for ((i = 0; i < runs; ++i)); do
  ALSA_CONFIG_PATH="$pac/rec.conf" "$vocalcue" "$req10"
  sleep 0.5
done
wait "$rec_pid"
rec_pid=""
# Runs are told apart by silences of 0.1 s or more. Per run: the silent
# samples between its first sample and the last sample of the tenth file's
# worth (10 x 4410 sounding samples), which is the 9 boundaries; the longest
# of those silences; and the sounding samples in all, which must be exactly
# 10 files' worth (more means the sink played something twice, less that it
# lost samples).
sox "$work/rec.wav" -t s16 - | od -An -v -t d2 -w2 | awk -v split_at=$((rate / 10)) -v files_end=$((10 * paced_frames)) '
  function close_run() {
    if (sounding > 0) { printf "%d %d %d\n", silent_in_run, longest, sounding }
    sounding = 0; silent_in_run = 0; longest = 0
  }
  $1 == 0 { zeros++; next }
  {
    if (zeros > 0) {
      if (zeros >= split_at) close_run()
      else if (sounding > 0 && sounding < files_end) {
        silent_in_run += zeros
        if (zeros > longest) longest = zeros
      }
      zeros = 0
    }
    sounding++
  }
  END { close_run() }' >"$work/rec.runs"
rec_count=$(wc -l <"$work/rec.runs")
bad_runs=$(awk -v n=$((10 * paced_frames)) '$3 != n' "$work/rec.runs" | wc -l)
gap_rec_us=$(awk -v r="$rate" '{ print $1 / 9 * 1e6 / r }' "$work/rec.runs" | median)
gap_rec_max_us=$(awk -v r="$rate" 'BEGIN { m = 0 } { if ($2 > m) m = $2 } END { print m * 1e6 / r }' "$work/rec.runs")

kill "$jackd_pid" 2>/dev/null
wait "$jackd_pid" 2>/dev/null || true
jackd_pid=""

verdict() { [ "$1" -le "$2" ] && echo "ok" || echo "MISSES by $(ms $(($1 - $2))) ms"; }
gap_rec_int=$(printf '%.0f' "$gap_rec_us")

printf '\nvocalcue: %s\n%d runs each, medians; files are %s s (capture) and %s s (JACK, %d Hz, %d-frame periods)\n\n' \
  "$vocalcue" "$runs" "$short_s" "$paced_s" "$rate" "$period"
printf '%-66s %10s  %s\n' "measurement" "ms" "target"
printf '%-66s %10s  %s\n' "a. 10-file announcement, capture sink, wall time" "$(ms "$a_us")" ""
printf '%-66s %10s  %s\n' "   1-file announcement, capture sink, wall time" "$(ms "$a1_us")" ""
printf '%-66s %10s  %s\n' "   each further file, capture sink, (a10 - a1)/9" "$(ms "$a_per_file_us" 3)" ""
printf '%-66s %10s  %s\n' "b. process start -> first sample handed to ALSA (capture FIFO)" "$(ms "$b_first_us")" \
  "<= 20 ms: $(verdict "$b_first_us" 20000)"
printf '%-66s %10s  %s\n' "   1-file announcement into the capture FIFO, wall time" "$(ms "$b_one_us")" ""
if [ -n "$c_first_us" ]; then
  printf '%-66s %10s  %s\n' "   process start -> first sample taken by the JACK graph" "$(ms "$c_first_us")" \
    "<= 20 ms: $(verdict "$c_first_us" 20000) (range $(ms "$c_first_min_us")..$(ms "$c_first_max_us"))"
  if [ -n "$aplay_first_us" ]; then
    printf '%-66s %10s  %s\n' "   the same for aplay playing the same file (the sink's share)" "$(ms "$aplay_first_us")" \
      "(range $(ms "$(sort -n "$work/aplay.us" | head -1)")..$(ms "$(sort -n "$work/aplay.us" | tail -1)"))"
  fi
else
  printf '%-66s %10s  %s\n' "   process start -> first sample taken by the JACK graph" "n/a" "jack_first_sample not built"
fi
printf '%-66s %10s  %s\n' "   1-file announcement on JACK minus the file (start + end overhead)" "$(ms "$fixed_us")" \
  "upper bound for the line above"
printf '%-66s %10s  %s\n' "c. gap per file on JACK, (T10 - T2)/8 - d" "$(ms "$gap_timed_us")" \
  "<= 15 ms: $(verdict "$gap_timed_us" 15000)"
printf '%-66s %10s  %s\n' "   (T10 - 10 d)/10, start-up and ending included" "$(ms "$gap_naive_us")" ""
printf '%-66s %10s  %s\n' "   silence between files in the JACK recording, mean per boundary" "$(ms "$gap_rec_int")" \
  "<= 15 ms: $(verdict "$gap_rec_int" 15000)"
printf '%-66s %10s  %s\n' "   longest single silence between files in any recorded run" "$(ms "${gap_rec_max_us%.*}")" ""
printf '\nwall times on JACK: 1 file %s ms, 2 files %s ms, 10 files %s ms (d = %s ms)\n' \
  "$(ms "$c1_us")" "$(ms "$c2_us")" "$(ms "$c10_us")" "$(ms "$d_us")"
printf 'recorded runs: %d of %d, with samples lost or added: %d\n' "$rec_count" "$runs" "$bad_runs"
if [ "$bad_runs" -gt 0 ]; then
  echo "  sounding samples in those runs (expected $((10 * paced_frames))):" \
    $(awk -v n=$((10 * paced_frames)) '$3 != n { print $3 }' "$work/rec.runs")
  grep -i overrun "$work/rec.log" | sed 's/^/  jack_rec: /' || true
fi
