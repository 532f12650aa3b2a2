import subprocess
import sys
import time

import pytest
from hypothesis import given, settings, strategies as st

from wayforge import Path2D


@pytest.mark.parametrize(
    "points, k, expected",
    [
        ([[0, 0], [4, 0]], 1, [[0, 0], [1, 0], [3, 0], [4, 0]]),
        ([[0, 0], [1, 0], [1, 1]], 1, [[0, 0], [0.25, 0], [0.75, 0], [1, 0.25], [1, 0.75], [1, 1]]),
        ([[0, 0], [1, 0], [1, 1]], 0, [[0, 0], [1, 0], [1, 1]]),
        ([], 5, []),
        # The end points are re-inserted; the previous interior is not kept.
        ([[0, 0], [4, 0]], 2, [[0, 0], [0.25, 0], [0.75, 0], [1.5, 0], [2.5, 0], [3.25, 0], [3.75, 0], [4, 0]]),
    ],
)
def test_worked_examples(points, k, expected):
    assert Path2D(points).smoothed_path_chaikin(k).points == expected


def test_one_point_path_is_a_deep_copy_with_values_and_cells():
    p = Path2D([[2, 3]])
    p.length
    p.add_associated_values([7])
    r = p.smoothed_path_chaikin(2**64 - 1)
    assert r is not p and r.points == [[2.0, 3.0]]
    assert r.associated_values(0) == [7.0]
    assert repr(r) == repr(p)


def test_two_or_more_points_carry_no_values():
    p = Path2D([[0, 0], [1, 0], [1, 1]])
    p.add_associated_values([1, 2, 3])
    r = p.smoothed_path_chaikin(0)
    assert r.points == p.points and r.associated_values(0) is None
    assert "path_length_per_point: OnceCell(<uninit>)" in repr(r)


coordinate = st.floats(-1e6, 1e6, allow_nan=False)


@settings(max_examples=60)
@given(st.lists(st.tuples(coordinate, coordinate), min_size=2, max_size=20), st.integers(0, 6))
def test_end_points_kept_and_count_doubles(points, k):
    r = Path2D([list(q) for q in points]).smoothed_path_chaikin(k)
    assert len(r.points) == len(points) * 2**k
    assert r.points[0] == list(points[0]) and r.points[-1] == list(points[-1])
    assert r.x == [q[0] for q in r.points] and r.y == [q[1] for q in r.points]


def test_straight_line_stays_on_its_line():
    r = Path2D([[i, 2 * i] for i in range(6)]).smoothed_path_chaikin(3)
    assert all(y == 2 * x for x, y in r.points)


@pytest.mark.huge_allocation
@pytest.mark.parametrize("points, k", [([[0, 0], [1, 0]], 70), ([[i, 0] for i in range(1000)], 40), ([[0, 0], [1, 0]], 2**64 - 1)])
def test_huge_counts_raise_memory_error_quickly(points, k):
    p = Path2D(points)
    start = time.perf_counter()
    with pytest.raises(MemoryError):
        p.smoothed_path_chaikin(k)
    assert time.perf_counter() - start < 1.0
    assert len(p.smoothed_path_chaikin(1).points) == 2 * len(points)  # still usable


@pytest.mark.huge_allocation
def test_allocation_failure_under_a_memory_limit():
    # 1e5 points and 11 iterations need ~3 GiB: more than the limit allows.
    code = (
        "import resource, wayforge\n"
        "resource.setrlimit(resource.RLIMIT_AS, (1 << 31, resource.RLIM_INFINITY))\n"
        "p = wayforge.Path2D([[i, i % 7] for i in range(100000)])\n"
        "try:\n    p.smoothed_path_chaikin(11)\nexcept MemoryError:\n    print('MemoryError')\n"
        "print(len(p.smoothed_path_chaikin(2).points))\n"
    )
    out = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, timeout=60)
    assert out.stdout.split() == ["MemoryError", "400000"], out.stderr


def test_docstring():
    assert Path2D.smoothed_path_chaikin.__text_signature__ == "($self, num_iterations)"
    assert Path2D.smoothed_path_chaikin.__doc__ == (
        "smoothed_path_chaikin(num_iterations)\n\n"
        "Smoothes the path using the Chaikin's path smoothing algorithm.\n\n"
        ":param num_iterations: Number of iterations used for Chaikin's path smoothing algorithm.\n\n"
        ":type num_iterations: int\n\n"
        ":returns: The smoothed path\n:rtype: Path2D"
    )


@pytest.mark.parametrize(
    "args, kwargs, error, message",
    [
        ((-1,), {}, OverflowError, "can't convert negative int to unsigned"),
        ((2**64,), {}, OverflowError, "int too big to convert"),
        ((2.0,), {}, TypeError, "argument 'num_iterations': 'float' object cannot be interpreted as an integer"),
        ((), {}, TypeError, "Path2D.smoothed_path_chaikin() missing 1 required positional argument: 'num_iterations'"),
        ((1, 2), {}, TypeError, "Path2D.smoothed_path_chaikin() takes 1 positional arguments but 2 were given"),
        ((), {"n": 1}, TypeError, "Path2D.smoothed_path_chaikin() got an unexpected keyword argument 'n'"),
    ],
)
def test_argument_errors(args, kwargs, error, message):
    with pytest.raises(error) as info:
        Path2D([[0, 0], [1, 0]]).smoothed_path_chaikin(*args, **kwargs)
    assert type(info.value) is error and str(info.value) == message


def test_keyword_and_bool_arguments():
    p = Path2D([[0, 0], [1, 0]])
    assert len(p.smoothed_path_chaikin(num_iterations=True).points) == 4
