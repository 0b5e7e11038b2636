"""Smoke run of the file example: a generated WAV in, the processed file with its tail and a
PNG out; a missing input is refused without leaving an output behind."""

import os
import subprocess
import sys

import numpy as np
import soundfile

SCRIPT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "process_file.py")


def test_process_file(tmp_path):
    rate = 22050
    samples = (np.random.default_rng(3).standard_normal((rate // 2, 2)) * 0.3).astype(np.float32)
    soundfile.write(tmp_path / "in.wav", samples, rate, subtype="FLOAT")

    done = subprocess.run([sys.executable, SCRIPT, str(tmp_path / "in.wav"), str(tmp_path / "out.wav"), "--tail", "1"],
                          capture_output=True, text=True, timeout=120)

    assert done.returncode == 0, done.stderr
    output, output_rate = soundfile.read(tmp_path / "out.wav", dtype="float32", always_2d=True)
    assert output_rate == rate and output.shape == (rate // 2 + rate, 2)
    assert np.abs(output[rate // 2 + rate // 4:]).max() > 0.01, "the delay's echoes ring into the tail"
    assert (tmp_path / "out.png").read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"

    missing = subprocess.run([sys.executable, SCRIPT, str(tmp_path / "none.wav"), str(tmp_path / "other.wav")],
                             capture_output=True, text=True, timeout=120)
    assert missing.returncode != 0 and "none.wav" in missing.stderr
    assert sorted(os.listdir(tmp_path)) == ["in.wav", "out.png", "out.wav"]
