# SPDX-License-Identifier: GPL-3.0-or-later
# shellcheck shell=bash
# The measuring of the whole-file benchmarks, sourced by them: each sets
# work (a scratch folder) and runs (the runs a median is taken of) first.
# shellcheck disable=SC2154

# Runs a command once; prints "wall_s cpu_s peak_kib switches" (voluntary
# context switches: each is a thread that went to sleep).
measure_once() {
  local t0 t1 user system peak switches
  t0=$(date +%s%N)
  # A command that fails is no figure: the script stops.
  if ! /usr/bin/time -f "%U %S %M %w" -o "$work/time.txt" "$@" >/dev/null 2>&1; then
    echo "failed: $*" >&2
    return 1
  fi
  t1=$(date +%s%N)
  read -r user system peak switches <"$work/time.txt"
  awk -v d=$((t1 - t0)) -v u="$user" -v s="$system" -v p="$peak" -v w="$switches" \
    'BEGIN {printf "%.4f %.2f %s %s\n", d / 1e9, u + s, p, w}'
}

# The medians of each column of the lines on stdin.
medians() {
  local lines mid
  lines=$(cat)
  mid=$(((runs + 1) / 2))
  for col in 1 2 3 4; do
    printf '%s ' "$(awk -v c=$col '{print $c}' <<<"$lines" | sort -g | sed -n "${mid}p")"
  done
  echo
}

# Runs a command $runs times; prints the medians "wall_s cpu_s peak_kib switches".
measure() {
  for _ in $(seq "$runs"); do measure_once "$@" || return 1; done | medians
}
