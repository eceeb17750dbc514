#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds and runs every test: the normal build, the AddressSanitizer +
# UndefinedBehaviorSanitizer build, the threaded decoder under ThreadSanitizer,
# the web page (WebAssembly, in Chromium and Firefox) and the fuzzers (the
# WAV reader, the whole decode in memory).
# Installs what it needs first (Debian 12).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh --web

export QT_QPA_PLATFORM=offscreen
jobs=$(nproc)

echo "== normal build (with the benchmarks, so that they keep building)"
scripts/build.sh build -DZORV_BUILD_BENCH=ON
ctest --test-dir build -j"$jobs" --output-on-failure

echo "== AddressSanitizer + UndefinedBehaviorSanitizer build"
scripts/build.sh build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZORV_SANITIZE=ON -DZORV_BUILD_BENCH=OFF
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-asan -j"$jobs" --output-on-failure

# Without --plot: the decoder, the reader and writer, the decode run and
# zorv-decode need no Qt. The window is built too: its decode runs on a
# thread of its own (Qt's own threads are left out by the suppressions; a
# test that starts zorv-decode forks while the window's threads run).
echo "== ThreadSanitizer build: the decoder's channel threads, zorv-decode's jobs, the window's run"
scripts/build.sh build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZORV_SANITIZE_THREAD=ON \
  -DZORV_BUILD_PLOT=OFF -DZORV_BUILD_BENCH=OFF
TSAN_OPTIONS=halt_on_error=1 ctest --test-dir build-tsan -j"$jobs" --output-on-failure -L threads
TSAN_OPTIONS="halt_on_error=1 die_after_fork=0 suppressions=$PWD/tests/support/tsan-qt.supp" \
  ctest --test-dir build-tsan -j"$jobs" --output-on-failure \
  -R '^(WindowRun|WindowQueue|WindowChannelLevels|WindowTrialRuns|WindowListen|WindowMeasure)\.'

# The page: the WebAssembly core under Node and the page in headless
# Chromium and Firefox, each against zorv-decode of the normal build.
echo "== the web page: WebAssembly core under Node, the page in Chromium and Firefox"
scripts/web.sh test

if [ -x scripts/fuzz.sh ]; then
  echo "== fuzzing the WAV reader and the whole decode"
  scripts/fuzz.sh
fi
echo "All tests passed."
