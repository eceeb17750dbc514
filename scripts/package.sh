#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian package dist/zorv-audio-decoder_VERSION-1_ARCH.deb from
# this source tree (Debian 12): both programs, the plot module, the LV2
# bundle, the VST3 bundle and the CLAP file, the manual pages, the desktop entry, the icon, the AppStream
# metainfo, copyright and changelog; the dependencies found by
# dpkg-shlibdeps. Installs what the build needs first.
#   scripts/package.sh [--install]    (--install: then apt-get install it)
set -euo pipefail
cd "$(dirname "$0")/.."
install=0
case ${1:-} in
  --install) install=1 ;;
  "") ;;
  *) echo "usage: scripts/package.sh [--install]" >&2; exit 2 ;;
esac
scripts/install-deps.sh

build="build-package"
# The distribution's hardening flags (fortified functions, stack
# protector, read-only relocations, immediate binding).
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cxxflags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
ldflags=$(dpkg-buildflags --get LDFLAGS)
rm -f "$build/CMakeCache.txt"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DZORV_WERROR=ON \
  -DCMAKE_INSTALL_PREFIX=/usr -DZORV_BUILD_TESTS=OFF -DZORV_BUILD_BENCH=OFF \
  -DCMAKE_CXX_FLAGS="$cxxflags" -DCMAKE_EXE_LINKER_FLAGS="$ldflags" \
  -DCMAKE_SHARED_LINKER_FLAGS="$ldflags" -DCMAKE_MODULE_LINKER_FLAGS="$ldflags" >/dev/null
cmake --build "$build" -j"$(nproc)"
mkdir -p dist
rm -f dist/zorv-audio-decoder_*.deb
(cd "$build" && cpack -G DEB -B "$PWD/../dist" >cpack.log) || { cat "$build/cpack.log" >&2; exit 1; }
rm -rf dist/_CPack_Packages
deb=$(ls dist/zorv-audio-decoder_*.deb)
echo "$deb: $(du -h "$deb" | cut -f1)"
dpkg-deb -f "$deb" Depends
if command -v lintian >/dev/null; then lintian "$deb" || true; fi
if [ "$install" -eq 1 ]; then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO apt-get install -y "./$deb"
fi
