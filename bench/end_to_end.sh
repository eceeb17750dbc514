#!/usr/bin/env bash
# Whole-process throughput, file to file: zorv-decode on a 60-second stereo
# 44.1 kHz 16-bit file and a 96 kHz 24-bit file, each arithmetic path, -j 2 on
# two files, and sox's four-band compander on the same files as a peer.
# Median of RUNS runs (default 5), reported as x real time.
#
#   bench/end_to_end.sh [BUILD_DIR]        (after scripts/build.sh)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
runs=${RUNS:-5}
decode=$build/cli/zorv-decode
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$build/tools/zorv-make-demo" "$work/in44.wav" 60
sox "$work/in44.wav" -b 24 "$work/in96.wav" rate -v 96000
cp "$work/in44.wav" "$work/in44b.wav"
seconds=60

# Median wall time in seconds of a command run $runs times.
median() {
  local times=()
  for _ in $(seq "$runs"); do
    local t0 t1
    t0=$(date +%s%N)
    "$@" >/dev/null 2>&1
    t1=$(date +%s%N)
    times+=("$(( (t1 - t0) / 1000 ))")
  done
  printf '%s\n' "${times[@]}" | sort -n | sed -n "$(( (runs + 1) / 2 ))p" | awk '{printf "%.3f", $1 / 1e6}'
}

report() {  # name, audio seconds, wall seconds
  awk -v n="$1" -v a="$2" -v w="$3" 'BEGIN {printf "%-44s %8.3f s  %7.1f x real time\n", n, w, a / w}'
}

peer() {
  sox "$1" "$2" mcompand \
    "0.005,0.1 -47,-40,-34,-34,-17,-33,0,0" 215 \
    "0.003,0.05 -47,-40,-34,-34,-17,-33,0,0" 2450 \
    "0.000625,0.0125 -47,-40,-34,-34,-15,-33,0,0" 4800 \
    "0.0001,0.025 -47,-40,-34,-34,-31,-31,0,0"
}

echo "CPU: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ //'), $(nproc) cores"
echo "median of $runs runs"
for input in in44 in96; do
  for arithmetic in extended portable avx2 avx512; do
    if [ "$arithmetic" = extended ] && [ "$input" = in96 ] && [ -z "${WITH_SLOW:-}" ]; then continue; fi
    t=$(median env ZORV_ARITHMETIC=$arithmetic "$decode" -q -f -j 1 -o "$work/out.wav" "$work/$input.wav")
    report "zorv-decode $input ($arithmetic)" $seconds "$t"
  done
  t=$(median peer "$work/$input.wav" "$work/peer.wav")
  report "sox mcompand $input (peer)" $seconds "$t"
done
t=$(median "$decode" -q -f -j 2 "$work/in44.wav" "$work/in44b.wav")
report "zorv-decode -j 2, two in44 files" $((2 * seconds)) "$t"
t=$(median "$decode" -q -f -j 1 "$work/in44.wav" "$work/in44b.wav")
report "zorv-decode -j 1, two in44 files" $((2 * seconds)) "$t"
