#!/usr/bin/env bash
# Installs what is missing, builds, and runs `orvane-fx demo` into demo-out/.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release -DORVANE_BUILD_TESTS=OFF >/dev/null
cmake --build build-release -j"$(nproc)" --target orvane-fx
build-release/tools/orvane-fx demo "${1:-demo-out}"
