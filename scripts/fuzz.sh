#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Fuzzes with libFuzzer under AddressSanitizer and UBSan: the WAV reader
# alone, then the whole decode (reader, conversion, decoder, writer) of a
# file in memory into memory.
#
#   scripts/fuzz.sh [SECONDS]        (default 30 for each; run from anywhere)
#
# Configures build-fuzz with clang++ and -DZORV_FUZZ=ON, builds the fuzz
# targets, writes a seed corpus of small WAV files (the project's own seed
# generator, plus files made by sox when it is installed), and runs each
# fuzz target for SECONDS. Exits non-zero on any crash, sanitizer report or
# fuzzer error; the logs and any crashing input stay in build-fuzz/fuzz-out.
set -euo pipefail

seconds="${1:-30}"
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$root/build-fuzz"
out="$build/fuzz-out"
corpus="$out/corpus"
seeds="$out/seeds"

CXX=clang++ cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DZORV_FUZZ=ON -DZORV_WERROR=ON -DZORV_BUILD_GUI=OFF -DZORV_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" --target wav_reader_fuzz decode_fuzz wav_fuzz_seeds -j2

rm -rf "$seeds"
mkdir -p "$seeds" "$corpus/reader" "$corpus/decode"
"$build/tests/wav/wav_fuzz_seeds" "$seeds"
if command -v sox >/dev/null 2>&1; then
  for format in "1 16 44100" "2 16 48000" "2 24 96000" "2 32 44100" "1 16 32000" "2 24 192000"; do
    read -r channels bits rate <<<"$format"
    sox -n -r "$rate" -c "$channels" -b "$bits" -e signed-integer \
      "$seeds/sox_${channels}ch_${bits}bit_${rate}.wav" synth 0.002 sine 440
  done
  sox -n -r 48000 -c 2 -b 32 -e floating-point "$seeds/sox_float.wav" synth 0.002 sine 440
fi

cat >"$out/wav.dict" <<'EOF'
"RIFF"
"WAVE"
"fmt "
"data"
"LIST"
"RF64"
"BW64"
"ds64"
"bext"
"fact"
"MD5 "
"JUNK"
"iXML"
"\xff\xff\xff\xff"
"\xfe\xff"
"\x00\x00\x00\x00\x10\x00\x80\x00\x00\xaa\x00\x38\x9b\x71"
EOF

status=0
for entry in wav/wav_reader_fuzz:reader app/decode_fuzz:decode; do
  program="${entry%%:*}"
  target="${program##*/}"
  log="$out/$target.log"
  result=0
  (cd "$out" && "$build/tests/$program" "$corpus/${entry##*:}" "$seeds" \
    -dict="$out/wav.dict" -max_total_time="$seconds" -max_len=65536 \
    -timeout=10 -rss_limit_mb=1024 -print_final_stats=1) >"$log" 2>&1 || result=$?
  echo "== $target"
  tail -n 15 "$log"
  if [ "$result" -ne 0 ] || grep -qE 'ERROR: (AddressSanitizer|UndefinedBehaviorSanitizer|libFuzzer)|runtime error:|SUMMARY: ' "$log"; then
    echo "fuzz.sh: $target failed under the fuzzer (exit $result); see $log" >&2
    status=1
  fi
done
[ "$status" -eq 0 ] || exit 1
echo "fuzz.sh: no failure in ${seconds} s per target"
