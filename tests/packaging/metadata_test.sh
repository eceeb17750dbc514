#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# What desktops and software centres read: the AppStream metainfo (strict
# validation, no network) and the desktop entry; and the licence and the
# one version in what both programs and the build show.
#   metadata_test.sh METAINFO DESKTOP_ENTRY ZORV_DECODE [ZORV_AUDIO_DECODER]
set -euo pipefail
metainfo=$1 desktop=$2 decode=$3 window=${4:-}
fail() { echo "FAIL: $*" >&2; exit 1; }

appstreamcli validate --no-net --pedantic "$metainfo" || fail "appstreamcli"
desktop-file-validate "$desktop" || fail "desktop-file-validate"
grep -qx 'Exec=zorv-audio-decoder %F' "$desktop" || fail "Exec does not take several files"
id=$(basename "$metainfo" .metainfo.xml)
grep -q "<id>$id</id>" "$metainfo" || fail "the file name is not the id $id"
grep -q '<project_license>GPL-3.0-or-later</project_license>' "$metainfo" || fail "licence"

version=$("$decode" --version | head -n 1 | sed 's/^zorv-decode //')
grep -q "<release version=\"$version\"" "$metainfo" || fail "the release is not $version"
for program in "$decode" $window; do
  out=$("$program" --version)
  grep -qx "$(basename "$program") $version" <<<"$(head -n 1 <<<"$out")" || fail "$program: $out"
  grep -qx 'License GPL-3.0-or-later: GNU GPL version 3 or later <https://www.gnu.org/licenses/gpl.html>.' \
    <<<"$out" || fail "$program names no licence: $out"
done
echo "metainfo, desktop entry and --version of version $version"
