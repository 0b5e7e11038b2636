"""torch tensors in and out: a tensor gives what its array gives, as a tensor; a tensor the
effects cannot read is refused with what to do; the package never needs torch."""

import os
import subprocess
import sys

import numpy as np
import pytest

import orvane_audioeffects as fx

torch = pytest.importorskip("torch", reason="python3-torch is not installed")

RATE = 48000


def noise(shape, seed=0):
    return np.random.default_rng(seed).uniform(-1, 1, shape).astype(np.float32)


def same(got, expected):
    assert isinstance(got, torch.Tensor) and got.dtype == torch.float32 and not got.requires_grad
    assert np.array_equal(got.numpy().view(np.uint32), expected.view(np.uint32))


@pytest.mark.parametrize("dtype", [torch.float32, torch.float64])
@pytest.mark.parametrize("shape", [(9000,), (2, 9000), (3, 9000)], ids=["mono", "stereo", "three"])
def test_a_tensor_gives_what_its_array_gives(dtype, shape):
    x = torch.from_numpy(noise(shape)).to(dtype)
    array = x.numpy()
    settings = {"block_size": 100, "tail": 0.01}
    # An effect, called both ways, continuing from one call to the next.
    effect, reference = fx.Flanger(frequency=2.5), fx.Flanger(frequency=2.5)
    same(effect(x, RATE), reference(array, RATE))
    same(effect.process(x, RATE, reset=False, **settings), reference.process(array, RATE, reset=False, **settings))
    same(effect.process(x=x, sample_rate=RATE), reference.process(array, RATE))
    # A chain, with an automation curve given as a tensor too.
    curve = torch.linspace(0.2, 5.0, shape[-1] + 480, dtype=torch.float64)
    chain = fx.Chain([fx.Chorus(), fx.Delay(delay_ms=7, feedback_level=0.75), fx.Vibrato()])
    same(chain.process(x, RATE, automation=[{"frequency": curve}, None, None], **settings),
         chain.process(array, RATE, automation=[{"frequency": curve.numpy()}, None, None], **settings))
    same(chain(x, RATE), chain(array, RATE))
    # Written in place into a float32 tensor, which comes back itself; a batch of tensors.
    given = torch.empty(shape[:-1] + (shape[-1],))
    assert chain(x, RATE, out=given) is given
    same(given, chain(array, RATE))
    batch = torch.stack([x, x.flip(-1)]).reshape(2, -1, shape[-1])
    same(fx.process_batch(chain, batch, RATE, threads=2), fx.process_batch(chain, batch.numpy(), RATE, threads=1))


def test_strided_and_autograd_tensors_are_read_in_place():
    frames_first = torch.from_numpy(noise((9000, 2), seed=1))
    expected = fx.PingPongDelay().process(frames_first.numpy().T, RATE)
    same(fx.PingPongDelay().process(frames_first.T, RATE), expected)  # audio readers' layout, transposed
    tracked = frames_first.T.clone().requires_grad_()
    same(fx.PingPongDelay().process(tracked, RATE), expected)


class CudaStandIn(torch.Tensor):
    """A CPU tensor that says it lives on a GPU: the check sees what a CUDA tensor shows it."""

    @property
    def device(self):
        return torch.device("cuda", 0)


def elsewhere():
    yield "meta", torch.empty(2, 100, device="meta")
    yield "cuda", torch.zeros(2, 100).as_subclass(CudaStandIn)
    if torch.cuda.is_available():
        yield "cuda", torch.zeros(2, 100, device="cuda")


@pytest.mark.parametrize("run", [lambda x, **out: fx.Delay()(x, RATE, **out),
                                 lambda x, **out: fx.Delay().process(x, RATE, **out),
                                 lambda x, **out: fx.Chain([fx.Chorus()])(x, RATE, **out)], ids=["call", "process", "chain"])
def test_tensors_the_effects_cannot_read_are_refused(run):
    for device, x in elsewhere():
        with pytest.raises(TypeError, match=rf"on the {device}(:0)? device; the effects run on the CPU: pass x\.cpu\(\)"):
            run(x)
    for dtype in [torch.float16, torch.bfloat16, torch.int16]:
        with pytest.raises(TypeError, match=rf"float32 or float64 samples; got {dtype}"):
            run(torch.zeros(2, 100, dtype=dtype))
    with pytest.raises(TypeError, match="numpy array \\(or a CPU torch tensor\\)"):
        run([0.0] * 100)
    with pytest.raises(TypeError, match=r"out is a torch tensor on the meta device; .* pass out\.cpu\(\)"):
        run(torch.zeros(2, 100), out=torch.empty(2, 100, device="meta"))


def test_the_package_neither_imports_nor_needs_torch():
    script = ("import sys, numpy as np, orvane_audioeffects as fx\n"
              "chain = fx.Chain([fx.Delay(), fx.Chorus()])\n"
              "assert type(chain(np.ones((2, 64), np.float32), 48000)) is np.ndarray\n"
              "assert 'torch' not in sys.modules, 'the package imported torch'\n"
              "sys.modules['torch'] = None  # torch made unimportable\n"
              "assert type(fx.Delay()(np.ones(64), 48000)) is np.ndarray\n")
    subprocess.run([sys.executable, "-c", script], check=True, env=os.environ)
