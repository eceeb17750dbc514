#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The Slurm recipe without Slurm: the submission with a stand-in for sbatch
# (the array it asks for), then each array task run here with the variables
# Slurm sets; the chunks cover the list once, and the merged report checks.
#   slurm_recipe_test.sh SOURCE_DIR ZORV_DECODE ZORV_MAKE_DEMO SCRATCH
set -euo pipefail
source_dir=$1 decode=$2 make_demo=$3 work=$4
rm -rf "$work" && mkdir -p "$work/in" "$work/bin"
cd "$work"
fail() { echo "FAIL: $*" >&2; exit 1; }
script="$source_dir/contrib/zorv-slurm.sh"

for i in 1 2 3 4 5 6 7; do "$make_demo" "in/reel$i.wav" 1 1 44100 16 >/dev/null; done
{ ls in/*.wav; echo; } >inputs.list          # a blank line is not an input

# Submission: seven inputs in chunks of three are tasks 0-2.
cat >bin/sbatch <<'SBATCH'
#!/bin/sh
printf '%s\n' "$@" >"$SBATCH_RECORD"
SBATCH
chmod +x bin/sbatch
PATH="$work/bin:$PATH" SBATCH_RECORD=$work/sbatch.args "$script" inputs.list out reports 3
[ "$(head -n 1 sbatch.args)" = "--array=0-2%50" ] || fail "sbatch: $(cat sbatch.args)"
[ "$(sed -n 2p sbatch.args)" = "$script" ] || fail "sbatch runs $(sed -n 2p sbatch.args)"
PATH="$work/bin:$PATH" SBATCH_RECORD=$work/sbatch.args ZORV_SLURM_ARRAY=1 ZORV_SLURM_LIMIT=4 \
  "$script" inputs.list out reports 3
[ "$(head -n 1 sbatch.args)" = "--array=1%4" ] || fail "sbatch: $(cat sbatch.args)"

# The tasks, as Slurm runs them (task 1 twice: the second skips).
for task in 0 1 2 1; do
  SLURM_ARRAY_TASK_ID=$task SLURM_ARRAY_JOB_ID=77 SLURM_CPUS_PER_TASK=2 \
    SLURM_RESTART_COUNT=$([ -f "reports/$(hostname)/77_$task.0.jsonl" ] && echo 1 || echo 0) \
    ZORV_DECODE=$decode "$script" inputs.list out reports 3
done
SLURM_ARRAY_TASK_ID=3 SLURM_ARRAY_JOB_ID=77 "$script" inputs.list out reports 3 2>task3.txt
grep -q "task 3 has no inputs" task3.txt || fail "task 3: $(cat task3.txt)"

[ "$(jq -r .input "reports/$(hostname)/77_0.0.jsonl" | sed 's|.*/||' | tr '\n' ' ')" = \
  "reel1.wav reel2.wav reel3.wav " ] || fail "task 0's chunk"
[ "$(jq -r .status "reports/$(hostname)/77_1.1.jsonl" | sort -u)" = skipped ] || fail "task 1 again"
summary=$("$source_dir/contrib/zorv-check-reports.sh" --require-all -o merged.jsonl reports) ||
  fail "check: $summary"
[ "$summary" = "7 outputs checked: 7 match, 0 do not" ] || fail "summary: $summary"
echo "slurm recipe: three tasks cover the seven inputs once"
