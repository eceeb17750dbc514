#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The bash completion of zorv-decode offers every long option of the
# program's usage and no other, the values of --debug-band, --format and
# --level, and WAV and FLAC files (not other files) as inputs and outputs.
#   completion_test.sh COMPLETION_FILE ZORV_DECODE SCRATCH
set -euo pipefail
completion=$1 decode=$2 work=$3
fail() { echo "FAIL: $*" >&2; exit 1; }
rm -rf "$work" && mkdir -p "$work/sub" && cd "$work"
touch a.wav b.WAV c.flac notes.txt plot.png
# shellcheck source=/dev/null
source "$completion"
complete_line() {
  COMP_WORDS=("$@")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMPREPLY=()
  _zorv_decode
  printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' ' '
}

usage=$("$decode" --help | grep -o -- '--[a-z][a-z-]*' | sort -u | tr '\n' ' ')
offered=$(complete_line zorv-decode -- | tr ' ' '\n' | grep -- '^--' | sort -u | tr '\n' ' ')
[ "$offered" = "$usage" ] || fail "offered [$offered], the usage has [$usage]"
[ "$(complete_line zorv-decode --debug-band '')" = "A B C D " ] || fail "--debug-band"
[ "$(complete_line zorv-decode -l t)" = "tone " ] || fail "-l t"
[ "$(complete_line zorv-decode '')" = "a.wav b.WAV c.flac sub " ] || fail "inputs: $(complete_line zorv-decode '')"
[ "$(complete_line zorv-decode -o '')" = "a.wav b.WAV c.flac sub " ] || fail "-o: $(complete_line zorv-decode -o '')"
[ "$(complete_line zorv-decode --format '')" = "flac wav " ] || fail "--format"
[ "$(complete_line zorv-decode --plot '')" = "plot.png sub " ] || fail "--plot"
[ "$(complete_line zorv-decode -d '')" = "sub " ] || fail "-d"
echo "completion: $(echo "$usage" | wc -w) options"
