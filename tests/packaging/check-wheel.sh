#!/usr/bin/env bash
# The Python package as a Python user installs it, in a temporary folder outside the source
# tree, with Debian's interpreter and tools and no network:
#   1. a fresh virtual environment with `pip install --no-build-isolation <clone>`;
#   2. the wheel `python3 -m build --wheel --no-isolation` makes of the clone: what it holds,
#      then installed in another environment after the clone and its build are gone.
# Each imports the package from its environment and gives orvane-fx's bits on one file.
#   check-wheel.sh SOURCE_DIR ORVANE_FX
set -euo pipefail
source=$(cd "$1" && pwd)
orvane_fx=$(realpath "$2")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
unset PYTHONPATH LD_PRELOAD  # the package comes from each environment alone
python=/usr/bin/python3

# The clone: the source tree's files as git sees them, edits and new files included, no builds.
mkdir "$work/clone"
git -C "$source" ls-files -z --cached --others --exclude-standard \
  | (cd "$source" && xargs -0 tar --ignore-failed-read -cf - --) | tar -xf - -C "$work/clone"

# One stereo float file through every effect, as orvane-fx writes it.
chain=(--effect Chorus --param frequency=3 --param sweepWidth=0.04 --effect PingPongDelay --param delayMs=3
  --param feedbackLevel=0.9 --effect Flanger --effect Vibrato --param frequency=7 --effect Delay --param delayMs=7)
"$python" -c 'import numpy, soundfile, sys
x = numpy.random.default_rng(5).uniform(-0.5, 0.5, (30000, 2)).astype(numpy.float32)
soundfile.write(sys.argv[1], x, 44100, subtype="FLOAT")' "$work/in.wav"
"$orvane_fx" process --quiet --block-size 100 --tail 0.25 "${chain[@]}" "$work/in.wav" "$work/expected.wav"
cat >"$work/same_bits.py" <<'EOF'
import sys

import numpy as np
import soundfile

import orvane_audioeffects as fx

assert fx.__file__.startswith(sys.prefix + "/"), f"imported {fx.__file__}, not from {sys.prefix}"
x, rate = soundfile.read(sys.argv[1], dtype="float32", always_2d=True)
chain = fx.Chain([fx.Chorus(frequency=3, sweep_width=0.04), fx.PingPongDelay(delay_ms=3, feedback_level=0.9),
                  fx.Flanger(), fx.Vibrato(frequency=7), fx.Delay(delay_ms=7)])
got = chain.process(x.T, rate, block_size=100, tail=0.25)
expected = soundfile.read(sys.argv[2], dtype="float32", always_2d=True)[0].T
assert got.shape == expected.shape and np.array_equal(got.view(np.uint32), expected.view(np.uint32)), \
    "the package's samples differ from orvane-fx's"
print(f"{fx.__file__}: orvane-fx's bits on {got.shape[1]} frames")
EOF
same_bits() { (cd "$work" && "$1/bin/python" same_bits.py in.wav expected.wav) || fail "$2 does not give orvane-fx's bits"; }

echo "== pip install --no-build-isolation <clone>, offline"
"$python" -m venv --system-site-packages "$work/pip-env"
started=$SECONDS
(cd "$work" && "$work/pip-env/bin/python" -m pip install --quiet --no-index --no-build-isolation "$work/clone") \
  || fail "pip install of the clone failed"
echo "built and installed in $((SECONDS - started)) s"
same_bits "$work/pip-env" "the package pip installed"

echo "== python3 -m build --wheel --no-isolation"
(cd "$work/clone" && "$python" -m build --wheel --no-isolation --outdir "$work/dist" . >"$work/build.log" 2>&1) \
  || { tail -n 30 "$work/build.log"; fail "python3 -m build made no wheel"; }
rm -rf "$work/clone"
wheel=$(ls "$work"/dist/orvane_audioeffects-*-linux_*.whl)
echo "$(basename "$wheel"): $(du -k "$wheel" | cut -f1) KiB"
"$python" -m zipfile -e "$wheel" "$work/unpacked"
package="$work/unpacked/orvane_audioeffects"
held=$(cd "$package" && ls | sed 's/^_native\..*\.so$/_native.so/' | sort | tr '\n' ' ')
[ "$held" = "__init__.py __init__.pyi _native.so libOrvaneAudioEffects.so.1 libOrvaneRender.so.1 libOrvaneSDK.so.1 py.typed " ] \
  || fail "the wheel's package holds: $held"
for file in "$package"/*.so*; do
  runpath=$(readelf -d "$file" | sed -n 's/.*Library runpath: \[\(.*\)\]/\1/p')
  [ "$runpath" = '$ORIGIN' ] || fail "$(basename "$file") has run path '$runpath', not \$ORIGIN"
done
if grep -rl -e "$source" -e "$work/clone" "$work/unpacked"; then fail "the wheel names the source tree or the build"; fi

echo "== the wheel in another environment"
"$python" -m venv --system-site-packages "$work/wheel-env"
"$work/wheel-env/bin/python" -m pip install --quiet --no-index "$wheel" || fail "pip could not install the wheel"
same_bits "$work/wheel-env" "the package from the wheel"
echo "wheel checks passed"
