#!/usr/bin/env bash
# Whole-process throughput, file to file: zorv-decode on a 60-second stereo
# 44.1 kHz 16-bit file, the same programme at 96 kHz 24-bit, and 60 s of
# 48 kHz 24-bit in 24 channels; each arithmetic path, one worker thread per
# core against everything on one thread (ZORV_WORKERS=0), -j 2 on two files,
# and sox's four-band compander on the same files as a peer, in the same run.
# Median of RUNS runs (default 5) of wall time, CPU time (user + system, all
# threads) and peak memory; the peak memory of 64 channels for two lengths.
#
#   bench/end_to_end.sh [BUILD_DIR]        (after scripts/build.sh)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
runs=${RUNS:-5}
decode=$build/cli/zorv-decode
make_demo=$build/tools/zorv-make-demo
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$make_demo" "$work/in44.wav" 60
sox "$work/in44.wav" -b 24 "$work/in96.wav" rate -v 96000
cp "$work/in44.wav" "$work/in44b.wav"
"$make_demo" "$work/in24ch.wav" 60 24 48000 24
"$make_demo" "$work/in64ch_10s.wav" 10 64 48000 24
"$make_demo" "$work/in64ch_30s.wav" 30 64 48000 24
seconds=60

# Runs a command $runs times; prints the medians "wall_s cpu_s peak_kib".
measure() {
  local walls=() cpus=() peaks=()
  for _ in $(seq "$runs"); do
    local t0 t1
    t0=$(date +%s%N)
    # A command that fails is no figure: the script stops.
    if ! /usr/bin/time -f "%U %S %M" -o "$work/time.txt" "$@" >/dev/null 2>&1; then
      echo "failed: $*" >&2
      return 1
    fi
    t1=$(date +%s%N)
    read -r user system peak <"$work/time.txt"
    walls+=("$(awk -v d=$((t1 - t0)) 'BEGIN {printf "%.4f", d / 1e9}')")
    cpus+=("$(awk -v u="$user" -v s="$system" 'BEGIN {printf "%.2f", u + s}')")
    peaks+=("$peak")
  done
  local mid=$(((runs + 1) / 2))
  printf '%s %s %s\n' \
    "$(printf '%s\n' "${walls[@]}" | sort -g | sed -n "${mid}p")" \
    "$(printf '%s\n' "${cpus[@]}" | sort -g | sed -n "${mid}p")" \
    "$(printf '%s\n' "${peaks[@]}" | sort -g | sed -n "${mid}p")"
}

# name, audio seconds, "wall cpu peak"
report() {
  read -r wall cpu peak <<<"$3"
  awk -v n="$1" -v a="$2" -v w="$wall" -v c="$cpu" -v p="$peak" 'BEGIN {
    printf "%-46s %7.3f s %7.1f x real time  cpu %6.2f s  peak %6.1f MiB\n",
      n, w, a / w, c, p / 1024 }'
}

# The peer's effect; a command of its own, since /usr/bin/time runs no shell
# function.
peer_effect=(mcompand
  "0.005,0.1 -47,-40,-34,-34,-17,-33,0,0" 215
  "0.003,0.05 -47,-40,-34,-34,-17,-33,0,0" 2450
  "0.000625,0.0125 -47,-40,-34,-34,-15,-33,0,0" 4800
  "0.0001,0.025 -47,-40,-34,-34,-31,-31,0,0")

echo "CPU: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ //'), $(nproc) cores"
echo "median of $runs runs; wall time, CPU time of all threads, peak resident memory"
for input in in44 in96 in24ch; do
  for arithmetic in extended portable avx2 avx512; do
    if [ "$arithmetic" = extended ] && [ "$input" != in44 ] && [ -z "${WITH_SLOW:-}" ]; then continue; fi
    r=$(measure env ZORV_ARITHMETIC=$arithmetic "$decode" -q -f -j 1 -o "$work/out.wav" "$work/$input.wav")
    report "zorv-decode $input ($arithmetic)" $seconds "$r"
  done
  r=$(measure env ZORV_WORKERS=0 "$decode" -q -f -j 1 -o "$work/out.wav" "$work/$input.wav")
  report "zorv-decode $input (default, one thread)" $seconds "$r"
  r=$(measure "$decode" -q -f -j 1 -o "$work/out.wav" "$work/$input.wav")
  report "zorv-decode $input (default)" $seconds "$r"
  r=$(measure sox "$work/$input.wav" "$work/peer.wav" "${peer_effect[@]}")
  report "sox mcompand $input (peer)" $seconds "$r"
done
r=$(measure "$decode" -q -f -j 2 "$work/in44.wav" "$work/in44b.wav")
report "zorv-decode -j 2, two in44 files" $((2 * seconds)) "$r"
r=$(measure "$decode" -q -f -j 1 "$work/in44.wav" "$work/in44b.wav")
report "zorv-decode -j 1, two in44 files" $((2 * seconds)) "$r"
r=$(measure "$decode" -q -f -o "$work/out.wav" "$work/in64ch_10s.wav")
report "zorv-decode 10 s in 64 channels (default)" 10 "$r"
r=$(measure "$decode" -q -f -o "$work/out.wav" "$work/in64ch_30s.wav")
report "zorv-decode 30 s in 64 channels (default)" 30 "$r"
