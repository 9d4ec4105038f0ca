"""Builds the korvel extension with CMake and packages it as a stable-ABI wheel.

The wheel holds the package `korvel` (the extension as korvel/__init__.abi3.so,
so the import name and every function's module stay `korvel`), its type stub
and py.typed marker, and the `korvel` command.
"""
import os
import shutil
import subprocess
import sys
from pathlib import Path

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext
from distutils.command.build_scripts import build_scripts  # noqa: E402 (setuptools provides it)

ROOT = Path(__file__).resolve().parent
# Kept apart from a developer's own build/ configuration.
BUILD = ROOT / "build" / "python"
CMAKE_BUILD = BUILD / "cmake"
COMMAND = BUILD / "bin" / "korvel"


class CMakeBuild(build_ext):
    def build_extension(self, ext):
        jobs = os.environ.get("KORVEL_BUILD_JOBS", "2")
        subprocess.check_call([
            "cmake", "-S", str(ROOT), "-B", str(CMAKE_BUILD),
            "-DCMAKE_BUILD_TYPE=Release", "-DKORVEL_TESTS=OFF",
            f"-DPython3_EXECUTABLE={sys.executable}",
        ])
        subprocess.check_call([
            "cmake", "--build", str(CMAKE_BUILD), "-j", jobs,
            "--target", "korvel_module", "korvel_cli",
        ])
        target = Path(self.get_ext_fullpath(ext.name))
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(CMAKE_BUILD / "korvel.abi3.so", target)
        shutil.copyfile(ROOT / "python" / "korvel.pyi", target.parent / "__init__.pyi")
        shutil.copyfile(ROOT / "python" / "py.typed", target.parent / "py.typed")
        COMMAND.parent.mkdir(parents=True, exist_ok=True)
        shutil.copy2(CMAKE_BUILD / "korvel", COMMAND)


class CopyScripts(build_scripts):
    """The command is a native executable: copied byte for byte, with its mode,
    where the default would read it as a Python script."""

    def copy_scripts(self):
        self.mkpath(self.build_dir)
        outfiles = []
        for script in self.scripts:
            target = os.path.join(self.build_dir, os.path.basename(script))
            self.copy_file(script, target)
            outfiles.append(target)
        return outfiles, outfiles


setup(
    ext_modules=[Extension("korvel.__init__", sources=[], py_limited_api=True)],
    cmdclass={"build_ext": CMakeBuild, "build_scripts": CopyScripts},
    # No Python sources: the C++ folders under src/ are not packages.
    packages=[],
    py_modules=[],
    scripts=[str(COMMAND.relative_to(ROOT))],
    options={
        "build": {"build_base": str(BUILD.relative_to(ROOT))},
        "bdist_wheel": {"py_limited_api": "cp39"},
    },
    zip_safe=False,
)
