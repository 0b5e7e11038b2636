#!/usr/bin/env bash
# Installs what is missing, builds with g++ and with clang (warnings are errors), and runs
# the whole test suite under ctest.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
jobs=$(nproc)

run_suite() {  # NAME COMPILER [CMAKE ARGS...]
  local name=$1 compiler=$2
  shift 2
  echo "== $name"
  cmake -S . -B "build-$name" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER="$compiler" \
    -DORVANE_WARNINGS_AS_ERRORS=ON "$@" >/dev/null
  cmake --build "build-$name" -j"$jobs"
  ctest --test-dir "build-$name" --output-on-failure -j"$jobs"
}

run_suite gcc g++
run_suite clang clang++
