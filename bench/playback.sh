#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Listening in the window, measured on a PulseAudio server of its own with a
# null sink: RUNS times (default 5) without and with a CPU-bound process
# beside it (`sh -c 'while :; do :; done'`), zorv-audio-decoder --autoplay
# plays SECONDS (default 10) of a demo file from 2 s on while parec records
# the sink's monitor. Per condition, medians and ranges of:
#   - Play to sound: from the moment Play is pressed to the first sound at
#     the sink's monitor (parec's own delay of some 10 ms included);
#   - the gaps the window counted and said, and the silences inside the
#     sound the recording holds (1 ms and longer);
#   - what a level change waits behind, and the output buffer granted;
#   - the longest wait of the output's thread between two top-ups, and the
#     least the output held at one (how close it came to running dry).
# The load average at the start and the end is printed: figures of a busy
# shared machine are not those of an idle one.
#
#   bench/playback.sh [BUILD_DIR]   (built with -DZORV_BUILD_BENCH=ON)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
runs=${RUNS:-5}
seconds=${SECONDS_PLAYED:-10}
program=$build/app/desktop/zorv-audio-decoder
probe=$build/bench/playback_probe
make_demo=$build/tools/zorv-make-demo
for tool in "$program" "$probe" "$make_demo"; do
  [ -x "$tool" ] || { echo "playback.sh: $tool is not built" >&2; exit 1; }
done
work=$(mktemp -d /tmp/zorv-playback.XXXXXX)
server= hog=
cleanup() {
  for pid in $hog $server; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
"$make_demo" "$work/demo.wav" $((seconds + 4)) >/dev/null

export XDG_RUNTIME_DIR="$work" PULSE_RUNTIME_PATH="$work/pulse" HOME="$work"
export PULSE_SERVER="unix:$work/pulse/native" QT_QPA_PLATFORM=offscreen
mkdir -p "$work/pulse"
cat >"$work/server.pa" <<'PA'
load-module module-native-protocol-unix
load-module module-null-sink sink_name=probe rate=44100 channels=2 format=float32le
set-default-sink probe
PA
pulseaudio --daemonize=no --exit-idle-time=-1 --high-priority=yes --realtime=yes -n \
  -F "$work/server.pa" >"$work/server.log" 2>&1 &
server=$!
for _ in $(seq 1 100); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done
pactl info >/dev/null 2>&1 || { cat "$work/server.log"; echo "playback.sh: no sound server" >&2; exit 1; }

# One playing: "latency_ms window_gaps window_gap_ms recorded_gaps recorded_gap_ms waited_ms buffer_ms"
play_once() {
  local raw=$work/heard.raw times=$work/times.txt said=$work/said.txt
  : >"$times"
  rm -f "$work/monitor" && mkfifo "$work/monitor"
  "$probe" record "$raw" <"$work/monitor" >"$times" &
  local probing=$!
  parec -d probe.monitor --format=float32le --rate=44100 --channels=2 --latency-msec=10 \
    --raw >"$work/monitor" &
  local recorder=$!
  for _ in $(seq 1 100); do [ -s "$raw" ] && break; sleep 0.05; done
  "$program" --autoplay "2,$seconds" --level -12.0 "$work/demo.wav" >"$said" 2>/dev/null || true
  sleep 0.3
  kill "$recorder" 2>/dev/null || true
  wait "$recorder" "$probing" 2>/dev/null || true
  local pressed first
  field() { sed -n "s/.*$1.*/\\1/p" "$said"; }
  pressed=$(field 'Play pressed at \([0-9.]*\) s')
  first=$(sed -n 's/first sound at //p' "$times")
  read -r rgaps rgapms _ < <("$probe" gaps "$raw" 44100)
  echo "$pressed $first $(field '; \([0-9]*\) playback gaps') $(field 'playback gaps, \([0-9]*\) ms') \
$rgaps $rgapms $(field 'waited behind \([0-9]*\) ms on average') $(field 'output buffer \([0-9]*\) ms') \
$(field 'topped up after \([0-9.]*\) ms') $(field 'holding \([0-9.]*\) ms')" |
    awk '{ printf "%.1f %d %d %d %.1f %d %d %.1f %.1f\n", ($2 - $1) * 1000, $3, $4, $5, $6, $7, $8, $9, $10 }'
}

# Median and range of column c of the rows in file.
summary() {
  sort -n -k"$2" "$1" | awk -v c="$2" '{ v[NR] = $c } END {
    printf "median %s, %s .. %s", v[int((NR + 1) / 2)], v[1], v[NR] }'
}

echo "load average at the start: $(cut -d' ' -f1-3 /proc/loadavg); $(nproc) cores"
for condition in idle busy; do
  if [ "$condition" = busy ]; then
    sh -c 'while :; do :; done' &
    hog=$!
  fi
  rows=$work/$condition.txt
  : >"$rows"
  for _ in $(seq 1 "$runs"); do play_once >>"$rows"; done
  [ -z "${SHOW_ROWS:-}" ] || cat "$rows"
  gaps=$(awk '{ n += $2; ms += $3; r += $4; rms += $5 } END {
    printf "%d counted by the window (%d ms), %d silences in the recordings (%.0f ms)", n, ms, r, rms }' "$rows")
  echo "== $condition: $runs playings of $seconds s"
  echo "   Play to sound (ms): $(summary "$rows" 1)"
  echo "   gaps in all: $gaps"
  echo "   a level change waited behind (ms, mean per playing): $(summary "$rows" 6)"
  echo "   output buffer granted (ms): $(summary "$rows" 7)"
  echo "   longest wait between two top-ups of the output (ms): $(summary "$rows" 8)"
  echo "   least the output held at a top-up (ms): $(summary "$rows" 9)"
  if [ -n "$hog" ]; then kill "$hog"; hog=; fi
done
echo "load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
