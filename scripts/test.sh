#!/usr/bin/env bash
# Installs what is missing, then runs the whole test suite under ctest:
#   1. g++ and clang builds, warnings as errors; the g++ build also runs the exactness suites
#      and the LV2 in-process tests again at each processor level below the machine's own
#      (ORVANE_SIMD caps it), the Objective-C++ loader class against GNUstep, the Python
#      package installed with pip and from its wheel in fresh virtual environments, and the
#      browser build (WebAssembly, built in this suite alone) in headless Chromium;
#   2. the suite again under AddressSanitizer and UndefinedBehaviorSanitizer, float checks included;
#   3. the concurrency tests under ThreadSanitizer;
#   4. a bounded libFuzzer run of every node, of the offline renderer and of the browser engine's
#      C interface (when clang is present).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
# The demo page's test and the browser build's open pages in headless Chromium, installed here
# for the tests alone (install-deps.sh also serves scripts/demo.sh, which needs no browser).
browser=()
for package in chromium chromium-driver; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || browser+=("$package")
done
if [ ${#browser[@]} -gt 0 ]; then
  sudo=""; [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${browser[@]}" >/dev/null
fi
jobs=$(nproc)
passed=0  # tests run and passed, over every suite
run_ctest() {  # ctest with the given arguments; adds the number of tests it passed
  local log count
  log=$(mktemp)
  ctest "$@" | tee "$log"
  count=$(sed -n 's/.*tests passed, 0 tests failed out of \([0-9]*\).*/\1/p' "$log" | tail -n 1)
  passed=$((passed + ${count:-0}))
  rm -f "$log"
}

configure() {  # NAME COMPILER [CMAKE ARGS...]
  local name=$1 compiler=$2
  shift 2
  cmake -S . -B "build-$name" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER="$compiler" \
    -DORVANE_WARNINGS_AS_ERRORS=ON "$@" >/dev/null
}

run_suite() {  # NAME COMPILER [CMAKE ARGS...]
  echo "== $1: build and test"
  configure "$@"
  cmake --build "build-$1" -j"$jobs"
  run_ctest --test-dir "build-$1" --output-on-failure -j"$jobs"
}

run_suite gcc g++ -DORVANE_TEST_PYTHON_WHEEL=ON  # pip install and the wheel: in this suite alone
echo "== lv2: the bundle's Turtle and what lilv reads of it"
bash lv2/validate-bundle.sh build-gcc/lv2/orvane-audioeffects.lv2
passed=$((passed + 1))  # the validation counts as one test
# The reliability figures quoted in docs/reliability.md: blocks run and parameter changes made.
build-gcc/tests/orvane_reliability_tests --gtest_brief=1 | grep '^\[reliability\]'
run_suite clang clang++ -DORVANE_BUILD_WEB=OFF
# g++ leaves the float checks out of `undefined`: they catch a NaN or huge delay turned into an index.
run_suite asan g++ -DORVANE_SANITIZERS=address,undefined,float-cast-overflow,float-divide-by-zero -DORVANE_BUILD_WEB=OFF

echo "== tsan: concurrency tests"
configure tsan g++ -DORVANE_SANITIZERS=thread -DORVANE_BUILD_TOOLS=OFF -DORVANE_BUILD_WEB=OFF
cmake --build build-tsan -j"$jobs" --target orvane_reliability_tests
run_ctest --test-dir build-tsan --output-on-failure -R 'Concurrency'

if command -v clang++ >/dev/null; then
  echo "== fuzz: every node for a bounded time"
  configure fuzz clang++ -DORVANE_BUILD_FUZZERS=ON -DORVANE_BUILD_TOOLS=OFF -DORVANE_BUILD_WEB=OFF \
    -DORVANE_SANITIZERS=address,undefined,float-cast-overflow,float-divide-by-zero,fuzzer-no-link
  cmake --build build-fuzz -j"$jobs" --target orvane_fuzz_effects orvane_fuzz_render orvane_fuzz_web
  corpus=$(mktemp -d)
  trap 'rm -rf "$corpus"' EXIT
  fuzz() {  # NAME TARGET [LIBFUZZER ARGS...]: a bounded run from the corpus folder; counts as one test
    local name=$1 target=$2 log="build-fuzz/fuzz-${1// /-}.log"
    shift 2
    build-fuzz/tests/"$target" -max_total_time="${ORVANE_FUZZ_SECONDS:-12}" -rss_limit_mb=4096 "$@" "$corpus" \
      2>"$log" || { tail -n 40 "$log"; echo "fuzzing $name found a fault"; exit 1; }
    echo "$name: $(grep -o 'Done [0-9]* runs in [0-9]* second' "$log")"
    passed=$((passed + 1))
  }
  for node in Delay PingPongDelay Chorus Flanger Vibrato; do
    rm -rf "${corpus:?}"/* && cp tests/fuzz/corpus/* "$corpus/"
    ORVANE_FUZZ_NODE=$node fuzz "$node" orvane_fuzz_effects
  done
  # The offline renderer: chains, channel counts, pieces, tails, automation, continuations.
  rm -rf "${corpus:?}"/* && fuzz renderer orvane_fuzz_render -max_len=512
  # The browser engine's C interface: chains, parameters, presets and quanta as a page sends them.
  rm -rf "${corpus:?}"/* && fuzz "browser engine" orvane_fuzz_web -max_len=4096
fi
echo "all suites passed"
echo "tests: $passed passed, 0 failed"
