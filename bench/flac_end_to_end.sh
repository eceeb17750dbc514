#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# FLAC against WAV, file to file: zorv-decode on 60 s of a stereo transfer at
# 44.1 kHz 16-bit and at 96 kHz 24-bit, as WAV to WAV, FLAC to FLAC, FLAC to
# WAV and WAV to FLAC (the FLAC input packed with flac --keep-foreign-metadata),
# the four run in turn RUNS times (default 5) so that the machine's drift hits
# them alike. Medians of wall time and CPU time (user + system, all threads),
# x real time, and FLAC to FLAC against WAV to WAV; the load average at the
# start and the end is printed.
#
#   bench/flac_end_to_end.sh [BUILD_DIR]        (after scripts/build.sh)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
runs=${RUNS:-5}
decode=$build/cli/zorv-decode
make_demo=$build/tools/zorv-make-demo
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
seconds=60

"$make_demo" "$work/in44.wav" $seconds
"$make_demo" "$work/in96.wav" $seconds 2 96000 24
for input in in44 in96; do
  flac -s -f --keep-foreign-metadata -o "$work/$input.flac" "$work/$input.wav" 2>/dev/null
done

# shellcheck source=bench/measure.sh
source bench/measure.sh

echo "CPU: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ //'), $(nproc) cores"
echo "load at the start: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "median of $runs runs, in turn; wall time, CPU time of all threads"
for input in in44 in96; do
  rows=$(for _ in $(seq "$runs"); do
    for pair in wav:wav flac:flac flac:wav wav:flac; do
      from=${pair%:*}
      to=${pair#*:}
      measure_once "$decode" -q -f -o "$work/out.$to" "$work/$input.$from" | sed "s/^/$pair /"
    done
  done)
  for pair in wav:wav flac:flac flac:wav wav:flac; do
    read -r wall cpu _ <<<"$(grep "^$pair " <<<"$rows" | cut -d' ' -f2- | medians)"
    awk -v n="$input ${pair/:/ to }" -v w="$wall" -v c="$cpu" -v a=$seconds 'BEGIN {
      printf "%-22s %7.3f s %7.1f x real time  cpu %6.2f s\n", n, w, a / w, c }'
    [ "$pair" = wav:wav ] && base=$wall
    [ "$pair" = flac:flac ] && flac=$wall
  done
  awk -v n="$input" -v f="$flac" -v b="$base" 'BEGIN {
    printf "  wall time, FLAC to FLAC / WAV to WAV (%s): %.2f\n", n, f / b }'
done
echo "load at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
