#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The GNU parallel recipe on this machine (--sshlogin :): six inputs, one of
# them refused; the job log, the merged report, every output's MD5; a
# changed output is caught.
#   parallel_recipe_test.sh SOURCE_DIR ZORV_DECODE ZORV_MAKE_DEMO SCRATCH
set -euo pipefail
source_dir=$1 decode=$2 make_demo=$3 work=$4
rm -rf "$work" && mkdir -p "$work/in"
cd "$work"
fail() { echo "FAIL: $*" >&2; exit 1; }

for i in 1 2 3 4 5; do "$make_demo" "in/take$i.wav" 2 2 44100 16 >/dev/null; done
"$make_demo" in/take6.wav 2 1 48000 24 >/dev/null
echo "not a recording" >in/take3.wav      # refused
ls in/*.wav >inputs.list

status=0
ZORV_DECODE=$decode "$source_dir/contrib/zorv-parallel.sh" -S : -j 2 -o out -r reports inputs.list \
  -- -l -12.5 || status=$?
[ "$status" -eq 1 ] || fail "exit status $status, expected 1 (one failed job)"

# The job log: a header and six jobs, one of them failed, all on ":".
[ "$(wc -l <reports/joblog)" -eq 7 ] || fail "joblog: $(cat reports/joblog)"
awk -F'\t' 'NR > 1 && $7 != 0 {n++} END {exit n == 1 ? 0 : 1}' reports/joblog ||
  fail "joblog should have one failure: $(cat reports/joblog)"
grep -q 'take3.wav$' <(awk -F'\t' 'NR > 1 && $7 != 0 {print $9}' reports/joblog) ||
  fail "the failed job is not take3.wav"
# One report per job, in the folder of the machine that ran it.
[ "$(find "reports/$(hostname)" -name '*.jsonl' | wc -l)" -eq 6 ] || fail "six reports expected"

check="$source_dir/contrib/zorv-check-reports.sh"
summary=$("$check" -o merged.jsonl reports 2>errors.txt) || fail "check failed: $summary $(cat errors.txt)"
[ "$summary" = "5 outputs checked: 5 match, 0 do not; 1 refused" ] || fail "summary: $summary"
grep -q "NOT DECODED  $work/in/take3.wav (refused)" errors.txt || fail "$(cat errors.txt)"
[ "$(wc -l <merged.jsonl)" -eq 6 ] || fail "merged: $(cat merged.jsonl)"
[ "$(jq -r .input merged.jsonl)" = "$(sort inputs.list | sed "s|^|$work/|")" ] || fail "merged inputs"
[ "$(jq -r 'select(.status == "decoded") | .reference_level_db' merged.jsonl | sort -u)" = -12.5 ] ||
  fail "the options after -- did not reach the decoder"
for i in 1 2 4 5 6; do [ -f "out/take${i}_dec.wav" ] || fail "out/take${i}_dec.wav missing"; done
# The checker's MD5 is that of the audio data, as ffmpeg hashes it.
expected=$(jq -r 'select(.input | endswith("take6.wav")) | .md5' merged.jsonl)
ffmpeg_md5=$(ffmpeg -v error -i out/take6_dec.wav -map 0:a -c copy -f md5 - | sed 's/^MD5=//')
[ "$expected" = "$ffmpeg_md5" ] || fail "report md5 $expected, ffmpeg $ffmpeg_md5"

# --require-all: the refused input fails the check.
"$check" --require-all reports >/dev/null 2>&1 && fail "--require-all passed with a refused input"

# One byte of an output's audio changed, one output gone: both are found.
printf '\x7f' | dd of=out/take2_dec.wav bs=1 seek=1000 conv=notrunc status=none
rm out/take4_dec.wav
status=0
summary=$("$check" reports 2>errors.txt) || status=$?
[ "$status" -eq 1 ] || fail "a changed output passed the check"
[ "$summary" = "5 outputs checked: 3 match, 2 do not; 1 refused" ] || fail "summary: $summary"
grep -q "MD5 DIFFERS  $work/out/take2_dec.wav" errors.txt || fail "$(cat errors.txt)"
grep -q "MISSING      $work/out/take4_dec.wav" errors.txt || fail "$(cat errors.txt)"
echo "parallel recipe: joblog, merged report and MD5 checks as expected"
