#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# zorv-decode on thousands of inputs: the wall time of a call on N empty
# (0-byte, refused) inputs for N = 1000, 4000, 10000 (the checks of the
# inputs against each other must grow linearly), of a call on 10,000 WAV
# files with an empty data chunk (each decoded: a temporary file, a sync, a
# rename), and how long the program takes to end after SIGINT in the middle
# of the 10,000. Median of RUNS runs (default 5).
#
#   bench/many_inputs.sh [BUILD_DIR]        (after scripts/build.sh)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
runs=${RUNS:-5}
decode=$(realpath "$build/cli/zorv-decode")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

median() { sort -n | sed -n "$(( (runs + 1) / 2 ))p"; }
now_us() { echo $(( $(date +%s%N) / 1000 )); }

mkdir -p "$work/empty" "$work/wav"
for i in $(seq 1 10000); do : >"$work/empty/$i.wav"; done
# A canonical 44-byte header of 16-bit stereo at 44.1 kHz and no data.
printf 'RIFF\x24\x00\x00\x00WAVEfmt \x10\x00\x00\x00\x01\x00\x02\x00\x44\xac\x00\x00\x10\xb1\x02\x00\x04\x00\x10\x00data\x00\x00\x00\x00' >"$work/header.wav"
for i in $(seq 1 10000); do cp "$work/header.wav" "$work/wav/$i.wav"; done

echo "CPU: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ //'), $(nproc) cores"
echo "median of $runs runs"
cd "$work/empty"
for n in 1000 4000 10000; do
  times=()
  for _ in $(seq "$runs"); do
    t0=$(now_us)
    # shellcheck disable=SC2046
    "$decode" -q $(seq 1 "$n" | sed 's/$/.wav/') >/dev/null 2>&1 || true
    times+=($(( $(now_us) - t0 )))
  done
  printf '%-46s %8.3f s\n' "$n empty inputs, refused" "$(printf '%s\n' "${times[@]}" | median | awk '{print $1 / 1e6}')"
done

cd "$work/wav"
times=()
for _ in $(seq "$runs"); do
  rm -f -- *_dec.wav
  t0=$(now_us)
  "$decode" -q -- $(seq 1 10000 | sed 's/$/.wav/') >/dev/null 2>&1 || true
  times+=($(( $(now_us) - t0 )))
done
printf '%-46s %8.3f s\n' "10000 WAV inputs without data, decoded" "$(printf '%s\n' "${times[@]}" | median | awk '{print $1 / 1e6}')"

times=()
for _ in $(seq "$runs"); do
  rm -f -- *_dec.wav *.partial.wav
  "$decode" -q -- $(seq 1 10000 | sed 's/$/.wav/') >/dev/null 2>&1 &
  pid=$!
  sleep 0.3
  t0=$(now_us)
  kill -INT "$pid"
  wait "$pid" || true
  times+=($(( $(now_us) - t0 )))
done
printf '%-46s %8.3f s\n' "SIGINT to exit, 0.3 s into the 10000" "$(printf '%s\n' "${times[@]}" | median | awk '{print $1 / 1e6}')"
