"""Batches on worker threads, out=, and seeded random effects: what data-set pipelines call."""

import os
import re
import subprocess
import sys

import numpy as np
import pytest

import orvane_audioeffects as fx

RATE = 48000
X = np.random.default_rng(4).uniform(-1, 1, (5, 2, 3000)).astype(np.float32)


@pytest.mark.parametrize("make, parameters", [
    (lambda: fx.Flanger(frequency=2.0), None),
    (lambda: fx.Flanger(frequency=2.0), [{"sweep_width": 0.001 * (i + 1)} if i % 2 else None for i in range(5)]),
    (lambda: fx.Chain([fx.Chorus(), fx.Delay(delay_ms=20)]), None),
    (lambda: fx.Chain([fx.Chorus(), fx.Delay(delay_ms=20)]), [[None, {"feedback_level": 0.1 * i}] for i in range(5)]),
])
def test_batches_equal_a_loop_of_fresh_calls_whatever_the_threads(make, parameters):
    expected = []
    for i, item in enumerate(X):
        effect = make()
        single = isinstance(effect, fx.Effect)
        stages = [effect] if single else list(effect)
        overrides = [None] * len(stages) if parameters is None else [parameters[i]] if single else parameters[i]
        for stage, settings in zip(stages, overrides):
            for name, value in (settings or {}).items():
                setattr(stage, name, value)
        expected.append(effect.process(item, RATE, block_size=100, tail=0.01))
    expected = np.stack(expected)
    effect = make()
    effect.process(X[0], RATE)  # state and parameters the batch must leave alone
    before = repr(effect)
    for threads in (1, 2, 4):
        got = fx.process_batch(effect, X, RATE, parameters=parameters, threads=threads, block_size=100, tail=0.01)
        assert got.dtype == np.float32 and np.array_equal(got, expected), threads
    assert repr(effect) == before
    assert np.array_equal(effect.process(X[1], RATE, reset=False), make().process(np.concatenate([X[0], X[1]], 1),
                                                                                   RATE)[:, 3000:])


def test_out_is_written_in_place_or_refused_untouched():
    chain = fx.Chain([fx.Vibrato(), fx.Delay()])
    expected = chain.process(X[0], RATE, tail=0.01)
    out = np.empty_like(expected)
    assert chain.process(X[0], RATE, tail=0.01, out=out) is out and np.array_equal(out, expected)
    assert fx.Vibrato()(X[0], RATE, out=out[:, :3000].copy()).shape == (2, 3000)
    batch = np.empty((5, 2, 3000), np.float32)
    assert fx.process_batch(fx.Vibrato(), X, RATE, out=batch) is batch
    assert np.array_equal(batch[3], fx.Vibrato()(X[3], RATE))
    effect = fx.Delay()
    effect.process(X[0], RATE)
    for bad, error, words in [(np.zeros((2, 3001), np.float32), ValueError, "shape (2, 3000)"),
                              (np.zeros((2, 3000)), TypeError, "dtype float64"),
                              (np.zeros((3000, 2), np.float32).T, ValueError, "C-contiguous"),
                              ([[0.0] * 3000] * 2, TypeError, "got list")]:
        kept = np.copy(bad)
        with pytest.raises(error, match=re.escape(words)):
            effect.process(X[1], RATE, reset=False, out=bad)
        assert np.array_equal(np.asarray(bad), kept)
    # The refused calls changed nothing: the effect continues as if they never were.
    assert np.array_equal(effect.process(X[1], RATE, reset=False),
                          fx.Delay().process(np.concatenate([X[0], X[1]], 1), RATE)[:, 3000:])
    with pytest.raises(ValueError, match="one entry per item"):
        fx.process_batch(fx.Delay(), X, RATE, parameters=[None])
    with pytest.raises(ValueError, match="delay_ms must be"):
        fx.process_batch(fx.Delay(), X, RATE, parameters=[{"delay_ms": 5000}] * 5)


DRAW = """
import numpy as np, orvane_audioeffects as fx
chain = fx.Chain.random(np.random.default_rng(11), p=0.75)
print(repr(chain), fx.Chorus.random(np.random.default_rng(5), frequency=(1.0, 1.5)))
print(chain.process(np.random.default_rng(0).uniform(-1, 1, (2, 2000)).astype(np.float32), 48000).sum())
"""


def test_random_effects_come_from_the_seed_alone():
    np.random.seed(99)
    state = np.random.get_state()[1].copy()
    runs = [subprocess.run([sys.executable, "-c", DRAW], capture_output=True, text=True, check=True,
                           env=dict(os.environ, PYTHONHASHSEED=str(seed))).stdout for seed in (1, 2)]
    assert runs[0] == runs[1] and "Chorus(" in runs[0]
    exec(DRAW, {})  # in this process too, which must leave numpy's global state alone
    assert np.array_equal(np.random.get_state()[1], state)
    drawn = fx.Chorus.random(np.random.default_rng(5), frequency=(1.0, 1.5))
    assert 1.0 <= drawn.frequency <= 1.5 and 0.002 <= drawn.sweep_width <= 0.03
    for bad, error in [({"frequency": (0.0, 1.0)}, ValueError), ({"frequency": (2, 1)}, ValueError),
                       ({"depth": (1, 2)}, TypeError)]:
        with pytest.raises(error):
            fx.Chorus.random(np.random.default_rng(5), **bad)
    with pytest.raises(TypeError, match="Generator"):
        fx.Delay.random(np.random)
