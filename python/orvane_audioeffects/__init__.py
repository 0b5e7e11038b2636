"""The Orvane audio effects over numpy arrays and CPU torch tensors: Delay, PingPongDelay,
Chorus, Flanger, Vibrato.

    import orvane_audioeffects as fx
    y = fx.Chain([fx.Chorus(frequency=0.5), fx.Delay(delay_ms=350)]).process(x, 48000, tail=2.0)

Effects are exact (bit for bit what the C++ nodes give for the same samples, parameters and
block size) and release the GIL while they process. Pickling or copy.deepcopy keeps an
effect's type and parameters; the copy starts with a clear state.
"""

import functools
import sys
from collections.abc import MutableSequence

from ._native import Chorus, Delay, Effect, Flanger, PingPongDelay, Vibrato, __version__, effects
from . import _native

__all__ = ["Chain", "Chorus", "Delay", "Effect", "Flanger", "PingPongDelay", "Vibrato", "effects", "__version__"]


# --- torch tensors -----------------------------------------------------------------------
# The module takes numpy arrays; a CPU tensor goes in as a numpy view of its own memory and
# the float32 result comes back as a tensor over the array's memory: no copy either way
# beyond what an array costs. torch is never imported here: a caller holding a tensor has.

def _samples(x):
    """x as the module takes it, and what turns the result into x's kind (None: unchanged)."""
    torch = sys.modules.get("torch")
    if torch is None or not isinstance(x, torch.Tensor):
        return x, None
    if x.device.type != "cpu":
        raise TypeError(f"x is a torch tensor on the {x.device} device; the effects run on the CPU: "
                        "pass x.cpu() (and move the result back with .to(device))")
    if x.dtype not in (torch.float32, torch.float64):
        raise TypeError(f"x must hold float32 or float64 samples; got {x.dtype}")
    # The effects are not differentiable: the result takes no part in autograd.
    return x.detach().numpy(), torch.from_numpy


def _taking_tensors(method):
    @functools.wraps(method)
    def process(self, x, *args, **kwargs):
        x, back = _samples(x)
        y = method(self, x, *args, **kwargs)
        return y if back is None else back(y)
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

    def process(self, x, sample_rate, *, block_size=512, reset=True, tail=0.0, automation=None):
        """As Effect.process, through every effect in order; the tail is appended once, before
        the first. automation: a list of one dict (or None) per effect, or None."""
        automations = [None] * len(self) if automation is None else list(automation)
        x, back = _samples(x)
        y = _native._process_chain(list(self._effects), x, sample_rate, block_size, reset, tail, automations)
        return y if back is None else back(y)

    def __call__(self, x, sample_rate):
        return self.process(x, sample_rate)
