#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the program and runs its main job: the desktop window when a display
# is available, otherwise zorv-decode on a generated demo recording.
# Installs what it needs first (Debian 12).
#   scripts/run.sh [FILE.wav]     (the window opens FILE.wav as its input)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
# Only what is run: the window, the command-line decoder and the demo maker
# (the tests and the benchmarks are built by scripts/test.sh).
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DZORV_WERROR=ON >/dev/null
cmake --build build -j"$(nproc)" --target zorv-audio-decoder zorv-decode zorv-make-demo

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -x build/app/desktop/zorv-audio-decoder ]; then
  exec build/app/desktop/zorv-audio-decoder "$@"
fi

echo "No display: decoding a demo recording with the command-line decoder."
mkdir -p out
build/tools/zorv-make-demo out/demo.wav 20
build/cli/zorv-decode -f out/demo.wav
sox --i out/demo_dec.wav 2>/dev/null || true
echo "Decoded: out/demo_dec.wav"
