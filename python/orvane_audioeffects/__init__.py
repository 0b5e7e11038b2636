"""The Orvane audio effects over numpy arrays and CPU torch tensors: Delay, PingPongDelay,
Chorus, Flanger, Vibrato.

    import orvane_audioeffects as fx
    y = fx.Chain([fx.Chorus(frequency=0.5), fx.Delay(delay_ms=350)]).process(x, 48000, tail=2.0)

Effects are exact (bit for bit what the C++ nodes give for the same samples, parameters and
block size) and release the GIL while they process. Pickling or copy.deepcopy keeps an
effect's type and parameters; the copy starts with a clear state.
"""

import functools
import os
import sys
from collections.abc import MutableSequence

import numpy as np

from ._native import Chorus, Delay, Effect, Flanger, PingPongDelay, Vibrato, __version__, effects
from . import _native

__all__ = ["Chain", "Chorus", "Delay", "Effect", "Flanger", "PingPongDelay", "Vibrato", "effects", "process_batch",
           "__version__"]


# --- torch tensors -----------------------------------------------------------------------
# The module takes numpy arrays; a CPU tensor goes in as a numpy view of its own memory and
# the float32 result comes back as a tensor over the array's memory: no copy either way
# beyond what an array costs. torch is never imported here: a caller holding a tensor has.

def _cpu_view(tensor, name):
    torch = sys.modules["torch"]
    if tensor.device.type != "cpu":
        raise TypeError(f"{name} is a torch tensor on the {tensor.device} device; the effects run on the CPU: "
                        f"pass {name}.cpu() (and move the result back with .to(device))")
    if tensor.dtype not in (torch.float32, torch.float64):
        raise TypeError(f"{name} must hold float32 or float64 samples; got {tensor.dtype}")
    # The effects are not differentiable: the result takes no part in autograd.
    return tensor.detach().numpy()


def _with_tensors(run, x, out):
    """run(x, out) with CPU tensors as numpy views; the result as x's kind, or out itself."""
    torch = sys.modules.get("torch")
    if torch is None:
        return run(x, out)
    x_tensor, out_tensor = isinstance(x, torch.Tensor), isinstance(out, torch.Tensor)
    y = run(_cpu_view(x, "x") if x_tensor else x, _cpu_view(out, "out") if out_tensor else out)
    return out if out_tensor else torch.from_numpy(y) if x_tensor else y


def _taking_tensors(method):
    @functools.wraps(method)
    def process(self, x, sample_rate, *, out=None, **keywords):
        return _with_tensors(lambda x, out: method(self, x, sample_rate, out=out, **keywords), x, out)
    return process


Effect.process = _taking_tensors(Effect.process)
Effect.__call__ = _taking_tensors(Effect.__call__)


class Chain(MutableSequence):
    """Effects run one after the other with the same call; a list of effects otherwise."""

    def __init__(self, effects=()):
        self._effects = []
        for effect in effects:
            self.append(effect)

    @staticmethod
    def _checked(effect):
        if not isinstance(effect, Effect):
            raise TypeError(f"a Chain holds effects such as fx.Delay(), not {type(effect).__name__}")
        return effect

    def __getitem__(self, index):
        return Chain(self._effects[index]) if isinstance(index, slice) else self._effects[index]

    def __setitem__(self, index, effect):
        if isinstance(index, slice):
            self._effects[index] = [self._checked(each) for each in effect]
        else:
            self._effects[index] = self._checked(effect)

    def __delitem__(self, index):
        del self._effects[index]

    def __len__(self):
        return len(self._effects)

    def insert(self, index, effect):
        self._effects.insert(index, self._checked(effect))

    def __repr__(self):
        return f"Chain({self._effects!r})"

    def reset(self):
        """Clears every effect's state."""
        for effect in self._effects:
            effect.reset()

    def process(self, x, sample_rate, *, block_size=512, reset=True, tail=0.0, automation=None, out=None):
        """As Effect.process, through every effect in order; the tail is appended once, before
        the first. automation: a list of one dict (or None) per effect, or None."""
        automations = [None] * len(self) if automation is None else list(automation)
        effects = list(self._effects)
        return _with_tensors(lambda x, out: _native._process_chain(effects, x, sample_rate, block_size, reset, tail,
                                                                   automations, out), x, out)

    def __call__(self, x, sample_rate, *, out=None):
        return self.process(x, sample_rate, out=out)

    # The effects random() picks from by default: those that take any channel count.
    RANDOM_EFFECTS = ("Chorus", "Flanger", "Vibrato", "Delay")

    @classmethod
    def random(cls, rng, effects=RANDOM_EFFECTS, p=0.5):
        """A chain drawn with rng (a numpy.random.Generator): each effect listed (a class or a
        name), in order, is included with probability p and drawn with its class's random()."""
        if not isinstance(rng, np.random.Generator):
            raise TypeError(f"random takes a numpy.random.Generator, not {type(rng).__name__}")
        if isinstance(p, bool) or not isinstance(p, (int, float)) or not 0 <= p <= 1:
            raise ValueError(f"p is a probability from 0 to 1; got {p!r}")
        classes = [globals()[e] if isinstance(e, str) and e in _CATALOGUE else e for e in effects]
        for c in classes:
            if not (isinstance(c, type) and issubclass(c, Effect)):
                raise TypeError(f"effects lists effect classes or their names ({', '.join(_CATALOGUE)}); got {c!r}")
        return cls([c.random(rng) for c in classes if rng.random() < p])


def _random_effect(cls, rng, **ranges):
    """An effect of this class with every parameter but `enabled` drawn with rng (a
    numpy.random.Generator; global random state is never touched) from the range the effects'
    table gives for augmentation, uniformly on its scale (fx.effects() shows each: "augment").
    Keywords narrow a parameter's range: frequency=(0.5, 2.0), inside the parameter's own range
    and above 0 on a logarithmic scale."""
    if not isinstance(rng, np.random.Generator):
        raise TypeError(f"random takes a numpy.random.Generator (numpy.random.default_rng(seed)), "
                        f"not {type(rng).__name__}")
    parameters = {p["name"]: p for p in _CATALOGUE[cls.__name__]["parameters"] if "augment" in p}
    for name, bounds in ranges.items():
        if name not in parameters:
            raise TypeError(f"{cls.__name__}.random draws {', '.join(parameters)}; not {name!r}")
        p = parameters[name]
        log = p["augment"]["scale"] == "log"
        if (not isinstance(bounds, tuple) or len(bounds) != 2
                or not all(isinstance(b, (int, float)) and not isinstance(b, bool) for b in bounds)
                or not p["min"] <= bounds[0] <= bounds[1] <= p["max"] or (log and bounds[0] <= 0)):
            raise ValueError(f"{cls.__name__}.random: {name} takes (low, high) with {p['min']} <= low <= high <= "
                             f"{p['max']}{' and low > 0' if log else ''}; got {bounds!r}")
    values = {}
    for name, p in parameters.items():
        low, high = ranges.get(name, (p["augment"]["min"], p["augment"]["max"]))
        if p["augment"]["scale"] == "log":
            value = float(np.exp(rng.uniform(np.log(low), np.log(high))))
        else:
            value = float(rng.uniform(low, high))
        values[name] = int(round(value)) if p["type"] == "int" else min(max(value, low), high)
    return cls(**values)


Effect.random = classmethod(_random_effect)
_CATALOGUE = {e["name"]: e for e in effects()}


def _cores():
    return len(os.sched_getaffinity(0)) if hasattr(os, "sched_getaffinity") else (os.cpu_count() or 1)


def process_batch(effect_or_chain, x, sample_rate, *, parameters=None, threads=None, block_size=512, tail=0.0,
                  out=None):
    """Runs every item of x, of shape (batch, channels, frames), through the effect or chain,
    each from a clear state, on worker threads with the GIL released; returns a float32 array
    of shape (batch, channels, frames + tail frames), the same as a loop of process(...,
    reset=True) calls, whatever the thread count.

    parameters: None, or one entry per item overriding the effect's values for that item: a
        dict for one effect, a list of one dict (or None) per effect for a chain.
    threads: worker threads, 1 up; by default the cores this process may use.
    out: a float32 array in C order of the result's shape, written in place and returned.
    The effects passed in keep their own state and parameters."""
    single = isinstance(effect_or_chain, Effect)
    if not single and not isinstance(effect_or_chain, Chain):
        raise TypeError(f"process_batch takes an effect or a Chain, not {type(effect_or_chain).__name__}")
    effects = [effect_or_chain] if single else list(effect_or_chain)
    if threads is None:
        threads = _cores()
    if isinstance(threads, bool) or not isinstance(threads, int) or threads < 1:
        raise ValueError(f"threads must be a whole number from 1 up; got {threads!r}")
    return _with_tensors(lambda x, out: _native._process_batch(effects, single, x, sample_rate, parameters, threads,
                                                               block_size, tail, out), x, out)
