#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Whole-process throughput, file to file: zorv-decode on a 60-second stereo
# 44.1 kHz 16-bit file, the same programme at 96 kHz and at 192 kHz 24-bit,
# and 60 s of 48 kHz 24-bit in 24 channels; each arithmetic path, one worker thread per
# core against everything on one thread (ZORV_WORKERS=0), -j 2 on two files,
# and sox's four-band compander on the same files as a peer, in the same run.
# Median of RUNS runs (default 5) of wall time, CPU time (user + system, all
# threads), peak memory and voluntary context switches (sleeps); the default
# and one thread run in turn, with the ratio of their CPU time; the peak
# memory of 64 channels for two lengths; the CPU time per second of audio at
# 192 kHz against 96 kHz; and the default against one thread again while a
# second CPU-bound process (`yes`) runs beside them, which must not make the
# default the slower. Every row gives x real time and the wall time per
# frame (ns); the load average at the start and the end is printed.
#
#   bench/end_to_end.sh [BUILD_DIR]        (after scripts/build.sh)
#
# WITH_SLOW=1: the reference (--exact) on every input, not only in44;
# NO_EXACT=1: on none (under load it takes minutes).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
runs=${RUNS:-5}
decode=$build/cli/zorv-decode
make_demo=$build/tools/zorv-make-demo
work=$(mktemp -d)
hog=""
trap '[ -z "$hog" ] || kill "$hog" 2>/dev/null; rm -rf "$work"' EXIT

"$make_demo" "$work/in44.wav" 60
sox "$work/in44.wav" -b 24 "$work/in96.wav" rate -v 96000
sox "$work/in44.wav" -b 24 "$work/in192.wav" rate -v 192000
cp "$work/in44.wav" "$work/in44b.wav"
"$make_demo" "$work/in24ch.wav" 60 24 48000 24
"$make_demo" "$work/in64ch_10s.wav" 10 64 48000 24
"$make_demo" "$work/in64ch_30s.wav" 30 64 48000 24
seconds=60

# shellcheck source=bench/measure.sh
source bench/measure.sh

# Frames per second of audio of each input.
declare -A rate=([in44]=44100 [in96]=96000 [in192]=192000 [in24ch]=48000 [in64ch]=48000)

# name, audio seconds, "wall cpu peak switches", frames per second of audio
report() {
  read -r wall cpu peak switches <<<"$3"
  awk -v n="$1" -v a="$2" -v w="$wall" -v c="$cpu" -v p="$peak" -v z="$switches" -v r="${4:-0}" 'BEGIN {
    printf "%-46s %7.3f s %7.1f x real time", n, w, a / w
    if (r > 0) printf " %7.1f ns/frame", w * 1e9 / (a * r); else printf " %16s", ""
    printf "  cpu %6.2f s  peak %6.1f MiB  sleeps %5d\n", c, p / 1024, z }'
}

# The default against one thread and against the default without the stage
# split, run in turn $runs times (so that the machine's drift hits them
# alike): the rows, then the ratios to one thread.
compare_threads() {
  local input=$1 both
  both=$(for _ in $(seq "$runs"); do
    measure_once "$decode" -q -f -j 1 -o "$work/out.wav" "$work/$input.wav" | sed 's/^/d /'
    measure_once env ZORV_WORKERS=0 "$decode" -q -f -j 1 -o "$work/out.wav" "$work/$input.wav" |
      sed 's/^/o /'
    measure_once env ZORV_STAGES=0 "$decode" -q -f -j 1 -o "$work/out.wav" "$work/$input.wav" |
      sed 's/^/u /'
  done)
  local one def unstaged
  one=$(grep '^o ' <<<"$both" | cut -c3- | medians)
  def=$(grep '^d ' <<<"$both" | cut -c3- | medians)
  unstaged=$(grep '^u ' <<<"$both" | cut -c3- | medians)
  report "zorv-decode $input (default, one thread)${2:-}" $seconds "$one" "${rate[$input]}"
  report "zorv-decode $input (default, no stage split)${2:-}" $seconds "$unstaged" "${rate[$input]}"
  report "zorv-decode $input (default)${2:-}" $seconds "$def" "${rate[$input]}"
  [ -n "${2:-}" ] || default_wall[$input]=$(cut -d' ' -f1 <<<"$def")
  [ -n "${2:-}" ] || default_cpu[$input]=$(cut -d' ' -f2 <<<"$def")
  awk -v n="$input" -v d="$(cut -d' ' -f2 <<<"$def")" -v o="$(cut -d' ' -f2 <<<"$one")" \
    -v dw="$(cut -d' ' -f1 <<<"$def")" -v ow="$(cut -d' ' -f1 <<<"$one")" -v l="${2:-}" 'BEGIN {
    printf "%-46s %.2f\n", "  CPU time, default / one thread (" n ")" l, d / o
    printf "%-46s %.2f\n", "  wall time, default / one thread (" n ")" l, dw / ow }'
}

# The default against one thread with a CPU-bound process beside them.
compare_loaded() {
  yes >/dev/null &
  hog=$!
  compare_threads "$1" ", beside yes"
  kill "$hog"
  wait "$hog" 2>/dev/null || true
  hog=""
}

# The peer's effect; a command of its own, since /usr/bin/time runs no shell
# function.
peer_effect=(mcompand
  "0.005,0.1 -47,-40,-34,-34,-17,-33,0,0" 215
  "0.003,0.05 -47,-40,-34,-34,-17,-33,0,0" 2450
  "0.000625,0.0125 -47,-40,-34,-34,-15,-33,0,0" 4800
  "0.0001,0.025 -47,-40,-34,-34,-31,-31,0,0")

declare -A default_cpu default_wall
echo "CPU: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ //'), $(nproc) cores"
echo "load at the start: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "median of $runs runs; wall time, CPU time of all threads, peak resident memory,"
echo "voluntary context switches"
for input in in44 in96 in192 in24ch; do
  for arithmetic in extended portable avx2 avx512; do
    if [ "$arithmetic" = extended ] && [ "$input" != in44 ] && [ -z "${WITH_SLOW:-}" ]; then continue; fi
    if [ "$arithmetic" = extended ] && [ -n "${NO_EXACT:-}" ]; then continue; fi
    r=$(measure env ZORV_ARITHMETIC=$arithmetic "$decode" -q -f -j 1 -o "$work/out.wav" "$work/$input.wav")
    report "zorv-decode $input ($arithmetic)" $seconds "$r" "${rate[$input]}"
  done
  compare_threads "$input"
  r=$(measure sox "$work/$input.wav" "$work/peer.wav" "${peer_effect[@]}")
  report "sox mcompand $input (peer)" $seconds "$r" "${rate[$input]}"
  awk -v d="${default_wall[$input]}" -v p="$(cut -d' ' -f1 <<<"$r")" -v n="$input" 'BEGIN {
    printf "%-46s %.2f\n", "  default / peer, speed (" n ")", p / d }'
done
r=$(measure "$decode" -q -f -j 2 "$work/in44.wav" "$work/in44b.wav")
report "zorv-decode -j 2, two in44 files" $((2 * seconds)) "$r" 44100
r=$(measure "$decode" -q -f -j 1 "$work/in44.wav" "$work/in44b.wav")
report "zorv-decode -j 1, two in44 files" $((2 * seconds)) "$r" 44100
r=$(measure "$decode" -q -f -o "$work/out.wav" "$work/in64ch_10s.wav")
report "zorv-decode 10 s in 64 channels (default)" 10 "$r" 48000
r=$(measure "$decode" -q -f -o "$work/out.wav" "$work/in64ch_30s.wav")
report "zorv-decode 30 s in 64 channels (default)" 30 "$r" 48000
r=$(measure env ZORV_WORKERS=0 "$decode" -q -f -o "$work/out.wav" "$work/in64ch_30s.wav")
report "zorv-decode 30 s in 64 channels (one thread)" 30 "$r" 48000
for input in in44 in96 in192 in24ch; do compare_loaded "$input"; done
awk -v h="${default_cpu[in192]}" -v l="${default_cpu[in96]}" 'BEGIN {
  printf "%-46s %.2f\n", "CPU time per audio second, in192 / in96 (default)", h / l }'
echo "load at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
