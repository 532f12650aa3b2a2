"""Circle segments and circle-fit curvature of Path2D."""

import math
import os
import subprocess
import sys
import textwrap

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

from wayforge import Path2D

np = pytest.importorskip("numpy")


def raises_panic(call):
    """Runs call and checks that it raised PanicException (a BaseException)."""
    try:
        call()
    except BaseException as e:  # noqa: BLE001 - PanicException is not an Exception
        assert type(e).__name__ == "PanicException" and not isinstance(e, Exception)
        return
    pytest.fail("no PanicException raised")


def arc(radius, angles, cx=0.0, cy=0.0):
    return [[cx + radius * math.cos(a), cy + radius * math.sin(a)] for a in angles]


def line_then_arc():
    """Six points on the x axis, then eight on a circle of radius 5 tangent to it."""
    line = [[float(i), 0.0] for i in range(6)]
    turn = [[5 + 5 * math.sin(0.2 * k), 5 - 5 * math.cos(0.2 * k)] for k in range(1, 9)]
    return line + turn


def general_position(n):
    return [[float(i), float((i * i * 7) % 5) + 0.1 * i] for i in range(n)]


# ---- NumPy reference: the same decomposition with one np.linalg.svd per fit ----

def reference_fit(x, y):
    x = np.asarray(x, dtype=float)
    y = np.asarray(y, dtype=float)
    with np.errstate(all="ignore"):
        xm, ym = x.mean(), y.mean()
        xc, yc = x - xm, y - ym
        z = xc * xc + yc * yc
        zm = z.mean()
        s = math.sqrt(zm) + math.sqrt(zm)
        m = np.column_stack([(z - zm) / s, xc, yc])
        if not np.isfinite(m).all():
            return math.nan, math.nan
        a0, a1, a2 = np.linalg.svd(m, full_matrices=False)[2][2]
        a0 = a0 / s
        a3 = -zm * a0
        cx = xm + (-0.5 * a1) / a0
        cy = ym + (-0.5 * a2) / a0
        r = math.sqrt(-4 * a0 * a3 + (a2 * a2 + a1 * a1)) * 0.5 / abs(a0)
        d = np.sqrt((x - cx) ** 2 + (y - cy) ** 2) - r
        return r, math.sqrt(float(np.sum(d * d)) / len(x))


def reference_segments(x, y, start, end, max_rmse):
    if end - start < 3:
        return [(start, end, 0.0)]
    r, rmse = reference_fit(x[start:end], y[start:end])
    if max_rmse >= rmse:
        return [(start, end, 1 / r)]
    mid = start + (end - start) // 2
    left = reference_segments(x, y, start, mid, max_rmse)
    right = reference_segments(x, y, mid, end, max_rmse)
    g, h = left[-1][0], right[0][1]
    r, rmse = reference_fit(x[g:h], y[g:h])
    if max_rmse >= rmse:
        return left[:-1] + [(g, h, 1 / r)] + right[1:]
    return left + right


# ---- worked examples ----

@pytest.mark.parametrize("turn", [0.1, -0.1], ids=["left", "right"])
def test_points_on_one_circle_form_one_segment(turn):
    path = Path2D(points=arc(10, [turn * i for i in range(20)]))
    [(first, end, curvature)] = path.find_circle_segments(0, 20)
    assert (first, end) == (0, 20)
    assert curvature == pytest.approx(0.1, rel=1e-12)
    assert path.compute_circle_fit_curvature() == pytest.approx([0.1] * 20, rel=1e-12)


def test_line_then_arc_splits_at_the_middle_and_keeps_the_seam():
    path = Path2D(points=line_then_arc())
    segments = path.find_circle_segments(0, 14, 0.15)
    assert [s[:2] for s in segments] == [(0, 7), (7, 14)]
    assert segments[0][2] == pytest.approx(0.01188, abs=5e-6)
    assert segments[1][2] == pytest.approx(0.2, rel=1e-12)
    curvature = path.compute_circle_fit_curvature(max_rmse=0.15)
    assert curvature == [segments[0][2]] * 7 + [segments[1][2]] * 7


@pytest.mark.parametrize("max_rmse", [-1.0, math.nan, -math.inf])
@pytest.mark.parametrize(
    "n, leaves",
    [(7, [(0, 1), (1, 3), (3, 5), (5, 7)]), (8, [(0, 2), (2, 4), (4, 6), (6, 8)])],
)
def test_rejecting_every_fit_gives_the_leaves_of_the_bisection(n, leaves, max_rmse):
    path = Path2D(points=general_position(n))
    assert path.find_circle_segments(0, n, max_rmse) == [(a, b, 0.0) for a, b in leaves]
    assert path.compute_circle_fit_curvature(max_rmse) == [0.0] * n


def test_straight_line_gets_zero_curvature():
    path = Path2D(points=[[float(i), 0.0] for i in range(8)])
    assert all(abs(k) < 1e-9 for k in path.compute_circle_fit_curvature())


def test_a_fit_whose_rmse_equals_the_bound_is_accepted():
    # Four points of the unit circle fit it with an rmse of exactly 0.0.
    path = Path2D(points=[[1, 0], [0, 1], [-1, 0], [0, -1]])
    assert path.find_circle_segments(0, 4, 0.0) == [(0, 4, 1.0)]
    assert path.find_circle_segments(0, 4, -5e-324) == [(0, 2, 0.0), (2, 4, 0.0)]


@pytest.mark.parametrize(
    "points, expected",
    [([[1.0, 1.0]] * 6, [0.0] * 6),
     (arc(5, [0.1 * i for i in range(6)]) + arc(5, [0.5] * 6), [0.2] * 12),
     ([[0.0, 0.0], [1.0, math.nan], [2.0, 0.0], [3.0, 1.0], [4.0, 0.0]], None),
     ([[0.0, 0.0], [1.0, math.inf], [2.0, 0.0], [3.0, 1.0]], None),
     ([[0.0, 0.0], [1e200, 1.0], [2.0, 0.0]], [0.0] * 3)],
    ids=["coincident", "standing_still_on_the_arc", "nan", "inf", "overflow"],
)
def test_coincident_and_non_finite_points_end_without_error(points, expected):
    # A fit over such points is NaN (LAPACK never returns from a NaN matrix,
    # so it is not asked) and never accepted: its range is split further.
    curvature = Path2D(points=points).compute_circle_fit_curvature()
    assert len(curvature) == len(points)
    assert all(k >= 0 for k in curvature)
    if expected is not None:
        assert curvature == pytest.approx(expected, rel=1e-9)


@pytest.mark.parametrize("seed", range(6))
def test_matches_numpy_reference_on_noisy_paths(seed):
    rng = np.random.default_rng(seed)
    n = int(rng.integers(20, 400))
    heading = np.cumsum(rng.normal(0, 0.15, n))
    x = np.cumsum(np.cos(heading)) + rng.normal(0, 0.02, n)
    y = np.cumsum(np.sin(heading)) + rng.normal(0, 0.02, n)
    path = Path2D(x=x, y=y)
    ours = path.find_circle_segments(0, n, 0.05)
    theirs = reference_segments(x, y, 0, n, 0.05)
    assert [s[:2] for s in ours] == [s[:2] for s in theirs]
    assert [s[2] for s in ours] == pytest.approx([s[2] for s in theirs], rel=1e-6, abs=1e-12)
    assert len(ours) > 1


# ---- ranges ----

@pytest.mark.parametrize(
    "start, end", [(100, 102), (5, 5), (9, 10), (0, 2), (2**64 - 2, 2**64 - 1)]
)
def test_ranges_below_three_points_come_back_unchecked(start, end):
    path = Path2D(points=general_position(10))
    assert path.find_circle_segments(start, end) == [(start, end, 0.0)]


@pytest.mark.parametrize(
    "start, end", [(3, 2), (1, 0), (0, 11), (8, 11), (2**64 - 1, 0), (2**64 - 2, 0)]
)
def test_reversed_or_out_of_range_is_an_internal_error(start, end):
    # Also the reversed ranges whose unsigned length wraps around to 1 or 2.
    path = Path2D(points=general_position(10))
    raises_panic(lambda: path.find_circle_segments(start, end))
    assert path.find_circle_segments(0, 10, -1)[0] == (0, 2, 0.0)  # still usable


def test_sub_range_is_decomposed_on_its_own():
    path = Path2D(points=[[0.0, 0.0]] * 5 + arc(10, [0.1 * i for i in range(20)]))
    [(first, end, curvature)] = path.find_circle_segments(5, 25)
    assert (first, end) == (5, 25) and curvature == pytest.approx(0.1)


def test_surplus_x_values_are_a_range_beyond_the_y_values():
    path = Path2D(x=[0, 1, 2, 3], y=[0, 1, 0])
    raises_panic(lambda: path.compute_circle_fit_curvature())
    assert Path2D(x=[0, 1, 2], y=[0, 1, 0, 5]).compute_circle_fit_curvature() == [
        pytest.approx(1.0)] * 3


@pytest.mark.parametrize("n", [0, 1, 2])
def test_fewer_than_three_points(n):
    path = Path2D(points=general_position(n))
    assert path.compute_circle_fit_curvature() == [0.0] * n
    assert path.find_circle_segments(0, n) == [(0, n, 0.0)]


# ---- properties ----

coordinate = st.one_of(
    st.floats(-100, 100),
    st.sampled_from([0.0, 1.0, math.nan, math.inf, -math.inf, 1e200]),
)


@settings(max_examples=200, deadline=None)
@given(
    points=st.lists(st.tuples(coordinate, coordinate), max_size=40),
    max_rmse=st.one_of(st.floats(0, 10), st.just(math.nan)),
)
def test_segments_tile_the_path_and_curvature_is_never_negative(points, max_rmse):
    path = Path2D(points=points)
    n = len(points)
    segments = path.find_circle_segments(0, n, max_rmse)
    assert segments[0][0] == 0 and segments[-1][1] == n
    assert all(a[1] == b[0] for a, b in zip(segments, segments[1:]))
    assert all(k >= 0 for _, _, k in segments)
    curvature = path.compute_circle_fit_curvature(max_rmse)
    assert curvature == [k for a, b, k in segments for _ in range(b - a)]


# ---- Python face ----

def test_docstrings_and_signatures():
    assert Path2D.compute_circle_fit_curvature.__text_signature__ == "($self, max_rmse=0.15)"
    assert Path2D.compute_circle_fit_curvature.__doc__.split("\n") == [
        "compute_circle_fit_curvature(max_rmse=0.15)",
        "",
        "Computes the curvature by decomposing the path into arc segments.",
        "",
        ":param max_rmse: The maximum RMSE (root mean squared error) that is not exceeded when",
        " " * 20 + "fitting the arc segments",
        "",
        ":type max_rmse: float",
        "",
        ":returns: The curvature of the path",
        ":rtype: list[float]",
    ]
    assert Path2D.find_circle_segments.__text_signature__ == "($self, start, end, max_rmse=0.15)"
    assert Path2D.find_circle_segments.__doc__.split("\n") == [
        "find_circle_segments(start, end, max_rmse=0.15)",
        "",
        "Decomposes the path into its circle segments, such that the maximum",
        "RMSE (root mean squared error) is not exceeded.",
        "",
        ":param start: Index of point to start from",
        ":param end: Index of point to stop with",
        ":param max_rmse: Maximum RMSE",
        "",
        ":type start: int",
        ":type end: int",
        ":type max_rmse: float",
        "",
        ":returns: The list of arc segments",
        ":rtype: list[tuple[int, int, float]]",
    ]


def test_results_are_new_lists_of_python_numbers():
    path = Path2D(points=line_then_arc())
    segments = path.find_circle_segments(start=0, end=14, max_rmse=0.15)
    assert all(type(s) is tuple and [type(v) for v in s] == [int, int, float] for s in segments)
    curvature = path.compute_circle_fit_curvature(0.15)
    assert type(curvature) is list and all(type(k) is float for k in curvature)
    # the default bound is 0.15
    assert path.find_circle_segments(0, 14) == segments
    assert path.compute_circle_fit_curvature() == curvature


@pytest.mark.parametrize(
    "call, error, message",
    [
        (lambda p: p.find_circle_segments(), TypeError,
         "Path2D.find_circle_segments() missing 2 required positional arguments: 'start' and 'end'"),
        (lambda p: p.compute_circle_fit_curvature(0.1, 0.2), TypeError,
         "Path2D.compute_circle_fit_curvature() takes from 0 to 1 positional arguments but 2 were given"),
        (lambda p: p.find_circle_segments(-1, 2), OverflowError,
         "can't convert negative int to unsigned"),
        (lambda p: p.find_circle_segments(2.0, "x"), TypeError,
         "argument 'start': 'float' object cannot be interpreted as an integer"),
        (lambda p: p.find_circle_segments(0, None), TypeError,
         "argument 'end': 'NoneType' object cannot be interpreted as an integer"),
        (lambda p: p.find_circle_segments(0, 3, None), TypeError,
         "argument 'max_rmse': must be real number, not NoneType"),
        (lambda p: p.compute_circle_fit_curvature("0.1"), TypeError,
         "argument 'max_rmse': must be real number, not str"),
    ],
)
def test_argument_errors(call, error, message):
    path = Path2D(points=general_position(5))
    with pytest.raises(error) as info:
        call(path)
    assert type(info.value) is error and str(info.value) == message


# ---- LAPACK: loaded at the first circle fit, on one thread ----

def run_python(code):
    done = subprocess.run([sys.executable, "-c", textwrap.dedent(code)], capture_output=True,
                          text=True, timeout=120)
    assert done.returncode == 0, done.stderr
    return done.stdout.strip()


def test_import_loads_no_lapack_and_starts_no_thread():
    out = run_python("""
        import os, sys
        before = len(os.listdir("/proc/self/task"))
        import wayforge
        after = len(os.listdir("/proc/self/task"))
        with open("/proc/self/maps") as maps:
            mapped = "libscipy_openblas" in maps.read()
        print(before, after, mapped, "scipy_openblas32" in sys.modules)
    """)
    before, after, mapped, imported = out.split()
    assert after == before and mapped == imported == "False"


def test_lapack_runs_on_one_thread_after_a_fit():
    threadpoolctl = pytest.importorskip("threadpoolctl")
    import scipy_openblas32

    Path2D(points=arc(5, [0.1, 0.7, 1.3, 2.0, 2.9])).compute_circle_fit_curvature()
    lib_dir = os.path.realpath(scipy_openblas32.get_lib_dir())
    # NumPy's own OpenBLAS is another library; only ours is looked at.
    ours = [info for info in threadpoolctl.threadpool_info()
            if os.path.realpath(info["filepath"]).startswith(lib_dir + os.sep)]
    assert [info["num_threads"] for info in ours] == [1]


@pytest.mark.parametrize("setup, cause", [
    ("sys.modules['scipy_openblas32'] = None", "ModuleNotFoundError"),
    ("sys.modules['scipy_openblas32'] = types.SimpleNamespace("
     "get_lib_dir=lambda: '/nonexistent', get_library=lambda: 'scipy_openblas')", "OSError"),
    ("sys.modules['scipy_openblas32'] = types.SimpleNamespace(get_lib_dir=lambda: 1 / 0)",
     "ZeroDivisionError"),
], ids=["missing", "no-library", "broken"])
def test_missing_lapack_is_an_import_error_at_the_first_fit(setup, cause):
    out = run_python(f"""
        import importlib.util, sys, types
        {setup}
        import wayforge
        p = wayforge.Path2D(points=[[0, 0], [1, 1], [2, 0], [3, 1]])
        for call in (lambda: p.compute_circle_fit_curvature(),
                     lambda: p.find_circle_segments(0, 4)):
            try:
                call()
            except ImportError as e:
                assert type(e) is ImportError and e.name == "scipy_openblas32", repr(e)
                assert "'scipy-openblas32'" in str(e), str(e)
                print(type(e.__cause__).__name__)
            else:
                print("no error")
        # Everything else works without it.
        assert p.resampled_path(wayforge.ResamplingMethod.by_number_points(3)).points[-1] == [3, 1]
        if importlib.util.find_spec("clarabel"):
            assert p.smoothed_path_elastic_band(0.1) is not None
        assert len(p.curvature) == 4
        # A later fit tries again and succeeds once the package is there.
        del sys.modules["scipy_openblas32"]
        print(len(p.find_circle_segments(0, 4)) > 0)
    """)
    assert out.split() == [cause, cause, "True"]
