"""Builds the Python package orvane_audioeffects with the project's CMake build (Release, the
libraries and the module only), for pip and `python -m build` (see pyproject.toml).

The effects libraries travel inside the package, beside the module, which finds them through
its run path ($ORIGIN): an installed wheel needs no build tree and no installed library."""

import os
import re
import shutil
import subprocess
import sys
from pathlib import Path

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

SOURCE = Path(__file__).resolve().parent
VERSION = re.search(r"project\(OrvaneAudioEffects VERSION ([0-9.]+)", (SOURCE / "CMakeLists.txt").read_text())[1]


class CMakeBuild(build_ext):
    """Configures, builds and installs the package's CMake component into a staging folder,
    then puts what it holds (module, libraries, type stub) where setuptools packs it."""

    def build_extension(self, ext):
        if shutil.which("cmake") is None:
            raise RuntimeError("building orvane_audioeffects needs cmake, a C++20 compiler, python3-dev, pybind11-dev "
                               "and python3-numpy (Debian's packages; scripts/install-deps.sh installs them)")
        temp = Path(self.build_temp).resolve()
        build, staging = temp / "cmake", temp / "staging"
        jobs = os.environ.get("CMAKE_BUILD_PARALLEL_LEVEL") or str(os.cpu_count() or 1)
        self.spawn(["cmake", "-S", str(SOURCE), "-B", str(build), "-DCMAKE_BUILD_TYPE=Release",
                    f"-DPython3_EXECUTABLE={sys.executable}", "-DORVANE_PYTHON_INSTALL_DIR=python",
                    "-DORVANE_PYTHON_BUNDLE_LIBRARIES=ON", "-DORVANE_BUILD_PYTHON=ON", "-DORVANE_BUILD_TESTS=OFF",
                    "-DORVANE_BUILD_TOOLS=OFF", "-DORVANE_BUILD_LV2=OFF", "-DORVANE_BUILD_BENCHMARKS=OFF",
                    "-DORVANE_BUILD_WEB=OFF"])
        self.spawn(["cmake", "--build", str(build), "--parallel", jobs])
        shutil.rmtree(staging, ignore_errors=True)
        self.spawn(["cmake", "--install", str(build), "--prefix", str(staging), "--component", "python"])
        package = Path(self.get_ext_fullpath(ext.name)).parent
        package.mkdir(parents=True, exist_ok=True)
        for file in (staging / "python" / "orvane_audioeffects").iterdir():
            shutil.copy2(file, package / file.name)


setup(
    version=VERSION,
    packages=["orvane_audioeffects"],
    package_dir={"": "python"},
    ext_modules=[Extension("orvane_audioeffects._native", sources=[])],
    cmdclass={"build_ext": CMakeBuild},
    # The CMake build lives beside the other build-* folders of the source tree.
    options={"build": {"build_base": "build-python"}},
    zip_safe=False,
)
