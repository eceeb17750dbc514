#!/usr/bin/env bash
# Builds and runs every test: the normal build, the AddressSanitizer +
# UndefinedBehaviorSanitizer build, and the WAV reader's fuzzer.
# Installs what it needs first (Debian 12).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

export QT_QPA_PLATFORM=offscreen
jobs=$(nproc)

echo "== normal build"
scripts/build.sh build
ctest --test-dir build -j"$jobs" --output-on-failure

echo "== AddressSanitizer + UndefinedBehaviorSanitizer build"
scripts/build.sh build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZORV_SANITIZE=ON -DZORV_BUILD_BENCH=OFF
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-asan -j"$jobs" --output-on-failure

if [ -x scripts/fuzz.sh ]; then
  echo "== fuzzing the WAV reader"
  scripts/fuzz.sh
fi
echo "All tests passed."
