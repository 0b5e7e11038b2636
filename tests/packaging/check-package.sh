#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks it the way a host developer meets it:
# library names and run paths, exported symbols, self-contained headers, and the example
# host built with find_package and with pkg-config, after moving the prefix elsewhere.
#   check-package.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
source=$(cd "$2" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$work/first" >/dev/null
# Relocatable: everything must still work from another place.
mv "$work/first" "$work/prefix"
prefix="$work/prefix"
lib=$(ls -d "$prefix"/lib*/ | head -n 1)

for name in OrvaneSDK OrvaneAudioEffects; do
  file="$lib/lib$name.so.1.0.0"
  [ -f "$file" ] || fail "$file is not installed"
  readelf -d "$file" | grep -q "Library soname: \[lib$name.so.1\]" || fail "$name has no SONAME lib$name.so.1"
  runpath=$(readelf -d "$file" | sed -n 's/.*Library runpath: \[\(.*\)\]/\1/p')
  [ -z "$runpath" ] || [ "$runpath" = '$ORIGIN' ] || fail "$name has RUNPATH '$runpath'"
  [ -L "$lib/lib$name.so.1" ] && [ -L "$lib/lib$name.so" ] || fail "$name lacks its versioned links"
done
if grep -rIl -- "$build" "$prefix" >/dev/null; then fail "installed files name the build tree: $(grep -rIl -- "$build" "$prefix")"; fi
if grep -rIl -- "$source" "$prefix" >/dev/null; then fail "installed files name the source tree"; fi

symbols=$(nm -D --defined-only -C "$lib/libOrvaneAudioEffects.so.1.0.0")
for wanted in AudioEffectsExtension::getNodeFactory AudioEffectsExtension::load AudioEffectsNodeFactory::AudioEffectsNodeFactory \
    DelayNode::process PingPongDelayNode::process ChorusNode::process FlangerNode::process VibratoNode::process \
    'T ov_extension_load' 'T ov_extension_anchor_OrvaneAudioEffects' 'T OVAudioEffectsExtension_loadExtension'; do
  grep -q -- "$wanted" <<<"$symbols" || fail "the extension does not export $wanted"
done
for unwanted in Internals CircularBuffer 'audio::LFO' DelayLineBank SweepOscillators AtomicParameter sweptReadPosition; do
  if grep -q -- "$unwanted" <<<"$symbols"; then fail "the extension exports $unwanted: $(grep -- "$unwanted" <<<"$symbols" | head -n 3)"; fi
done

cxx=${CXX:-c++}
for header in $(cd "$prefix/include" && find orvane -name '*.h' | sort); do
  echo "#include <$header>" | "$cxx" -std=c++20 -Wall -Wextra -Wpedantic -Werror -fsyntax-only \
    -I"$prefix/include/orvane" -I"$prefix/include" -x c++ - || fail "$header does not compile on its own"
done

expected="$work/expected.txt"
cmake -S "$source/examples/host" -B "$work/cmake-build" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/cmake-build" >/dev/null
"$work/cmake-build/example-host" "$lib/libOrvaneAudioEffects.so.1" >"$expected"
[ "$(grep -c 'processed=yes' "$expected")" -eq 5 ] || fail "the find_package host did not run five nodes: $(cat "$expected")"
grep -q '^AudioEffects: Basic audio effects such as delay, chorus, flanger, and vibrato.$' "$expected" \
  || fail "the find_package host did not find the extension"

for module in orvane-sdk orvane-audioeffects; do
  PKG_CONFIG_PATH="$lib/pkgconfig" pkg-config --exists "$module" || fail "pkg-config does not know $module"
done
# A host links the SDK and loads the extension by name; a program may also link the
# extension itself, which then registers at start-up and is found all the same.
for module in orvane-sdk orvane-audioeffects; do
  # shellcheck disable=SC2046
  "$cxx" -std=c++20 "$source/examples/host/main.cpp" -o "$work/host-$module" \
    $(PKG_CONFIG_PATH="$lib/pkgconfig" pkg-config --cflags --libs "$module")
  "$work/host-$module" >"$work/$module.txt" || fail "the host built with pkg-config $module failed"
  diff -u "$expected" "$work/$module.txt" || fail "the host built with pkg-config $module printed something else"
done

# A multiarch libdir sits a level deeper: the .pc files must still find the prefix.
cmake -S "$source" -B "$work/multiarch" -DCMAKE_INSTALL_PREFIX=/usr -DCMAKE_INSTALL_LIBDIR=lib/x86_64-linux-gnu \
  -DORVANE_BUILD_TESTS=OFF -DORVANE_BUILD_TOOLS=OFF >/dev/null
grep -qx 'prefix=${pcfiledir}/../../..' "$work/multiarch/orvane-sdk.pc" \
  || fail "with a multiarch libdir the .pc prefix is $(grep '^prefix=' "$work/multiarch/orvane-sdk.pc")"

"$prefix/bin/orvane-fx" list >/dev/null || fail "the installed orvane-fx does not run"
# The Python package, where the build made one, finds the library from the moved prefix.
for package in "$lib"/python3*/dist-packages/orvane_audioeffects; do
  [ -d "$package" ] || continue
  PYTHONPATH=$(dirname "$package") /usr/bin/python3 -c 'import numpy, orvane_audioeffects as fx
assert fx.Delay()(numpy.ones(8, numpy.float32), 48000).shape == (8,)' || fail "the installed Python package does not run"
done
echo "package checks passed"
