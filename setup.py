"""Builds velmora's compiled core with the project's CMake for pip (see pyproject.toml).

VELMORA_BUILD_DIR names a CMake build folder to build the core in (one made
already is reused); without it a folder under the setuptools build folder.
"""

import os
import pathlib
import shutil
import subprocess
import sys

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

ROOT = pathlib.Path(__file__).resolve().parent


class cmake_extension(Extension):
    def __init__(self, name):
        super().__init__(name, sources=[])


class cmake_build(build_ext):
    def build_extension(self, ext):
        folder = pathlib.Path(os.environ.get("VELMORA_BUILD_DIR") or pathlib.Path(self.build_temp).resolve() / "cmake")
        if not (folder / "CMakeCache.txt").exists():
            if not (ROOT / "CMakeLists.txt").exists():
                sys.exit(f"velmora: no CMakeLists.txt beside {__file__} and no VELMORA_BUILD_DIR to build in")
            # The module alone: no window, tests, benchmarks or browser core.
            subprocess.check_call(
                ["cmake", "-S", str(ROOT), "-B", str(folder), "-DCMAKE_BUILD_TYPE=Release", f"-DPython_EXECUTABLE={sys.executable}",
                 "-DVELMORA_WINDOW=OFF", "-DVELMORA_TESTS=OFF", "-DVELMORA_BENCH=OFF", "-DVELMORA_WEB=OFF"])
        jobs = str(os.cpu_count() or 1)
        subprocess.check_call(["cmake", "--build", str(folder), "--target", "velmora_python", "-j", jobs])
        built = sorted((folder / "python" / "velmora").glob("_velmora*.so")) + sorted((folder / "python" / "velmora").glob("_velmora*.pyd"))
        if not built:
            sys.exit(f"velmora: the build in {folder} made no compiled core (are pybind11 and numpy installed for {sys.executable}?)")
        target = pathlib.Path(self.get_ext_fullpath(ext.name))
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(built[-1], target)


setup(ext_modules=[cmake_extension("velmora._velmora")], cmdclass={"build_ext": cmake_build})
