#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# One real output past 4 GiB: ffmpeg writes a 4.5 GiB RF64 file (96 kHz,
# 24-bit stereo, 8389 s), zorv-decode decodes it file to file, and ffprobe
# must read the output with the input's format and frame count. Prints the
# wall time and x real time of the decode. Not part of the tests (it needs
# some 9.1 GB of disk and minutes); run by hand after scripts/build.sh.
#
#   bench/rf64_4gib.sh [BUILD_DIR] [WORK_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
work=${2:-$(mktemp -d)}
mkdir -p "$work"
trap 'rm -f "$work/big.wav" "$work/big_dec.wav"' EXIT
seconds=8389
rate=96000

ffmpeg -v error -y -f lavfi -i "sine=f=997:r=$rate:d=$seconds" -ac 2 -c:a pcm_s24le \
  -rf64 auto "$work/big.wav"

t0=$(date +%s%N)
"$build/cli/zorv-decode" -q -f "$work/big.wav" -o "$work/big_dec.wav"
t1=$(date +%s%N)

probe() {
  ffprobe -v error -show_entries stream=codec_name,sample_rate,channels,duration_ts \
    -of default=noprint_wrappers=1 "$1"
}
in_probe=$(probe "$work/big.wav")
out_probe=$(probe "$work/big_dec.wav")
in_bytes=$(stat -c %s "$work/big.wav")
out_bytes=$(stat -c %s "$work/big_dec.wav")
form=$(head -c 4 "$work/big_dec.wav")
echo "input:  $in_bytes bytes, $(head -c 4 "$work/big.wav"); $(echo $in_probe)"
echo "output: $out_bytes bytes, $form; $(echo $out_probe)"
awk -v w="$(( (t1 - t0) / 1000000 ))" -v a="$seconds" \
  'BEGIN {printf "decode: %.1f s wall, %.1f x real time\n", w / 1000, a / (w / 1000)}'
if [ "$in_probe" != "$out_probe" ] || [ "$form" != "RF64" ] || [ "$out_bytes" -le 4294967295 ]; then
  echo "rf64_4gib.sh: the output is not the input's format and length as RF64" >&2
  exit 1
fi
echo "rf64_4gib.sh: ffprobe reads the RF64 output with the input's format and frame count"
