"""The Python package against orvane-fx and against itself: exact outputs, state between
calls, tails, automation, bad input, pickling and threads."""

import copy
import json
import os
import pickle
import subprocess
import threading

import numpy as np
import pytest
import soundfile

import orvane_audioeffects as fx

RATE = 48000
EFFECTS = ["Delay", "PingPongDelay", "Chorus", "Flanger", "Vibrato"]
# Settings away from every default, inside every range.
SETTINGS = {
    "Delay": {"delay_ms": 7, "dry_mix": 0.5, "wet_mix": 0.625, "feedback_level": 0.75},
    "PingPongDelay": {"delay_ms": 3, "dry_mix": 0.25, "wet_mix": 0.5, "feedback_level": 0.9},
    "Chorus": {"sweep_width": 0.04, "frequency": 3.0},
    "Flanger": {"sweep_width": 0.008, "frequency": 2.5},
    "Vibrato": {"sweep_width": 0.004, "frequency": 7.0},
}


def noise(channels, frames, seed=0):
    return np.random.default_rng(seed).uniform(-1, 1, (channels, frames)).astype(np.float32)


def camel(name):
    head, *rest = name.split("_")
    return head + "".join(part.capitalize() for part in rest)


def orvane_fx(tmp_path, chain, signal, block_size, tail=0.0, preset=None):
    """What orvane-fx process writes for the signal through the chain of (name, settings),
    the first effect from the preset if given, as float32 (channels, frames)."""
    source, target = tmp_path / "in.wav", tmp_path / "out.wav"
    soundfile.write(source, signal.T, RATE, subtype="FLOAT")
    effects = [arg for i, (name, settings) in enumerate(chain) for arg in ["--effect", name] + (
        ["--preset", preset] if preset and i == 0 else []) + [
        part for key, value in settings.items() for part in ("--param", f"{camel(key)}={value}")]]
    subprocess.run([os.environ["ORVANE_FX"], "process", "--quiet", "--block-size", str(block_size), "--tail",
                    str(tail), *effects, str(source), str(target)], check=True)
    return soundfile.read(target, dtype="float32", always_2d=True)[0].T


SWEPT_CHAIN = [(name, SETTINGS[name]) for name in ["Chorus", "Delay", "Flanger", "Vibrato"]]


@pytest.mark.parametrize("chain", [[(name, SETTINGS[name])] for name in EFFECTS] + [SWEPT_CHAIN],
                         ids=EFFECTS + ["chain"])
def test_bit_exact_with_orvane_fx_for_blocks_and_channels(tmp_path, chain):
    for channels, block_size in [(1, 1), (2, 512), (2, 37), (3, 4096), (8, 100), (64, 333)]:
        if chain[0][0] == "PingPongDelay" and channels != 2:
            continue
        signal = noise(channels, 9000, seed=channels)
        effects = fx.Chain([getattr(fx, name)(**settings) for name, settings in chain])
        got = effects.process(signal, RATE, block_size=block_size, tail=0.01)
        expected = orvane_fx(tmp_path, chain, signal, block_size, 0.01)
        assert got.dtype == np.float32 and got.shape == (channels, 9480)
        assert np.array_equal(got.view(np.uint32), expected.view(np.uint32)), (channels, block_size)
        # Beyond two, each channel runs through a one-channel effect of its own.
        for c in {0, channels - 1} if channels > 2 else ():
            mono = fx.Chain([getattr(fx, name)(**settings) for name, settings in chain])
            assert np.array_equal(got[c:c + 1], mono.process(signal[c:c + 1], RATE, block_size=block_size, tail=0.01))


@pytest.mark.parametrize("name", EFFECTS)
def test_presets_give_orvane_fx_bits_and_keep_the_switch(tmp_path, name):
    listed = subprocess.run([os.environ["ORVANE_FX"], "list", "--json"], capture_output=True, text=True, check=True)
    listed = {t["type"]: t["presets"] for t in json.loads(listed.stdout)["extensions"][0]["nodeTypes"]}[name]
    presets = getattr(fx, name).presets()
    assert [p["name"] for p in presets] == [p["name"] for p in listed] and len(presets) >= 2
    assert presets == [e for e in fx.effects() if e["name"] == name][0]["presets"]
    signal = noise(2, 6000, seed=12)
    for preset, theirs in zip(presets, listed):
        assert {camel(k): v for k, v in preset["values"].items()} == theirs["values"]
        effect = getattr(fx, name)(preset=preset["name"], enabled=False)
        assert not effect.enabled and all(getattr(effect, k) == v for k, v in preset["values"].items())
        effect.enabled = True
        expected = orvane_fx(tmp_path, [(name, {})], signal, 256, 0.0, preset=preset["name"])
        assert np.array_equal(effect.process(signal, RATE, block_size=256).view(np.uint32), expected.view(np.uint32))
    # --param after --preset, as keywords after preset=.
    first, setting = presets[0]["name"], "dry_mix" if "Delay" in name else "frequency"
    expected = orvane_fx(tmp_path, [(name, {setting: 0.5})], signal, 256, 0.0, preset=first)
    got = getattr(fx, name)(preset=first, **{setting: 0.5}).process(signal, RATE, block_size=256)
    assert np.array_equal(got, expected)
    with pytest.raises(ValueError, match=f"{name} has no preset 'loud'; its presets are {presets[0]['name']}"):
        getattr(fx, name)(preset="loud")


@pytest.mark.parametrize("name", EFFECTS)
def test_chunks_continue_and_reset_starts_afresh(name):
    signal = noise(2, 20000, seed=3)
    whole = getattr(fx, name)(**SETTINGS[name]).process(signal, RATE, block_size=100)
    effect = getattr(fx, name)(**SETTINGS[name])
    chunks = [effect.process(signal[:, a:b], RATE, block_size=100, reset=a == 0)
              for a, b in [(0, 700), (700, 700), (700, 12345), (12345, 20000)]]
    assert np.array_equal(np.concatenate(chunks, axis=1), whole)
    # A fresh call, a reset() and a copy all forget what ran before.
    effect.process(noise(2, 5000, seed=9), RATE)
    assert np.array_equal(effect.process(signal, RATE, block_size=100), whole)
    effect.process(noise(2, 5000, seed=9), RATE)
    effect.reset()
    assert np.array_equal(effect.process(signal, RATE, block_size=100, reset=False), whole)
    effect.process(noise(2, 5000, seed=9), RATE, reset=False)
    for twin in (copy.deepcopy(effect), pickle.loads(pickle.dumps(effect))):
        assert type(twin) is type(effect) and repr(twin) == repr(effect)
        assert np.array_equal(twin.process(signal, RATE, block_size=100, reset=False), whole)


def test_tail_holds_every_echo():
    impulse = np.zeros(10, np.float32)
    impulse[0] = 1
    delay = fx.Delay(delay_ms=100, dry_mix=1.0, wet_mix=0.5, feedback_level=0.5)
    out = delay.process(impulse, RATE, tail=1.0)
    assert out.shape == (48010,)
    hits = np.flatnonzero(out)
    assert list(hits) == [0, 4800, 9600, 14400, 19200, 24000, 28800, 33600, 38400, 43200, 48000]
    assert np.array_equal(out[hits[1:]], np.float32(0.5) * np.float32(0.5) ** np.arange(10, dtype=np.float32))


LONG = 3 * RATE  # a curve converted to float64 is 1.1 MB: past the allocator's mmap threshold


@pytest.mark.parametrize("name,parameter,curve", [
    ("Chorus", "frequency", np.where(np.arange(LONG) < LONG // 2, 0.7, 2.5).astype(np.float32)),
    ("Delay", "delay_ms", np.where(np.arange(LONG) < LONG // 3, 200, 350).astype(np.int32)),
    ("Flanger", "enabled", np.arange(LONG) % 40000 < 30000),
])
def test_converted_automation_curves_are_read_while_alive(name, parameter, curve):
    signal = noise(2, LONG, seed=11)
    by_hand = getattr(fx, name)()
    parts = []
    for start in range(0, LONG, 4000):
        setattr(by_hand, parameter, curve[start].item())
        parts.append(by_hand.process(signal[:, start:start + 4000], RATE, block_size=4000, reset=start == 0))
    expected = np.concatenate(parts, axis=1)
    del parts
    effect = getattr(fx, name)()
    before = repr(effect)
    for _ in range(4):  # each call reuses the memory the previous output and conversion freed
        got = effect.process(signal, RATE, block_size=4000, automation={parameter: curve})
        assert np.array_equal(got, expected) and repr(effect) == before
        del got
    # In a chain, a list with one dict (or None) per effect.
    chain = fx.Chain([fx.Delay(), effect])
    assert np.array_equal(chain.process(signal, RATE, block_size=4000, automation=[None, {parameter: curve}]),
                          effect.process(fx.Delay().process(signal, RATE, block_size=4000), RATE, block_size=4000,
                                         automation={parameter: curve}))


def test_float64_and_strided_input_give_the_float32_result():
    signal = noise(2, 3000, seed=6)
    expected = fx.Flanger()(signal, RATE)
    assert np.array_equal(fx.Flanger()(signal.astype(np.float64), RATE), expected)
    assert np.array_equal(fx.Flanger()(np.asfortranarray(signal), RATE), expected)
    assert np.array_equal(fx.Flanger()(np.repeat(signal, 2, axis=1)[:, ::2], RATE), expected)


STEREO = noise(2, 1000)
BAD_CALLS = [
    (TypeError, "float32 or float64", lambda e: e(STEREO.astype(np.int16), RATE)),
    (TypeError, "numpy array", lambda e: e(STEREO.tolist(), RATE)),
    (ValueError, "1-D (frames) or 2-D", lambda e: e(STEREO[None], RATE)),
    (ValueError, "pass x.T", lambda e: e(STEREO.T, RATE)),
    (ValueError, "1 to 64", lambda e: e(np.zeros((0, 10), np.float32), RATE)),
    (ValueError, "sample_rate must be a whole number from 1 to 384000", lambda e: e(STEREO, 0)),
    (ValueError, "sample_rate", lambda e: e(STEREO, 44100.5)),
    (ValueError, "block_size must be a whole number from 1 to 65536", lambda e: e.process(STEREO, RATE, block_size=0)),
    (ValueError, "tail must be", lambda e: e.process(STEREO, RATE, tail=float("nan"))),
    (ValueError, "tail must be", lambda e: e.process(STEREO, RATE, tail=3601)),
    (ValueError, "reset=True", lambda e: e.process(STEREO[:1], 44100, reset=False)),
    (ValueError, "one value per output frame", lambda e: e.process(STEREO, RATE, automation={"enabled": np.ones(9, bool)})),
    (TypeError, "must hold bool", lambda e: e.process(STEREO, RATE, automation={"enabled": np.ones(1000)})),
    (TypeError, "has no parameter 'speed'", lambda e: e.process(STEREO, RATE, automation={"speed": np.ones(1000)})),
    (ValueError, "from 0 to 0.02", lambda e: e.process(STEREO, RATE, automation={"sweep_width": np.full(1000, 0.5)})),
    (ValueError, "frame 999", lambda e: e.process(
        STEREO, RATE, automation={"frequency": np.r_[np.ones(999), np.nan]})),
    (TypeError, "takes a bool", lambda e: setattr(e, "enabled", 1)),
    (TypeError, "takes a float", lambda e: setattr(e, "frequency", "2")),
    (ValueError, "from 0 to 10 Hz", lambda e: setattr(e, "frequency", float("nan"))),
    (ValueError, "from 0 to 10 Hz", lambda e: setattr(e, "frequency", 10.5)),
    (TypeError, "has no parameter 'depth'", lambda e: type(e)(depth=1)),
    (ValueError, "appears twice", lambda e: fx.Chain([e, e])(STEREO, RATE)),
]


@pytest.mark.parametrize("error, message, call", BAD_CALLS)
def test_bad_input_is_refused_and_changes_nothing(error, message, call):
    effect = fx.Flanger(frequency=2.0)
    effect.process(STEREO, RATE)
    input_copy, state = STEREO.copy(), repr(effect)
    with pytest.raises(error, match=message.replace("(", r"\(").replace(")", r"\)").replace(".", r"\.")):
        call(effect)
    assert np.array_equal(STEREO, input_copy) and repr(effect) == state
    # The state carried between calls is untouched too.
    assert np.array_equal(effect.process(STEREO, RATE, reset=False),
                          fx.Flanger(frequency=2.0).process(np.concatenate([STEREO, STEREO], 1), RATE)[:, 1000:])


def test_typed_parameters_and_the_catalogue():
    with pytest.raises(TypeError, match="takes an int"):
        fx.Delay(delay_ms=350.0)
    with pytest.raises(ValueError, match="PingPongDelay takes exactly 2 channels"):
        fx.PingPongDelay()(STEREO[:1], RATE)
    assert fx.Delay(delay_ms=np.int64(350)).delay_ms == 350
    assert repr(fx.Vibrato()) == "Vibrato(enabled=True, sweep_width=0.01, frequency=4.0)"
    names = [(e["name"], [p["name"] for p in e["parameters"]]) for e in fx.effects()]
    assert names[0] == ("Delay", ["enabled", "delay_ms", "dry_mix", "wet_mix", "feedback_level"])
    assert [n for n, _ in names] == ["Delay", "PingPongDelay", "Vibrato", "Flanger", "Chorus"]
    listed = subprocess.run([os.environ["ORVANE_FX"], "list", "--json"], capture_output=True, text=True, check=True)
    for ours, theirs in zip(fx.effects(), json.loads(listed.stdout)["extensions"][0]["nodeTypes"]):
        assert ours["name"] == theirs["type"]
        for p, q in zip(ours["parameters"], theirs["parameters"], strict=True):
            assert (camel(p["name"]), p["default"], p["description"]) == (q["name"], q["default"], q["description"])
            assert p["type"] == q["type"] and (p["type"] == "boolean" or (p["min"], p["max"]) == (q["min"], q["max"]))


def test_threads_run_effects_in_parallel_and_never_share_one():
    signal = noise(2, 48000 * 20, seed=8)
    expected = fx.Chorus()(signal, RATE)
    results = [None, None]
    barrier = threading.Barrier(2)

    def run(effect, slot, **options):
        barrier.wait()
        results[slot] = effect.process(signal, RATE, **options)

    threads = [threading.Thread(target=run, args=(fx.Chorus(), slot)) for slot in (0, 1)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    assert all(np.array_equal(result, expected) for result in results)

    # Two calls on one effect at once: one is refused, the other runs on undisturbed.
    shared, refusals, results = fx.Chorus(), [], [None, None]
    barrier = threading.Barrier(2)

    def run_shared(slot):
        barrier.wait()
        try:
            results[slot] = shared.process(signal, RATE, block_size=1)
        except RuntimeError as error:
            refusals.append(str(error))

    threads = [threading.Thread(target=run_shared, args=(slot,)) for slot in (0, 1)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    assert len(refusals) == 1 and "already processing in another thread" in refusals[0]
    finished = [result for result in results if result is not None]
    assert len(finished) == 1 and np.array_equal(finished[0], fx.Chorus().process(signal, RATE, block_size=1))
