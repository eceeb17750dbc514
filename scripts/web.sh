#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The decoder as a web page.
#   scripts/web.sh build         builds the WebAssembly core and the page into dist/web/
#   scripts/web.sh serve [PORT]  builds, then serves dist/web/ on localhost (default 8080),
#                                cross-origin isolated
#   scripts/web.sh test          the core under Node and the page in Chromium and Firefox,
#                                against the native zorv-decode (built in build/); a 1 GB
#                                input in Chromium
# Installs what it needs first (Debian 12).
set -euo pipefail
cd "$(dirname "$0")/.."
command=${1:-build}

scripts/install-deps.sh --web
# emscripten's optimiser finds Debian's JavaScript modules here.
export NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}
command -v ccache >/dev/null && export CMAKE_CXX_COMPILER_LAUNCHER=ccache CMAKE_C_COMPILER_LAUNCHER=ccache
jobs=$(nproc)

build_page() {
  emcmake cmake -S . -B build-wasm -DCMAKE_BUILD_TYPE=Release -DZORV_WERROR=ON \
    -DZORV_REFERENCE_ARITHMETIC=OFF -DZORV_FLAC=OFF -DZORV_BUILD_GUI=OFF -DZORV_BUILD_PLOT=OFF \
    -DZORV_BUILD_PLUGIN=OFF -DZORV_BUILD_TESTS=OFF >/dev/null
  cmake --build build-wasm -j"$jobs" --target zorv_web
  # With threads, for a cross-origin isolated page: every object built for
  # shared memory, in a tree of its own.
  emcmake cmake -S . -B build-wasm-mt -DCMAKE_BUILD_TYPE=Release -DZORV_WERROR=ON -DZORV_WEB_THREADS=ON \
    -DZORV_REFERENCE_ARITHMETIC=OFF -DZORV_FLAC=OFF -DZORV_BUILD_GUI=OFF -DZORV_BUILD_PLOT=OFF \
    -DZORV_BUILD_PLUGIN=OFF -DZORV_BUILD_TESTS=OFF >/dev/null
  cmake --build build-wasm-mt -j"$jobs" --target zorv_web
  rm -rf dist/web
  mkdir -p dist/web
  cp web/page/index.html web/page/app.js web/page/worker.js web/page/listen.js web/page/style.css dist/web/
  cp build-wasm/web/zorv_web.js build-wasm/web/zorv_web.wasm dist/web/
  cp build-wasm-mt/web/zorv_web_mt.js build-wasm-mt/web/zorv_web_mt.wasm \
    build-wasm-mt/web/zorv_web_mt.worker.js dist/web/
  echo "The page is in dist/web/ ($(du -sk dist/web | cut -f1) KiB)"
}

case "$command" in
  build)
    build_page
    ;;
  serve)
    build_page
    exec node web/serve.mjs dist/web "${2:-8080}"
    ;;
  test)
    build_page
    cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DZORV_WERROR=ON >/dev/null
    cmake --build build -j"$jobs" --target zorv-decode
    (cd web/tests && npm ci --no-audit --no-fund --silent)
    node --test web/tests/core.test.mjs
    ZORV_WEB_BUILD="$PWD/build-wasm-mt/web" ZORV_WEB_THREADS=3 node --test web/tests/core.test.mjs
    node --test --test-concurrency=1 web/tests/page.test.mjs
    # 1 GB through the page in Chromium (about a minute and a half).
    node --test web/tests/large.test.mjs
    ;;
  *)
    echo "usage: scripts/web.sh build | serve [PORT] | test" >&2
    exit 2
    ;;
esac
