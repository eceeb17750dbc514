#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
#SBATCH --job-name=zorv-decode
#SBATCH --cpus-per-task=4
#SBATCH --mem=2G
#SBATCH --time=04:00:00
#SBATCH --output=zorv-decode-%A_%a.log
#
# Decodes a list of WAV files as a Slurm job array: one array task per chunk
# of the list, each a zorv-decode of its chunk's inputs with a report of its
# own in a folder per machine.
#
#   zorv-slurm.sh LIST OUTPUT-DIR REPORT-DIR [CHUNK]      (submits the array)
#
#   LIST        the inputs, one path a line (absolute, or relative to the
#               folder sbatch is called from, where the tasks start)
#   OUTPUT-DIR  where the outputs go, a folder every node sees
#   REPORT-DIR  the reports: REPORT-DIR/NODE/ARRAYJOB_TASK.jsonl
#   CHUNK       inputs per array task (default 100)
#
#   ZORV_SLURM_ARRAY  the tasks to submit instead of all of them, for
#                     instance the failed ones of an earlier array ("3,17");
#                     a task run again skips the outputs that exist
#   ZORV_SLURM_LIMIT  tasks running at once (default 50)
#   ZORV_DECODE       the decoder on the nodes (default zorv-decode)
#
# Options of sbatch (partition, account, time) go on its command line or in
# SBATCH_* variables. Inside the array each task (SLURM_ARRAY_TASK_ID)
# decodes lines TASK x CHUNK + 1 .. (TASK + 1) x CHUNK of LIST. Then:
# zorv-check-reports.sh -o merged.jsonl REPORT-DIR
set -euo pipefail

usage() {
  echo "usage: zorv-slurm.sh LIST OUTPUT-DIR REPORT-DIR [CHUNK]" >&2
  exit 2
}

if [ $# -lt 3 ] || [ $# -gt 4 ]; then usage; fi
list=$1 out_dir=$2 reports=$3 chunk=${4:-100}
case $chunk in '' | *[!0-9]* | 0) echo "zorv-slurm.sh: CHUNK must be a positive number" >&2; usage ;; esac
[ -r "$list" ] || { echo "zorv-slurm.sh: cannot read $list" >&2; exit 2; }

if [ -z "${SLURM_ARRAY_TASK_ID:-}" ]; then
  # Submission: one task per chunk of the list.
  lines=$(grep -c . "$list" || true)
  [ "$lines" -gt 0 ] || { echo "zorv-slurm.sh: $list names no input" >&2; exit 2; }
  tasks=$(((lines + chunk - 1) / chunk))
  array=${ZORV_SLURM_ARRAY:-0-$((tasks - 1))}
  mkdir -p "$reports"
  exec sbatch --array="$array%${ZORV_SLURM_LIMIT:-50}" "$0" "$list" "$out_dir" "$reports" "$chunk"
fi

# One array task: its chunk of the (non-empty) lines of the list.
task=$SLURM_ARRAY_TASK_ID
first=$((task * chunk + 1))
last=$(((task + 1) * chunk))
mapfile -t inputs < <(grep . "$list" | sed -n "${first},${last}p")
if [ ${#inputs[@]} -eq 0 ]; then
  echo "zorv-slurm.sh: task $task has no inputs (the list has fewer than $first)" >&2
  exit 0
fi
node=$(hostname)
mkdir -p "$reports/$node"
# A task run again (a new array, or a requeue) keeps the earlier reports.
report="$reports/$node/${SLURM_ARRAY_JOB_ID:-0}_${task}.${SLURM_RESTART_COUNT:-0}.jsonl"
# The task's cores decode its inputs, one at a time each.
export ZORV_WORKERS=${ZORV_WORKERS:-0}
exec "${ZORV_DECODE:-zorv-decode}" -q --skip-existing -j "${SLURM_CPUS_PER_TASK:-1}" \
  -d "$out_dir" --report "$report" "${inputs[@]}"
