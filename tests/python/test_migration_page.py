"""docs/from-torchaudio.md runs as written: its python blocks, in order, in one namespace (the
torchaudio snippets it replaces are marked `python torchaudio` and are not run)."""

import re
from pathlib import Path

import pytest

pytest.importorskip("torch", reason="the page's examples take torch tensors; python3-torch is not installed")

PAGE = Path(__file__).resolve().parents[2] / "docs" / "from-torchaudio.md"


def test_the_pages_examples_run():
    blocks = re.findall(r"^```python\n(.*?)^```$", PAGE.read_text(encoding="utf-8"), re.DOTALL | re.MULTILINE)
    assert len(blocks) >= 6, "the page lost its examples"
    namespace = {}
    for number, block in enumerate(blocks, 1):
        try:
            exec(compile(block, f"{PAGE.name}, python block {number}", "exec"), namespace)
        except Exception as error:
            pytest.fail(f"python block {number} of {PAGE.name} fails: {error!r}\n{block}")
