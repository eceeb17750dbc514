#!/usr/bin/env bash
# Builds the program and runs its main job: the desktop window when a display
# is available, otherwise the command-line decoder on a generated demo file.
# Installs what it needs first (Debian 12).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh build

if [ -x build/bench/zorv_calc_bench ] && [ ! -x build/cli/zorv-decode ]; then
  # Until the decoder has a front end: the decoder core's benchmark.
  exec build/bench/zorv_calc_bench
fi
