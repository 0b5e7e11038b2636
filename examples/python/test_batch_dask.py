"""The Dask batch example end to end: a two-process local cluster writes, for every good
file, the samples orvane-fx writes for it, and a broken file is reported without stopping
the others. ORVANE_FX names the orvane-fx binary; PYTHONPATH reaches the package."""

import os
import subprocess
import sys

import numpy as np
import pytest
import soundfile

HERE = os.path.dirname(os.path.abspath(__file__))

# Non-default values in every stage and a tail: a setting lost on the way to the workers
# changes the samples. (The block size does not change them with fixed parameters; it is
# passed so that both programs are asked for the same run.)
CHAIN = ["--effect", "Chorus", "--param", "sweepWidth=0.01", "--param", "frequency=3",
         "--effect", "Delay", "--param", "delayMs=40", "--param", "feedbackLevel=0.6", "--param", "wetMix=0.5"]
# The same chain with snake_case names, which the script also takes.
CHAIN_SNAKE = [argument.replace("sweepWidth", "sweep_width").replace("delayMs", "delay_ms")
               .replace("feedbackLevel", "feedback_level").replace("wetMix", "wet_mix") for argument in CHAIN]
SETTINGS = ["--block-size", "300", "--tail", "0.25"]


def run(arguments):
    return subprocess.run(arguments, capture_output=True, text=True, timeout=300)


def test_batch_matches_orvane_fx_and_reports_the_broken_file(tmp_path):
    orvane_fx = os.environ.get("ORVANE_FX")
    if not orvane_fx or not os.access(orvane_fx, os.X_OK):
        pytest.fail("ORVANE_FX must name the orvane-fx binary (ctest sets it)")
    inputs, outputs, references = tmp_path / "in", tmp_path / "out", tmp_path / "reference"
    inputs.mkdir()
    references.mkdir()
    random = np.random.default_rng(20)
    good = {"mono.wav": (1, 44100, 9000), "stereo.wav": (2, 48000, 12345), "short.wav": (2, 22050, 100)}
    for name, (channels, rate, frames) in good.items():
        noise = (random.standard_normal((frames, channels)) * 0.3).astype(np.float32)
        soundfile.write(inputs / name, noise, rate, subtype="FLOAT")
    (inputs / "broken.wav").write_bytes(b"RIFF\x10\x00\x00\x00WAVEfmt nothing that parses")

    batch = run([sys.executable, os.path.join(HERE, "batch_dask.py"), str(inputs), str(outputs), *CHAIN_SNAKE,
                 *SETTINGS, "--workers", "2", "--no-progress"])

    assert batch.returncode == 1, batch.stderr
    assert "broken.wav" in batch.stderr and "cannot read" in batch.stderr, batch.stderr
    assert sorted(os.listdir(outputs)) == sorted(good), "outputs, and no temporary file left behind"
    for name, (channels, rate, frames) in good.items():
        fx = run([orvane_fx, "process", "--quiet", *CHAIN, *SETTINGS, str(inputs / name), str(references / name)])
        assert fx.returncode == 0, fx.stderr
        expected, expected_rate = soundfile.read(references / name, dtype="float32", always_2d=True)
        written, written_rate = soundfile.read(outputs / name, dtype="float32", always_2d=True)
        assert soundfile.info(outputs / name).subtype == "FLOAT"
        assert written_rate == expected_rate == rate
        assert written.shape == expected.shape == (frames + int(0.25 * rate + 0.5), channels)  # halves round up
        assert np.array_equal(written.view(np.uint32), expected.view(np.uint32)), f"{name} differs from orvane-fx"
