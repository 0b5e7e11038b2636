#!/usr/bin/python3
"""Runs every sound file of a folder through a chain of effects on a Dask cluster and writes
float32 WAV files of the same names into another folder.

    PYTHONPATH=build/python examples/python/batch_dask.py in/ out/ \\
        --effect Chorus --param frequency=0.5 --effect Delay --param delayMs=300 --tail 2

The chain is built here and shipped to the workers by pickling. By default the cluster is
worker processes on this machine (--workers); --scheduler ADDRESS uses a running cluster,
whose workers must be able to import orvane_audioeffects and read and write the folders.
The options mirror `orvane-fx process`, whose output for a float32 WAV input this script's
output equals bit for bit. A file that fails is reported on stderr and the others go on;
the exit status is 1 if any failed. Needs python3-distributed, python3-soundfile,
python3-tqdm.
"""

import argparse
import contextlib
import copy
import logging
import math
import os
import re
import sys
import tempfile

import orvane_audioeffects as fx


def snake_case(name):
    """delayMs -> delay_ms; snake_case names stay as they are."""
    return re.sub(r"([A-Z])", lambda match: "_" + match.group(1).lower(), name)


def parse_value(effect, name, parameter, text):
    """A --param value as the parameter's Python type, as orvane-fx reads it."""
    where = f"--param {name}={text} of --effect {effect}"
    if parameter["type"] == "boolean":
        if text in ("true", "1"):
            return True
        if text in ("false", "0"):
            return False
        raise ValueError(f"{where}: takes true, false, 1 or 0")
    if parameter["type"] == "int":
        if not re.fullmatch(r"[0-9]+", text):
            raise ValueError(f"{where}: takes a whole number")
        return int(text)
    try:
        value = float(text)
    except ValueError:
        value = math.nan
    if not math.isfinite(value):
        raise ValueError(f"{where}: takes a finite decimal number such as 0.25")
    return value


class EffectAction(argparse.Action):
    """--effect TYPE starts a stage; each --param NAME=VALUE after it sets one of its parameters."""

    def __call__(self, parser, namespace, value, option_string=None):
        stages = getattr(namespace, "stages", None) or []
        if option_string == "--effect":
            stages.append((value, []))
        elif not stages:
            parser.error(f"--param {value} comes before any --effect; each --param sets a parameter of the "
                         "--effect before it")
        elif "=" not in value:
            parser.error(f"--param '{value}' is not NAME=VALUE, as in delayMs=300")
        else:
            stages[-1][1].append(value.split("=", 1))
        namespace.stages = stages


def build_chain(parser, stages):
    catalogue = {entry["name"]: entry for entry in fx.effects()}
    if not stages:
        parser.error(f"no --effect given; the effects are {', '.join(catalogue)}")
    chain = fx.Chain()
    for type_name, settings in stages:
        if type_name not in catalogue:
            parser.error(f"--effect {type_name}: no such effect; the effects are {', '.join(catalogue)}")
        parameters = {parameter["name"]: parameter for parameter in catalogue[type_name]["parameters"]}
        values = {}
        for name, text in settings:
            parameter = parameters.get(snake_case(name))
            if parameter is None:
                parser.error(f"--effect {type_name} has no parameter '{name}'; its parameters are "
                             f"{', '.join(parameters)} (or in camelCase, as orvane-fx takes them)")
            try:
                values[parameter["name"]] = parse_value(type_name, name, parameter, text)
            except ValueError as error:
                parser.error(str(error))
        try:
            chain.append(getattr(fx, type_name)(**values))
        except (TypeError, ValueError) as error:  # out of range: the message names the range
            parser.error(f"--effect {type_name}: {error}")
    return chain


def parse_arguments():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0],
                                     formatter_class=argparse.RawDescriptionHelpFormatter,
                                     epilog="\n\n".join(__doc__.split("\n\n")[1:]))
    parser.add_argument("input_folder", help="folder of sound files (WAV, FLAC, OGG, AIFF, ...); not searched below")
    parser.add_argument("output_folder", help="receives NAME.wav for every input NAME.EXT (made if missing)")
    parser.add_argument("--effect", action=EffectAction, metavar="TYPE", help="adds an effect; repeat for a chain")
    parser.add_argument("--param", action=EffectAction, metavar="NAME=VALUE",
                        help="sets a parameter of the --effect before it (delayMs=300 or delay_ms=300)")
    parser.add_argument("--block-size", type=int, default=512, help="frames per block, 1 to 65536 (default 512)")
    parser.add_argument("--tail", type=float, default=0.0, help="seconds of silence appended, 0 to 3600 (default 0)")
    cluster = parser.add_mutually_exclusive_group()
    cluster.add_argument("--workers", type=int, default=2, help="worker processes of the local cluster (default 2)")
    cluster.add_argument("--scheduler", metavar="ADDRESS", help="a running cluster's scheduler, e.g. tcp://host:8786")
    parser.add_argument("--no-progress", action="store_true", help="no progress bar")
    arguments = parser.parse_args()

    if not 1 <= arguments.block_size <= 65536:
        parser.error(f"--block-size must be a whole number from 1 to 65536; got {arguments.block_size}")
    if not 0 <= arguments.tail <= 3600:
        parser.error(f"--tail must be a number of seconds from 0 to 3600; got {arguments.tail}")
    if arguments.workers < 1:
        parser.error(f"--workers must be at least 1; got {arguments.workers}")
    arguments.chain = build_chain(parser, getattr(arguments, "stages", None))
    if not os.path.isdir(arguments.input_folder):
        parser.error(f"the input folder '{arguments.input_folder}' does not exist or is not a folder")
    if os.path.exists(arguments.output_folder) and not os.path.isdir(arguments.output_folder):
        parser.error(f"the output folder '{arguments.output_folder}' is a file")
    if os.path.isdir(arguments.output_folder) and os.path.samefile(arguments.input_folder, arguments.output_folder):
        parser.error("the output folder must differ from the input folder: outputs would replace their inputs")
    return parser, arguments


def find_jobs(parser, input_folder, output_folder):
    """(input, output) paths: every file whose extension names a format soundfile reads."""
    import soundfile

    extensions = {name.lower() for name in soundfile.available_formats()} | {"aif"}
    jobs, sources = [], {}
    for name in sorted(os.listdir(input_folder)):
        path = os.path.abspath(os.path.join(input_folder, name))  # workers may run elsewhere
        stem, extension = os.path.splitext(name)
        if name.startswith(".") or not os.path.isfile(path) or extension[1:].lower() not in extensions:
            continue
        if stem in sources:
            parser.error(f"'{sources[stem]}' and '{name}' would both be written as {stem}.wav; "
                         "move one of them to another folder")
        sources[stem] = name
        jobs.append((path, os.path.abspath(os.path.join(output_folder, stem + ".wav"))))
    return jobs


def process_file(chain, input_path, output_path, block_size, tail, umask):
    """[on a worker] One file through the chain, written under a temporary name, then renamed."""
    import numpy as np
    import soundfile

    # A worker may run several tasks at once in threads and hand them one deserialised
    # chain; an effect processes one signal at a time, so each task takes its own copy.
    chain = copy.deepcopy(chain)
    try:
        samples, sample_rate = soundfile.read(input_path, dtype="float32", always_2d=True)
    except Exception as error:  # worker errors travel back pickled: plain text only
        raise RuntimeError(f"cannot read it: {error}") from None
    try:
        y = chain.process(samples.T, sample_rate, block_size=block_size, reset=True, tail=tail)
    except (TypeError, ValueError) as error:
        raise RuntimeError(f"cannot process it: {error}") from None
    handle, temporary = tempfile.mkstemp(dir=os.path.dirname(output_path),
                                         prefix="." + os.path.basename(output_path) + ".", suffix=".part")
    try:
        with os.fdopen(handle, "wb") as file:
            soundfile.write(file, np.ascontiguousarray(y.T), sample_rate, format="WAV", subtype="FLOAT")
            file.flush()
            os.fsync(file.fileno())
        os.chmod(temporary, 0o666 & ~umask)  # mkstemp's file is private
        os.replace(temporary, output_path)
    except Exception as error:
        os.unlink(temporary)
        raise RuntimeError(f"cannot write {output_path}: {error}") from None
    return y.shape[1], y.shape[0], sample_rate


def run(client, arguments, jobs, umask):
    """Submits every file, reports each failure as it comes; returns how many failed."""
    from dask.distributed import as_completed
    from tqdm import tqdm

    futures = {client.submit(process_file, arguments.chain, source, target, arguments.block_size, arguments.tail,
                             umask, pure=False): source for source, target in jobs}
    failed = 0
    with tqdm(total=len(futures), unit="file", disable=arguments.no_progress, file=sys.stderr) as bar:
        for future in as_completed(futures):
            try:
                future.result()
            except Exception as error:
                failed += 1
                bar.write(f"batch_dask.py: {futures[future]}: {error}", file=sys.stderr)
            bar.update(1)
    return failed


def main():
    parser, arguments = parse_arguments()
    jobs = find_jobs(parser, arguments.input_folder, arguments.output_folder)
    if not jobs:
        print(f"batch_dask.py: no sound files in '{arguments.input_folder}'", file=sys.stderr)
        return 0
    os.makedirs(arguments.output_folder, exist_ok=True)

    from dask.distributed import Client, LocalCluster

    umask = os.umask(0)  # the client's, for the outputs' permissions
    os.umask(umask)
    with contextlib.ExitStack() as stack:
        if arguments.scheduler:
            client = stack.enter_context(Client(arguments.scheduler))
        else:
            # One thread per process: the effects release the GIL, but reading and writing
            # files need not. The failures are reported here, not in the workers' logs.
            cluster = stack.enter_context(LocalCluster(n_workers=arguments.workers, threads_per_worker=1,
                                                       processes=True, dashboard_address=None,
                                                       silence_logs=logging.ERROR))
            client = stack.enter_context(Client(cluster))  # closed before its cluster
        failed = run(client, arguments, jobs, umask)
    done = len(jobs) - failed
    print(f"batch_dask.py: {done} of {len(jobs)} files written to {arguments.output_folder}"
          + (f"; {failed} failed" if failed else ""), file=sys.stderr)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
