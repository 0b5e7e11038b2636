#!/usr/bin/env bash
# Installs the Debian 12 packages the project needs, skipping those already present.
set -euo pipefail
packages=(
  cmake g++ clang make pkg-config binutils   # build; readelf/nm for the package checks
  libgtest-dev libgmock-dev libbenchmark-dev # tests and benchmarks
  gobjc++ libgnustep-base-dev                # the Objective-C++ loader class, built in a test
  libsndfile1-dev nlohmann-json3-dev libcli11-dev # orvane-fx: audio files, JSON listing, command line
  sox python3-numpy python3-matplotlib      # orvane-fx demo: signal and spectrograms; responses and page
  libclang-rt-14-dev                         # clang's sanitizer and fuzzer runtimes
  python3-dev pybind11-dev python3-pytest python3-soundfile  # the Python package and its tests
  python3-distributed python3-tqdm           # the Python examples
  python3-venv python3-build python3-wheel python3-setuptools  # pip install . and the wheel, offline
  python3-torch                              # torch tensors in the Python tests (~115 packages, ~450 MiB)
  lv2-dev serdi sordi lilv-utils liblilv-dev # LV2 bundle: headers, Turtle checks, lv2info/lv2apply, presets
  ffmpeg lv2file gstreamer1.0-tools          # LV2 hosts the bundle is tested in
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-plugins-bad  # audioconvert, wav, lv2
  emscripten node-acorn                      # the browser build (web/); acorn for emscripten's optimizer
)
missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
