#!/usr/bin/python3
"""Runs a sound file through a chorus and then a delay whose echoes ring out, writes the
result, and plots the spectrograms of the input and the output into a PNG.

    PYTHONPATH=build/python examples/python/process_file.py in.wav out.wav --tail 2

Needs python3-soundfile and python3-matplotlib.
"""

import argparse
import os
import sys
import tempfile

import numpy as np
import soundfile

import orvane_audioeffects as fx


def parse_arguments():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("input", help="a sound file soundfile reads (WAV, FLAC, OGG, AIFF, ...)")
    parser.add_argument("output", help="where to write the result; its extension picks the format")
    parser.add_argument("--plot", help="PNG of the spectrograms (default: OUTPUT with .png)")
    parser.add_argument("--tail", type=float, default=2.0, help="seconds appended so that the echoes ring out")
    parser.add_argument("--delay-ms", type=int, default=350, help="the delay's time in ms")
    parser.add_argument("--feedback", type=float, default=0.45, help="the delay's feedback level")
    parser.add_argument("--chorus-frequency", type=float, default=0.5, help="the chorus's sweep rate in Hz")
    parser.add_argument("--block-size", type=int, default=512, help="frames per block")
    arguments = parser.parse_args()
    format_name = os.path.splitext(arguments.output)[1][1:].upper()
    if format_name not in soundfile.available_formats():
        parser.error(f"cannot tell the format of '{arguments.output}' from its extension; "
                     f"use one of {', '.join('.' + name.lower() for name in sorted(soundfile.available_formats()))}")
    arguments.format = format_name
    # Float samples where the format holds them: echoes may rise above full scale.
    arguments.subtype = "FLOAT" if soundfile.check_format(format_name, "FLOAT") else None
    arguments.plot = arguments.plot or os.path.splitext(arguments.output)[0] + ".png"
    return arguments


def current_umask():
    mask = os.umask(0)
    os.umask(mask)
    return mask


def write_safely(path, write):
    """write(temporary_path) in the target's folder, then renamed over path: a failure never
    leaves a half-written file under the final name."""
    handle, temporary = tempfile.mkstemp(dir=os.path.dirname(os.path.abspath(path)),
                                         prefix="." + os.path.basename(path) + ".", suffix=".part")
    os.close(handle)
    try:
        write(temporary)
        os.chmod(temporary, 0o666 & ~current_umask())  # mkstemp's file is private
        os.replace(temporary, path)
    except BaseException:
        os.unlink(temporary)
        raise


def plot_spectrograms(path, signals, sample_rate):
    import matplotlib
    matplotlib.use("Agg")  # files only, no display needed
    import matplotlib.pyplot as plt

    figure, axes = plt.subplots(len(signals), 1, figsize=(10, 3.2 * len(signals)), sharex=True)
    for axis, (title, samples) in zip(axes, signals):
        # The channels' mean: one picture per signal, whatever its channel count.
        axis.specgram(samples.mean(axis=0), NFFT=2048, Fs=sample_rate, noverlap=1536, cmap="magma", vmin=-150)
        axis.set_title(title)
        axis.set_ylabel("Hz")
    axes[-1].set_xlabel("seconds")
    figure.tight_layout()
    write_safely(path, lambda temporary: figure.savefig(temporary, format="png", dpi=100))
    plt.close(figure)


def main():
    arguments = parse_arguments()
    try:
        chain = fx.Chain([fx.Chorus(frequency=arguments.chorus_frequency),
                          fx.Delay(delay_ms=arguments.delay_ms, feedback_level=arguments.feedback)])
    except (TypeError, ValueError) as error:
        sys.exit(f"process_file.py: {error}")
    if not os.path.isfile(arguments.input):
        sys.exit(f"process_file.py: the input '{arguments.input}' does not exist or is not a file")
    try:
        samples, sample_rate = soundfile.read(arguments.input, dtype="float32", always_2d=True)
    except (OSError, RuntimeError) as error:  # soundfile's errors derive from RuntimeError
        sys.exit(f"process_file.py: cannot read '{arguments.input}': {error}")
    x = samples.T  # soundfile gives (frames, channels); the effects take (channels, frames)
    try:
        y = chain.process(x, sample_rate, block_size=arguments.block_size, tail=arguments.tail)
    except (TypeError, ValueError) as error:
        sys.exit(f"process_file.py: {error}")
    try:
        write_safely(arguments.output,
                     lambda temporary: soundfile.write(temporary, y.T, sample_rate, format=arguments.format,
                                                                 subtype=arguments.subtype))
        plot_spectrograms(arguments.plot, [(f"input: {os.path.basename(arguments.input)}", x),
                                           (f"output: chorus, then delay with a {arguments.tail:g} s tail", y)],
                          sample_rate)
    except (OSError, RuntimeError, ValueError) as error:
        sys.exit(f"process_file.py: cannot write: {error}")
    print(f"{arguments.output}: {y.shape[1]} frames of {y.shape[0]} channel(s) at {sample_rate} Hz; "
          f"peak {np.abs(y).max():.3f}; spectrograms in {arguments.plot}")


if __name__ == "__main__":
    main()
