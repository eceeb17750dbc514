#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The Debian package made from the build tree (cpack): its name, what it
# holds and where, its dependencies, and lintian without errors.
#   package_test.sh BUILD_DIR SCRATCH
set -euo pipefail
build=$1 work=$2
fail() { echo "FAIL: $*" >&2; exit 1; }
rm -rf "$work" && mkdir -p "$work"
cpack --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log" 2>&1 ||
  fail "cpack: $(cat "$work/cpack.log")"
shopt -s nullglob
debs=("$work"/zorv-audio-decoder_*_amd64.deb "$work"/zorv-audio-decoder_*_arm64.deb)
[ ${#debs[@]} -eq 1 ] || fail "one package expected: $(ls "$work")"
deb=${debs[0]}
version=$(dpkg-deb -f "$deb" Version)
[[ $(basename "$deb") == zorv-audio-decoder_${version}_$(dpkg --print-architecture).deb ]] ||
  fail "file name $(basename "$deb") for version $version"
[[ $version == *-1 ]] || fail "version $version has no Debian revision 1"

contents=$(dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./|/|')
for path in /usr/bin/zorv-decode /usr/bin/zorv-audio-decoder \
  /usr/share/man/man1/zorv-decode.1.gz /usr/share/man/man1/zorv-audio-decoder.1.gz \
  /usr/share/applications/zorv-audio-decoder.desktop \
  /usr/share/icons/hicolor/scalable/apps/zorv-audio-decoder.svg \
  /usr/share/metainfo/org.example.zorv_audio_decoder.metainfo.xml \
  /usr/share/doc/zorv-audio-decoder/copyright /usr/share/doc/zorv-audio-decoder/changelog.Debian.gz \
  /usr/share/bash-completion/completions/zorv-decode \
  /usr/share/zorv-audio-decoder/help/helpnaltZorvaudiodecoder.htm; do
  grep -qx -- "$path" <<<"$contents" || fail "$path is not in the package"
done
# The plugin bundle in a folder that LV2 hosts search, the plot module
# where the installed zorv-decode looks for it (its library folder).
grep -Eqx '/usr/lib(/[a-z0-9_]+-linux-gnu)?/lv2/zorv.lv2/(zorv.so|manifest.ttl|zorv.ttl)' <<<"$contents" ||
  fail "no LV2 bundle in the system LV2 folder"
[ "$(grep -Ec '^/usr/lib(/[a-z0-9_]+-linux-gnu)?/lv2/zorv.lv2/(zorv.so|manifest.ttl|zorv.ttl)$' <<<"$contents")" -eq 3 ] ||
  fail "the bundle is incomplete"
# The VST3 bundle and the CLAP file where VST3 and CLAP hosts look.
grep -qx "/usr/lib/vst3/zorv.vst3/Contents/$(uname -m)-linux/zorv.so" <<<"$contents" ||
  fail "no VST3 bundle in /usr/lib/vst3"
grep -qx /usr/lib/clap/zorv.clap <<<"$contents" || fail "no CLAP file in /usr/lib/clap"
grep -Eqx '/usr/lib(/[a-z0-9_]+-linux-gnu)?/zorv-audio-decoder/zorv-decode-plot.so' <<<"$contents" ||
  fail "no plot module"
dpkg-deb -x "$deb" "$work/root"
zcat "$work/root/usr/share/doc/zorv-audio-decoder/changelog.Debian.gz" | head -n 1 |
  grep -qF "zorv-audio-decoder ($version)" || fail "the changelog's first entry is not $version"
# Nothing compiled for the build tree: no RPATH into it.
if readelf -d "$work/root/usr/bin/zorv-decode" | grep -q 'R\(UN\)\?PATH'; then fail "zorv-decode has an RPATH"; fi

depends=$(dpkg-deb -f "$deb" Depends)
for library in libc6 libstdc++6 libqt6widgets6 libqt6gui6 libqt6core6 libqt6multimedia6; do
  grep -q "\b$library\b" <<<"$depends" || fail "Depends lacks $library: $depends"
done

lintian --tag-display-limit 0 "$deb" >"$work/lintian.txt" 2>&1 || true
cat "$work/lintian.txt"
if grep -q '^E: ' "$work/lintian.txt"; then fail "lintian reports errors"; fi
grep -q 'zorv-audio-decoder' "$work/lintian.txt" ||
  [ ! -s "$work/lintian.txt" ] || fail "lintian did not run: $(cat "$work/lintian.txt")"
echo "package: $(basename "$deb"), $(stat -c %s "$deb") bytes; Depends: $depends"
