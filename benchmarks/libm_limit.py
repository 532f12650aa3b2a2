"""The plain C++ loops of libm_loops.cpp, built on first use with the
module's floating-point flags and called through ctypes on NumPy arrays."""

import ctypes
import hashlib
import os
import shutil
import subprocess

import numpy as np

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.join(HERE, "libm_loops.cpp")
FLAGS = ["-O3", "-DNDEBUG", "-ffp-contract=off", "-fno-math-errno", "-shared", "-fPIC"]

_lib = None


def load():
    """The loaded library, or None when no C++ compiler is found."""
    global _lib
    if _lib is not None:
        return _lib
    compiler = os.environ.get("CXX") or shutil.which("c++") or shutil.which("g++")
    if compiler is None:
        return None
    with open(SOURCE, "rb") as f:
        digest = hashlib.sha256(f.read() + " ".join(FLAGS).encode()).hexdigest()[:12]
    out_dir = os.path.join(HERE, "..", "build")
    os.makedirs(out_dir, exist_ok=True)
    target = os.path.join(out_dir, f"libm-loops-{digest}.so")
    if not os.path.exists(target):
        subprocess.run([compiler, *FLAGS, SOURCE, "-o", target], check=True)
    lib = ctypes.CDLL(target)
    pointer = ctypes.POINTER(ctypes.c_double)
    for name in ("atan2_central", "atan2_segments", "pow_central"):
        getattr(lib, name).argtypes = [pointer, pointer, ctypes.c_size_t, pointer]
        getattr(lib, name).restype = None
    _lib = lib
    return lib


def _ptr(a):
    return a.ctypes.data_as(ctypes.POINTER(ctypes.c_double))


def loop(name, x, y):
    """A callable that runs the loop `name` over contiguous x and y into a
    new array, as an attribute read makes one."""
    lib = load()
    fn = getattr(lib, name)
    n = len(x)

    def run(_=None):
        out = np.empty(n)
        fn(_ptr(x), _ptr(y), n, _ptr(out))
        return out

    return run
