#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Merges the JSON reports of a run over many machines (zorv-parallel.sh,
# zorv-slurm.sh, or any zorv-decode --report) into one report, one line per
# input, and checks every decoded output against its report: the MD5 of the
# audio data of the WAV file at the report's "output" must be the report's
# "md5"; with --inputs, the input's audio data must still be the report's
# "input_md5" (the input is unchanged since it was decoded).
#
#   zorv-check-reports.sh [-o MERGED] [--require-all] [--inputs] REPORT...
#
#   REPORT          report files (JSON Lines) or folders searched for *.jsonl
#   -o FILE         write the merged report to FILE (JSON Lines, sorted by input)
#   --require-all   also fail when an input was not decoded (refused, failed,
#                   interrupted), its output has no checksum (only skipped)
#                   or its decode warned (a non-empty "warnings")
#   --inputs        also check each decoded input against its "input_md5"
#
# Where an input has several records (a job run again), a decode wins over a
# skip, a skip over an interruption, that over a failure and that over a
# refusal; of equals, the one read last. Needs jq, dd and md5sum. Exit
# status: 0 when every decoded output matched its MD5 (with --inputs, every
# input its input_md5; with --require-all, every input was decoded without a
# warning), 1 otherwise, 2 for a usage error.
set -euo pipefail

usage() {
  sed -n '3,/^set -euo/p' "$0" | sed '$d; s/^# \{0,1\}//'
  exit "${1:-2}"
}

merged=""
require_all=0
check_inputs=0
sources=()
while [ $# -gt 0 ]; do
  case $1 in
    -o) merged=$2; shift 2 ;;
    --require-all) require_all=1; shift ;;
    --inputs) check_inputs=1; shift ;;
    -h | --help) usage 0 ;;
    -*) echo "zorv-check-reports.sh: unknown option: $1" >&2; usage ;;
    *) sources+=("$1"); shift ;;
  esac
done
[ ${#sources[@]} -gt 0 ] || { echo "zorv-check-reports.sh: no report given" >&2; usage; }
command -v jq >/dev/null || { echo "zorv-check-reports.sh: jq is missing" >&2; exit 2; }

files=()
for source in "${sources[@]}"; do
  if [ -d "$source" ]; then
    while IFS= read -r -d '' file; do
      # Not the merged report of an earlier check.
      [ -n "$merged" ] && [ "$file" -ef "$merged" ] && continue
      files+=("$file")
    done < <(find "$source" -name '*.jsonl' -type f -print0 | sort -z)
  elif [ -f "$source" ]; then
    files+=("$source")
  else
    echo "zorv-check-reports.sh: no such report: $source" >&2
    exit 2
  fi
done

# One record per input, the best of its attempts. A name that is not UTF-8
# has U+FFFD in "input" for its stray bytes, which two names may share: its
# bytes ("input_bytes", in hex) tell them apart.
records=$(cat "${files[@]}" </dev/null | jq -c -s '
  def rank: {"decoded": 4, "skipped": 3, "interrupted": 2, "failed": 1}[.status] // 0;
  group_by([.input, .input_bytes])
  | map(reduce .[] as $r (null; if . == null or ($r | rank) >= rank then $r else . end))
  | .[]') || { echo "zorv-check-reports.sh: a report is not JSON Lines" >&2; exit 1; }
if [ -n "$merged" ]; then
  printf '%s\n' "$records" | sed '/^$/d' >"$merged.tmp"
  mv "$merged.tmp" "$merged"
fi

u32() { od -An -t u4 -j "$2" -N 4 -- "$1" | tr -d ' \n'; }
u64() { od -An -t u8 -j "$2" -N 8 -- "$1" | tr -d ' \n'; }
id() { dd if="$1" iflag=skip_bytes,count_bytes skip="$2" count=4 status=none; }

# The MD5 of the data chunk's contents of the WAV file $1 (RIFF, RF64, BW64).
data_md5() {
  local file=$1 kind size at name chunk data64=""
  kind=$(id "$file" 0)
  case $kind in RIFF | RF64 | BW64) ;; *) return 1 ;; esac
  [ "$(id "$file" 8)" = WAVE ] || return 1
  size=$(stat -c %s -- "$file")
  at=12
  while [ $((at + 8)) -le "$size" ]; do
    name=$(id "$file" "$at")
    chunk=$(u32 "$file" $((at + 4)))
    if [ "$name" = ds64 ]; then
      data64=$(u64 "$file" $((at + 16)))
    elif [ "$name" = data ]; then
      if [ "$chunk" = 4294967295 ] && [ -n "$data64" ]; then chunk=$data64; fi
      dd if="$file" iflag=skip_bytes,count_bytes skip=$((at + 8)) count="$chunk" bs=1M status=none |
        md5sum | cut -d' ' -f1
      return 0
    fi
    at=$((at + 8 + chunk + chunk % 2))
  done
  return 1
}

# The names come from jq as the hex of their bytes, so that none of them
# (a tab, a backslash, a line feed, bytes that are not UTF-8) is changed on
# the way; $1 is set to the bytes of the hex string $2.
unhex() {
  local hex=$2 escaped="" i
  for ((i = 0; i < ${#hex}; i += 2)); do escaped+="\\x${hex:i:2}"; done
  printf -v "$1" '%b' "$escaped"
}

checked=0 matched=0 bad=0 unverified=0 warned=0 changed=0
declare -A not_decoded=()
while IFS='|' read -r input status output md5 input_md5 warnings; do
  [ -n "$input" ] || continue
  unhex input "$input"
  [ "$output" = null ] || unhex output "$output"
  case $status in
    decoded)
      if [ "$output" = null ] || [ "$md5" = null ]; then
        echo "NO CHECKSUM  $input" >&2
        unverified=$((unverified + 1))
        continue
      fi
      checked=$((checked + 1))
      if [ ! -f "$output" ]; then
        echo "MISSING      $output (of $input)" >&2
        bad=$((bad + 1))
      elif ! actual=$(data_md5 "$output"); then
        echo "NOT A WAV    $output (of $input)" >&2
        bad=$((bad + 1))
      elif [ "$actual" != "$md5" ]; then
        echo "MD5 DIFFERS  $output: $actual, the report says $md5" >&2
        bad=$((bad + 1))
      else
        matched=$((matched + 1))
      fi
      if [ "$warnings" != 0 ]; then
        echo "WARNED       $input ($warnings warnings)" >&2
        warned=$((warned + 1))
      fi
      if [ "$check_inputs" -eq 1 ]; then
        if [ "$input_md5" = null ]; then
          echo "NO CHECKSUM  $input (the report has no input_md5)" >&2
          unverified=$((unverified + 1))
        elif [ ! -f "$input" ] || ! actual=$(data_md5 "$input"); then
          echo "INPUT GONE   $input" >&2
          changed=$((changed + 1))
        elif [ "$actual" != "$input_md5" ]; then
          echo "INPUT DIFFERS $input: $actual, the report says $input_md5" >&2
          changed=$((changed + 1))
        fi
      fi
      ;;
    skipped)
      echo "NO CHECKSUM  $input (only skipped: its decode left no report)" >&2
      unverified=$((unverified + 1))
      ;;
    *)
      echo "NOT DECODED  $input ($status)" >&2
      not_decoded[$status]=$((${not_decoded[$status]:-0} + 1))
      ;;
  esac
done < <(printf '%s\n' "$records" | jq -r '
  def hex2: "0123456789abcdef" as $d | (. / 16 | floor) as $h | $d[$h:$h + 1] + $d[. % 16:. % 16 + 1];
  def utf8: if . < 128 then [.]
    elif . < 2048 then [192 + (. / 64 | floor), 128 + . % 64]
    elif . < 65536 then [224 + (. / 4096 | floor), 128 + (. / 64 | floor) % 64, 128 + . % 64]
    else [240 + (. / 262144 | floor), 128 + (. / 4096 | floor) % 64, 128 + (. / 64 | floor) % 64,
          128 + . % 64] end;
  def hex: [explode[] | utf8[] | hex2] | join("");
  def bytes($name; $given): if $name == null then "null" elif $given != null then $given else $name | hex end;
  select(.input != null)
  | [bytes(.input; .input_bytes), .status, bytes(.output; .output_bytes), (.md5 // "null"),
     (.input_md5 // "null"), ((.warnings // []) | length)] | map(tostring) | join("|")')

summary="$checked outputs checked: $matched match, $bad do not"
[ "$unverified" -eq 0 ] || summary+="; $unverified without a checksum"
[ "$warned" -eq 0 ] || summary+="; $warned with warnings"
[ "$changed" -eq 0 ] || summary+="; $changed inputs changed or gone"
for status in "${!not_decoded[@]}"; do summary+="; ${not_decoded[$status]} $status"; done
echo "$summary"
[ "$bad" -eq 0 ] && [ "$changed" -eq 0 ] || exit 1
if [ "$require_all" -eq 1 ] &&
  { [ "$unverified" -gt 0 ] || [ "$warned" -gt 0 ] || [ ${#not_decoded[@]} -gt 0 ]; }; then
  exit 1
fi
exit 0
