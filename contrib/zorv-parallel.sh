#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Decodes a list of WAV files on several machines with GNU parallel: one input
# is one job, run over ssh on the machines given (":" is this one). Every job
# writes its own JSON report into a folder per machine, and GNU parallel keeps
# a job log, so that a run that was stopped or had failures is resumed with
# --resume, which runs again only the jobs that failed or never ended.
#
#   zorv-parallel.sh [options] LIST [-- ZORV-DECODE OPTIONS...]
#
#   LIST                     the inputs, one path a line (relative paths are
#                            taken from the current folder)
#   -S, --sshlogin LOGINS    the machines, as GNU parallel's --sshlogin:
#                            "4/user@host1,host2,:" (default ":", this machine)
#       --sshloginfile FILE  the machines, one login a line
#   -o, --output-dir DIR     where the outputs go (default: decoded), a folder
#                            that every machine sees at the same path
#       --per-host           the outputs go into DIR/HOST instead, a folder per
#                            machine (on its own disk or a shared one)
#   -r, --reports DIR        the reports, DIR/HOST/JOB.PID.jsonl, and the job
#                            log DIR/joblog (default: reports)
#   -j, --jobs N             jobs at once on each machine (default: one per
#                            core; each job then decodes on one thread)
#       --resume             run again what failed or never ended in the job
#                            log (GNU parallel's --resume-failed)
#
# Paths must be the same on every machine (a shared file system). The
# decoder is ZORV_DECODE (default zorv-decode) on each machine. Exit status:
# GNU parallel's, the number of failed jobs (0 when all were decoded or
# skipped). Then: zorv-check-reports.sh -o merged.jsonl DIR
set -euo pipefail

usage() {
  sed -n '3,/^set -euo/p' "$0" | sed '$d; s/^# \{0,1\}//'
  exit "${1:-2}"
}

logins=":"
login_file=""
out_dir="decoded"
per_host=0
reports="reports"
jobs=""
resume=0
list=""
extra=()
while [ $# -gt 0 ]; do
  case $1 in
    -S | --sshlogin) logins=$2; shift 2 ;;
    --sshloginfile) login_file=$2; shift 2 ;;
    -o | --output-dir) out_dir=$2; shift 2 ;;
    --per-host) per_host=1; shift ;;
    -r | --reports) reports=$2; shift 2 ;;
    -j | --jobs) jobs=$2; shift 2 ;;
    --resume) resume=1; shift ;;
    -h | --help) usage 0 ;;
    --) shift; extra=("$@"); break ;;
    -*) echo "zorv-parallel.sh: unknown option: $1" >&2; usage ;;
    *) [ -z "$list" ] || { echo "zorv-parallel.sh: one LIST only" >&2; usage; }
       list=$1; shift ;;
  esac
done
[ -n "$list" ] || { echo "zorv-parallel.sh: no LIST given" >&2; usage; }
[ -r "$list" ] || { echo "zorv-parallel.sh: cannot read $list" >&2; exit 2; }
command -v parallel >/dev/null || { echo "zorv-parallel.sh: GNU parallel is missing" >&2; exit 2; }

absolute() { case $1 in /*) printf '%s\n' "$1" ;; *) printf '%s\n' "$PWD/$1" ;; esac; }
# The list with every relative path taken from the current folder. The
# folder goes to awk through its environment: -v would read "\t" in it as
# a tab.
absolute_list() {
  ZORV_PWD=$PWD awk '/^\// {print; next} NF {print ENVIRON["ZORV_PWD"] "/" $0}' "$1"
}
out_dir=$(absolute "$out_dir")
reports=$(absolute "$reports")
mkdir -p "$reports"
# The jobs run in the login's home folder on other machines: absolute inputs.
inputs="$reports/inputs.list"
if [ "$resume" -eq 1 ] && [ -f "$inputs" ]; then
  # The same jobs in the same order as the run that is resumed.
  cmp -s <(absolute_list "$list") "$inputs" || {
    echo "zorv-parallel.sh: $list is not the list of the run in $reports" >&2
    exit 2
  }
else
  absolute_list "$list" >"$inputs"
fi

decode=${ZORV_DECODE:-zorv-decode}
# Evaluated by each job on its machine.
# shellcheck disable=SC2016
host='$(hostname)'
target=$out_dir
[ "$per_host" -eq 0 ] || target="$out_dir/$host"
# One job: the machine's report folder, then the decode of one input into
# its own report (named by job number and process, so that a job run again
# keeps the report of the earlier attempt).
job="mkdir -p $(printf '%q' "$reports")/$host $(printf '%q' "$out_dir")"
job+=" && ZORV_WORKERS=\${ZORV_WORKERS:-0} exec $(printf '%q' "$decode") -q --skip-existing"
job+=" -d $(printf '%q' "$out_dir")${target#"$out_dir"}"
job+=" --report $(printf '%q' "$reports")/$host/{#}.\$\$.jsonl"
for option in "${extra[@]}"; do job+=" $(printf '%q' "$option")"; done
job+=" {}"

options=(--will-cite --joblog "$reports/joblog" --arg-file "$inputs")
if [ -n "$login_file" ]; then
  options+=(--sshloginfile "$login_file")
else
  options+=(--sshlogin "$logins")
fi
[ -z "$jobs" ] || options+=(--jobs "$jobs")
[ "$resume" -eq 0 ] || options+=(--resume-failed)
exec parallel "${options[@]}" "$job"
