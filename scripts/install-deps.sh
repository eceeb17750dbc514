#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what the build, the package, the tests and the benchmarks need on
# Debian 12.
# Idempotent: packages that are already there are left alone.
#   scripts/install-deps.sh [--web]
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev qt6-base-dev-tools libgl-dev qt6-multimedia-dev
  clang libclang-rt-14-dev clang-format
  libssl-dev libcli11-dev nlohmann-json3-dev libmpfr-dev libflac-dev flac
  sox libsndfile1-dev sndfile-programs ffmpeg mediainfo time
  xvfb xauth imagemagick pulseaudio pulseaudio-utils
  lv2-dev lilv-utils sordi lv2file jalv jackd2
  dpf-source ardour
  gstreamer1.0-tools gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-plugins-bad
  lintian appstream desktop-file-utils man-db gzip shellcheck parallel jq procps
)

# --web: also what the web page needs: the WebAssembly compiler (its system
# libraries come prebuilt with it; node-acorn is its JavaScript optimiser's
# parser) and the browsers its tests drive.
if [ "${1:-}" = --web ]; then
  packages+=(emscripten node-acorn nodejs chromium firefox-esr)
  # Where nodejs brings no npm of its own, Debian's npm.
  command -v npm >/dev/null || packages+=(npm)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  echo "Installing: ${missing[*]}"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
