#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The recipes for many machines on names that a careless script mangles: run
# from a folder whose path holds "\t", over inputs with a backslash, a tab
# and bytes that are not UTF-8 in their names (two of them alike but for
# those bytes). Every input is decoded, every output checked against its
# own report, and a changed output is told from its look-alike.
#   hostile_names_test.sh SOURCE_DIR ZORV_DECODE ZORV_MAKE_DEMO SCRATCH
set -euo pipefail
source_dir=$1 decode=$2 make_demo=$3 work=$4
rm -rf "$work" && mkdir -p "$work/folder\\twith\\nescapes"
cd "$work/folder\\twith\\nescapes"
fail() { echo "FAIL: $*" >&2; exit 1; }

names=('back\slash.wav' $'tab\there.wav' $'stray\xff.wav' $'stray\xfe.wav' 'plain.wav')
for i in "${!names[@]}"; do
  "$make_demo" "${names[$i]}" $((1 + i % 2)) 2 44100 16 >/dev/null
done
printf '%s\n' "${names[@]}" >inputs.list

ZORV_DECODE=$decode "$source_dir/contrib/zorv-parallel.sh" -S : -j 2 -o out -r reports inputs.list ||
  fail "zorv-parallel.sh: exit status $?"
for name in "${names[@]}"; do
  [ -f "out/${name%.wav}_dec.wav" ] || fail "no output for $(printf '%q' "$name")"
done

check="$source_dir/contrib/zorv-check-reports.sh"
summary=$("$check" --inputs --require-all -o merged.jsonl reports 2>errors.txt) ||
  fail "check failed: $summary $(cat errors.txt)"
[ "$summary" = "5 outputs checked: 5 match, 0 do not" ] || fail "summary: $summary $(cat errors.txt)"
[ "$(wc -l <merged.jsonl)" -eq 5 ] || fail "merged: $(cat merged.jsonl)"

# One byte of one look-alike's audio changed: that one, not the other.
printf '\x7f' | dd of=$'out/stray\xfe_dec.wav' bs=1 seek=1000 conv=notrunc status=none
status=0
summary=$("$check" reports 2>errors.txt) || status=$?
[ "$status" -eq 1 ] || fail "a changed output passed the check"
[ "$summary" = "5 outputs checked: 4 match, 1 do not" ] || fail "summary: $summary"
LC_ALL=C grep -qF "MD5 DIFFERS  $PWD/out/stray"$'\xfe'"_dec.wav: " errors.txt || fail "$(cat errors.txt)"
echo "hostile names: decoded, merged and checked as expected"
