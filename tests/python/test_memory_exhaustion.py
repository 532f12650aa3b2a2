"""Running out of memory: in a child process whose address space is capped at
its usage after importing NumPy plus 512 MiB, requests that cannot be met
raise MemoryError; the process lives on and the module still works."""

import os
import subprocess
import sys
import textwrap

import pytest

pytestmark = pytest.mark.huge_allocation

PRELUDE = """
import os, resource
import numpy as np
import wayforge
from wayforge import InterpolationMethod, Path2D, ResamplingMethod

class Lying:
    # A sequence that claims 2**40 items (16 TiB of points) but has two.
    def __len__(self):
        return 2**40
    def __getitem__(self, i):
        if i >= 2:
            raise IndexError(i)
        return [float(i), 0.0]

setup = None
"""

CAP = """
with open("/proc/self/statm") as f:
    used = int(f.read().split()[0]) * os.sysconf("SC_PAGE_SIZE")
resource.setrlimit(resource.RLIMIT_AS, (used + (512 << 20), resource.RLIM_INFINITY))
"""

STILL_WORKS = """
p = Path2D(points=[[0, 0], [1, 0], [2, 1]])
p.add_associated_values([1.0, 2.0, 3.0])
q = p.resampled_path(ResamplingMethod.by_number_points(5), InterpolationMethod.Cubic)
assert len(q.points) == 5 and len(q.associated_values(0)) == 5
assert len(p.smoothed_path_chaikin(3).points) == 24
assert p.curvature_np.shape == (3,)
assert p.sub_path([0.5, 0.0]).points[0] == [0.5, 0.0]
print("still works")
"""

# name: (setup before the cap, the operation under it)
CASES = {
    "points with a lying length": ("", "Path2D(points=Lying())"),
    "values with a lying length": ("", "Path2D(x=Lying(), y=[0.0])"),
    "coordinates larger than the cap": ("big = np.zeros(40_000_000)", "Path2D(x=big, y=big)"),
    "points larger than the cap": ("big = np.zeros((40_000_000, 2))", "Path2D(points=big)"),
    "adding values": ("p = Path2D(points=[[0, 0]])", "p.add_associated_values(Lying())"),
    "resampling by number of points": (
        "p = Path2D(points=[[0, 0], [1, 0], [2, 1]])",
        "p.resampled_path(ResamplingMethod.by_number_points(10**8))"),
    "resampling partly allocated": (
        "p = Path2D(points=[[0, 0], [1, 0], [2, 1]])",
        "p.resampled_path(ResamplingMethod.by_number_points(4 * 10**7))"),
    "resampling by a tiny distance": (
        "p = Path2D(points=[[0, 0], [1000, 0]])",
        "p.resampled_path(ResamplingMethod.by_sampling_distance(1e-6), InterpolationMethod.Cubic)"),
    "resampling associated values": (
        "p = Path2D(points=[[0, 0], [1, 0], [2, 1]]); [p.add_associated_values([1, 2, 3]) for _ in range(8)]",
        "p.resampled_path(ResamplingMethod.by_number_points(10**7))"),
    "chaikin beyond any size": ("p = Path2D(points=[[0, 0], [1, 0], [2, 1]])", "p.smoothed_path_chaikin(60)"),
    "chaikin beyond the cap": ("p = Path2D(points=[[0, 0], [1, 0], [2, 1]])", "p.smoothed_path_chaikin(24)"),
    "a property list beyond the cap": ("p = Path2D(x=np.zeros(5_000_000), y=np.zeros(5_000_000))", "p.points"),
    "loading a pickled path beyond the cap": ("big = bytes(256 << 20)", "wayforge._restore('Path2D', 1, big, big, (big,))"),
}


def run_child(setup, operation):
    code = PRELUDE + setup + "\n" + CAP + textwrap.dedent(f"""
        try:
            {operation}
        except MemoryError:
            print("MemoryError")
        else:
            print("no error")
        """) + STILL_WORKS
    # A free-threaded CPython allocates objects with mimalloc, which reserves
    # 1 GiB of address space up front, before the cap is set; with a small
    # reserve its address space grows with the objects and the cap meets
    # them. Other builds ignore the setting.
    env = {**os.environ, "MIMALLOC_ARENA_RESERVE": "4096"}  # KiB
    return subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, timeout=120,
                          env=env)


@pytest.mark.parametrize("case", sorted(CASES))
def test_memory_error_and_the_module_still_works(case):
    result = run_child(*CASES[case])
    assert result.returncode == 0, result.stderr[-2000:]
    assert result.stdout.split() == ["MemoryError", "still", "works"], result.stdout + result.stderr[-2000:]
