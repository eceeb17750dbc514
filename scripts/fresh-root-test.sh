#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the Debian package into a fresh Debian 12 root (debootstrap,
# minbase) as a new user's machine would, and tries it there: apt-get pulls
# what it needs, zorv-decode decodes and plots a generated WAV file, the
# window decodes one on the offscreen platform, lv2ls lists both plugins,
# man finds both pages, desktop-file-validate and appstreamcli pass; then
# apt-get purge leaves none of the package's files behind.
#
#   scripts/fresh-root-test.sh [PACKAGE.deb]    (as root; default: dist/*.deb,
#                                                built by scripts/package.sh)
#
# Needs the network to the package mirror (the one this machine's apt uses)
# and a few minutes, so it is not part of the normal suite: CI runs it when
# ZORV_FRESH_ROOT_TEST=1.
set -euo pipefail
cd "$(dirname "$0")/.."
[ "$(id -u)" -eq 0 ] || { echo "fresh-root-test.sh: run as root (debootstrap, chroot)" >&2; exit 2; }
deb=${1:-$(find dist -name 'zorv-audio-decoder_*.deb' 2>/dev/null | sort | tail -n 1)}
[ -f "$deb" ] || { echo "fresh-root-test.sh: no package; run scripts/package.sh" >&2; exit 2; }
make_demo=""
for candidate in build-package/tools/zorv-make-demo build/tools/zorv-make-demo; do
  [ -x "$candidate" ] && { make_demo=$candidate; break; }
done
[ -n "$make_demo" ] || { echo "fresh-root-test.sh: no zorv-make-demo built" >&2; exit 2; }
command -v debootstrap >/dev/null || apt-get install -y -qq debootstrap >/dev/null

# The mirror this machine's apt uses, else debootstrap's own.
mirror=$(grep -hoE '^(deb|URIs:) +[^ ]+' /etc/apt/sources.list /etc/apt/sources.list.d/*.sources \
  2>/dev/null | grep -v security | head -n 1 | awk '{print $NF}' || true)

root=$(mktemp -d /var/tmp/zorv-fresh-root.XXXXXX)
chmod 755 "$root"    # a system's root: apt's and man's own users read it
cleanup() {
  umount "$root/proc" 2>/dev/null || true
  rm -rf "$root"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
in_root() { chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LC_ALL=C.UTF-8 "$@"; }

echo "== debootstrap bookworm (minbase) ${mirror:+from $mirror}"
debootstrap --variant=minbase bookworm "$root" ${mirror:+"$mirror"} >"$root.log" 2>&1 ||
  { tail -n 20 "$root.log"; fail "debootstrap"; }
rm -f "$root.log"
mount -t proc proc "$root/proc"
cp "$deb" "$root/tmp/"
"$make_demo" "$root/tmp/in.wav" 5 >/dev/null

echo "== apt-get install ./$(basename "$deb")"
in_root dpkg-query -W | cut -f1 | sort >"$root/tmp/before.txt"
in_root apt-get update -qq
in_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
  "/tmp/$(basename "$deb")" >/dev/null
in_root dpkg-query -W | cut -f1 | sort >"$root/tmp/after.txt"
pulled=$(comm -13 "$root/tmp/before.txt" "$root/tmp/after.txt")
echo "pulled $(wc -l <<<"$pulled") packages: $(tr '\n' ' ' <<<"$pulled")"
! grep -q -- '-dev$' <<<"$pulled" || fail "a development package was pulled"
in_root apt-get check -qq || fail "apt-get check"

echo "== the programs"
in_root zorv-decode --version | grep -q 'License GPL-3.0-or-later' || fail "zorv-decode --version"
in_root zorv-decode -q --report /tmp/report.jsonl --plot /tmp/in.png /tmp/in.wav ||
  fail "zorv-decode in the fresh root"
grep -q '"status":"decoded"' "$root/tmp/report.jsonl" || fail "report: $(cat "$root/tmp/report.jsonl")"
[ -s "$root/tmp/in.png" ] || fail "no plot"
in_root env QT_QPA_PLATFORM=offscreen zorv-audio-decoder --autostart /tmp/window.wav --autoquit \
  /tmp/in.wav >/dev/null || fail "the window's decode"
cmp "$root/tmp/in_dec.wav" "$root/tmp/window.wav" || fail "the window and zorv-decode differ"

echo "== lv2ls, man, desktop-file-validate, appstreamcli"
in_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
  lilv-utils man-db desktop-file-utils appstream >/dev/null
[ "$(in_root lv2ls | grep -c zorv-audio-decoder)" -eq 2 ] || fail "lv2ls: $(in_root lv2ls)"
in_root man -w zorv-decode >/dev/null || fail "man -w zorv-decode"
in_root man -w zorv-audio-decoder >/dev/null || fail "man -w zorv-audio-decoder"
in_root desktop-file-validate /usr/share/applications/zorv-audio-decoder.desktop || fail "desktop entry"
in_root appstreamcli validate --no-net /usr/share/metainfo/org.example.zorv_audio_decoder.metainfo.xml ||
  fail "appstreamcli"

echo "== apt-get purge"
files=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6}' | sed 's|^\./|/|')
in_root env DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq zorv-audio-decoder >/dev/null
left=""
while IFS= read -r file; do [ -e "$root$file" ] && left+=" $file"; done <<<"$files"
for folder in /usr/share/doc/zorv-audio-decoder /usr/share/zorv-audio-decoder; do
  [ -e "$root$folder" ] && left+=" $folder"
done
while IFS= read -r folder; do left+=" ${folder#"$root"}"; done \
  < <(find "$root/usr/lib" -name 'zorv.lv2' -o -name 'zorv-audio-decoder' 2>/dev/null)
[ -z "$left" ] || fail "left behind:$left"
echo "fresh root: installed, decoded, listed, validated and removed without a trace"
