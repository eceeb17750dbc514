#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The web page's speed against zorv-decode on one thread, in one run: builds
# the page and zorv-decode, then prints x real time per browser.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/web.sh build
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DZORV_WERROR=ON >/dev/null
cmake --build build -j"$(nproc)" --target zorv-decode
(cd web/tests && npm ci --no-audit --no-fund --silent)
node bench/web-speed.mjs
