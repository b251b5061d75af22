"""The package with the engine module the project's CMake builds.

The module is taken from the build folder (QUORVANT_BUILD_DIR, else ../build); when
it is not there, CMake builds it (the libraries only, no window) in ../build-python.
"""

import glob
import os
import shutil
import subprocess
import sys
from pathlib import Path

from setuptools import setup
from setuptools.command.build_py import build_py
from setuptools.dist import Distribution

HERE = Path(__file__).resolve().parent
ROOT = HERE.parent


def built_module():
    builds = [Path(os.environ["QUORVANT_BUILD_DIR"])] if "QUORVANT_BUILD_DIR" in os.environ \
        else [ROOT / "build", ROOT / "build-python"]
    for build in builds:
        found = glob.glob(str(build / "python" / "quorvant" / "_quorvant*.so"))
        if found:
            return found[0]
    build = builds[-1]
    subprocess.check_call(["cmake", "-S", str(ROOT), "-B", str(build), "-DCMAKE_BUILD_TYPE=Release",
                           "-DQUORVANT_CORE_ONLY=ON", "-DBUILD_TESTING=OFF",
                           f"-DPython_EXECUTABLE={sys.executable}"])
    subprocess.check_call(["cmake", "--build", str(build), "--target", "_quorvant", "-j", "2"])
    return glob.glob(str(build / "python" / "quorvant" / "_quorvant*.so"))[0]


class BuildWithModule(build_py):
    def run(self):
        super().run()
        target = Path(self.build_lib) / "quorvant"
        target.mkdir(parents=True, exist_ok=True)
        shutil.copy2(built_module(), target)


class BinaryDistribution(Distribution):
    def has_ext_modules(self):
        return True


setup(packages=["quorvant"], package_data={"quorvant": ["*.pyi", "py.typed"]},
      cmdclass={"build_py": BuildWithModule}, distclass=BinaryDistribution)
