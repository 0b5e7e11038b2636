"""Writes the package's type stub from the built module, so that editors and type checkers
see each effect's parameters with their types, ranges, units and defaults."""

import sys

import orvane_audioeffects as fx

# A numpy array gives an array, a CPU torch tensor a tensor.
SIGNATURE = ("    @overload\n"
             "    def process(self, x: {kind}, sample_rate: int, *, block_size: int = 512, reset: bool = True,\n"
             "                tail: float = 0.0, automation: {{automation}} = None,\n"
             "                out: Optional[{kind}] = None) -> {kind}:")
CALL = ("    @overload\n"
        "    def __call__(self, x: {kind}, sample_rate: int, *, out: Optional[{kind}] = None) -> {kind}: ...\n")
PROCESS = (
    SIGNATURE.format(kind="numpy.ndarray") + "\n"
    '        """{doc}"""\n'
    + SIGNATURE.format(kind="torch.Tensor") + " ...\n"
    + CALL.format(kind="numpy.ndarray") + CALL.format(kind="torch.Tensor")
    + "    def reset(self) -> None: ...\n"
)

BATCH = ("@overload\n"
         "def process_batch(effect_or_chain: Effect | Chain, x: {kind}, sample_rate: int, *,\n"
         "                  parameters: Optional[Sequence[Any]] = None, threads: Optional[int] = None,\n"
         "                  block_size: int = 512, tail: float = 0.0, out: Optional[{kind}] = None) -> {kind}:")


def indented(text, depth):
    return "\n".join((" " * depth + line) if line else "" for line in text.splitlines())


# The catalogue names a parameter's kind as the effects' table does; Python annotates with its type.
ANNOTATION = {"boolean": "bool", "int": "int", "float": "float"}


def effect_class(effect):
    cls = getattr(fx, effect["name"])
    lines = [f"class {effect['name']}(Effect):", f'    """{cls.__doc__.rstrip()}\n    """']
    arguments = ", ".join(f"{p['name']}: {ANNOTATION[p['type']]} = {p['default']!r}" for p in effect["parameters"])
    lines.append(f"    def __init__(self, *, preset: Optional[str] = None, {arguments}) -> None: ...")
    for p in effect["parameters"]:
        unit = f" {p['unit']}" if p["unit"] not in ("", "gain") else ""
        lines.append(f"    {p['name']}: {ANNOTATION[p['type']]}")
        offered = "" if p["type"] == "boolean" else f" Range {p['min']!r} to {p['max']!r}{unit};"
        lines.append(f'    """{p["description"]}{offered} default {p["default"]!r}."""')
    return "\n".join(lines) + "\n"


def main(path):
    process_doc = indented(fx.Effect.process.__doc__.split("\n\n", 1)[1].strip(), 8).lstrip()
    text = [
        "# Generated from the built module at build time; do not edit.",
        "from collections.abc import Iterable, MutableSequence",
        "from typing import Any, Mapping, Optional, Sequence, overload",
        "",
        "import numpy",
        "import torch  # optional: only for the tensor overloads",
        "",
        f"__version__: str = {fx.__version__!r}",
        "",
        "def effects() -> list[dict[str, Any]]:",
        f'    """{fx.effects.__doc__.split(chr(10), 1)[1].strip()}"""',
        "",
        "class Effect:",
        "    parameter_names: list[str]",
        "    @staticmethod",
        "    def presets() -> list[dict[str, Any]]: ...",
        "    @classmethod",
        "    def random(cls, rng: numpy.random.Generator, **ranges: tuple[float, float]) -> Effect:",
        f'        """{fx.Effect.random.__doc__}"""',
        PROCESS.format(automation="Optional[Mapping[str, numpy.ndarray]]", doc=process_doc),
    ]
    text += [effect_class(effect) for effect in fx.effects()]
    text += [
        "class Chain(MutableSequence[Effect]):",
        f'    """{fx.Chain.__doc__}"""',
        "    def __init__(self, effects: Iterable[Effect] = ...) -> None: ...",
        "    def insert(self, index: int, effect: Effect) -> None: ...",
        "    @classmethod",
        "    def random(cls, rng: numpy.random.Generator, effects: Sequence[Any] = ..., p: float = 0.5) -> Chain:",
        f'        """{fx.Chain.random.__doc__}"""',
        PROCESS.format(automation="Optional[Sequence[Optional[Mapping[str, numpy.ndarray]]]]",
                       doc=fx.Chain.process.__doc__.strip()),
        BATCH.format(kind="numpy.ndarray") + f'\n    """{fx.process_batch.__doc__}"""',
        BATCH.format(kind="torch.Tensor") + " ...",
    ]
    with open(path, "w", encoding="utf-8") as out:
        out.write("\n".join(text))


if __name__ == "__main__":
    main(sys.argv[1])
