#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The GNU parallel recipe killed during its run (every process of it, with
# SIGKILL), then resumed with --resume: only the jobs that had not ended
# well run again, the finished outputs stay as they were, and the merged
# report checks out.
#   parallel_resume_test.sh SOURCE_DIR ZORV_DECODE ZORV_MAKE_DEMO SCRATCH
set -euo pipefail
source_dir=$1 decode=$2 make_demo=$3 work=$4
rm -rf "$work" && mkdir -p "$work/in"
cd "$work"
fail() { echo "FAIL: $*" >&2; exit 1; }

for i in 1 2 3 4 5 6; do "$make_demo" "in/tape$i.wav" 30 2 48000 24 >/dev/null; done
echo "not a recording" >in/tape2.wav      # refused
ls in/*.wav >inputs.list
recipe=("$source_dir/contrib/zorv-parallel.sh" -S : -j 1 -o out -r reports inputs.list)
export ZORV_DECODE=$decode

# The first run, killed once two jobs have ended.
setsid "${recipe[@]}" >first.log 2>&1 &
leader=$!
for _ in $(seq 1 600); do
  [ -f reports/joblog ] && [ "$(wc -l <reports/joblog)" -ge 3 ] && break
  kill -0 "$leader" 2>/dev/null || break
  sleep 0.05
done
# GNU parallel runs each job in a process group of its own, in the session
# setsid began: the whole session, so that no job outlives the kill and
# makes its output while the resumed run works.
pkill -KILL -s "$leader" 2>/dev/null || true
wait "$leader" 2>/dev/null || true
for _ in $(seq 1 100); do pgrep -s "$leader" >/dev/null || break; sleep 0.05; done

# What the job log has as done, and what exists.
done_before=$(awk -F'\t' 'NR > 1 && $7 == 0 {print $9}' reports/joblog | sed 's|.*/||; s|\.wav$||' | sort)
existing=()
for i in 1 3 4 5 6; do [ -f "out/tape${i}_dec.wav" ] && existing+=("tape$i"); done
[ ${#existing[@]} -lt 5 ] || fail "the run ended before it was killed; nothing to resume"
[ -n "$done_before" ] || fail "no job had ended before the kill"
stamps=$(cd out && stat -c '%n %i %Y' -- "${existing[@]/%/_dec.wav}")
jobs_before=$(($(wc -l <reports/joblog) - 1))
find reports -name '*.jsonl' | sort >reports_before.txt
find out -name '*.incomplete-*' -delete

status=0
"${recipe[@]}" --resume >second.log 2>&1 || status=$?
[ "$status" -eq 1 ] || fail "resume: exit status $status, expected 1 (the refused input); $(cat second.log)"

# The jobs run again: every one that had not ended well, the refused one too.
rerun=$(tail -n +$((jobs_before + 2)) reports/joblog | awk -F'\t' '{print $9}' | sed 's|.*/||; s|\.wav$||' | sort)
expected=$(for i in 1 2 3 4 5 6; do echo "tape$i"; done | grep -vxF -f <(echo "$done_before") || true)
[ "$rerun" = "$expected" ] || fail "resumed jobs: [$rerun], expected [$expected]"
# Decoded by them: exactly the outputs that did not exist.
missing=$(for i in 1 3 4 5 6; do [[ " ${existing[*]} " == *" tape$i "* ]] || echo "tape$i"; done)
decoded_now=$(find reports -name '*.jsonl' | sort | comm -13 reports_before.txt - | xargs -r cat |
  jq -r 'select(.status == "decoded") | .input' | sed 's|.*/||; s|\.wav$||' | sort)
[ "$decoded_now" = "$missing" ] || fail "the resumed run decoded [$decoded_now], missing were [$missing]"
[ "$(cd out && stat -c '%n %i %Y' -- "${existing[@]/%/_dec.wav}")" = "$stamps" ] ||
  fail "an output of the first run was touched"

summary=$("$source_dir/contrib/zorv-check-reports.sh" -o merged.jsonl reports 2>errors.txt) ||
  fail "check: $summary $(cat errors.txt)"
[ "$summary" = "5 outputs checked: 5 match, 0 do not; 1 refused" ] || fail "summary: $summary"
# Each input decoded once: no output was decoded in both runs.
[ "$(cat reports/*/*.jsonl | jq -r 'select(.status == "decoded") | .input' | sort | uniq -d)" = "" ] ||
  fail "an input was decoded twice"
echo "resume: ran again [$(echo "$rerun" | tr '\n' ' ')], decoded [$(echo "$decoded_now" | tr '\n' ' ')]"
