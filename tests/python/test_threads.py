"""Several Python threads calling into the same paths at once. Core work on
large paths runs without the interpreter lock, so these calls really overlap:
lazily computed attributes fill concurrently, and add_associated_values meets
other threads' running work (it waits for it instead of raising). Every
result must equal the one a single thread gets."""

import subprocess
import sys
import textwrap
import threading
import time

import numpy as np
import pytest

from wayforge import InterpolationMethod, Path2D, PathBatch, ResamplingMethod
from conftest import needs_clarabel

# Well above the size from which core work runs without the lock.
N = 30_000
ROUNDS = 4
READERS = 3


def track(n=N, seed=0):
    t = np.linspace(0.0, 40.0, n)
    noise = np.random.default_rng(seed).normal(scale=0.01, size=(n, 2))
    return np.column_stack((t, np.sin(t))) + noise


XY = track()
BY_COUNT = ResamplingMethod.by_number_points(N // 2)

# What the readers do, each returning arrays that must equal the serial ones.
READS = {
    "lazy attributes": lambda p: (p.path_length_per_point_np, np.array([p.length]), p.orientation_np,
                                  p.unit_tangent_vector_np, p.curvature_np),
    "resample": lambda p: (p.resampled_path(BY_COUNT, InterpolationMethod.Cubic).points_np,),
    "smooth": lambda p: (p.smoothed_path_chaikin(2).points_np,),
    "circle fit": lambda p: (np.array(p.compute_circle_fit_curvature()),),
}


def run_together(workers, timeout=120):
    """Starts one thread per worker at the same moment and returns their
    results; re-raises the first exception any of them raised."""
    barrier = threading.Barrier(len(workers))
    results = [None] * len(workers)
    errors = []

    def run(i, work):
        try:
            barrier.wait()
            results[i] = work()
        except BaseException as exc:  # noqa: BLE001 (reported below)
            errors.append(exc)

    threads = [threading.Thread(target=run, args=(i, w), daemon=True) for i, w in enumerate(workers)]
    for t in threads:
        t.start()
    for t in threads:
        t.join(timeout)
    assert not any(t.is_alive() for t in threads), "a thread did not finish (deadlock?)"
    if errors:
        raise errors[0]
    return results


def assert_same(got, expected):
    assert len(got) == len(expected)
    for g, e in zip(got, expected):
        np.testing.assert_array_equal(g, e)


def adder(path, rounds=ROUNDS):
    """Adds value lists and reads each back; returns the handles it got."""
    def work():
        handles = []
        for k in range(rounds):
            values = np.full(len(XY), float(k))
            handles.append(path.add_associated_values(values))
            np.testing.assert_array_equal(path.associated_value_np(handles[-1]), values)
        return handles
    return work


@pytest.fixture(scope="module")
def serial():
    """Every read, done by one thread on its own path."""
    return {name: read(Path2D(points=XY)) for name, read in READS.items()}


def test_threads_sharing_one_path(serial):
    """One thread adds associated values while the others read lazily computed
    attributes, resample and smooth the same path."""
    path = Path2D(points=XY)

    def reader(name):
        return lambda: [READS[name](path) for _ in range(ROUNDS)]

    names = list(READS)
    results = run_together([adder(path)] + [reader(names[i % len(names)]) for i in range(READERS)])
    assert results[0] == list(range(ROUNDS))
    for i, rounds in enumerate(results[1:]):
        for got in rounds:
            assert_same(got, serial[names[i % len(names)]])


def test_threads_constructing_from_large_arrays():
    """Large arrays are copied without the lock; packed, strided and
    converted element types all give the serial path."""
    big = track(70_000, seed=1)
    forms = [lambda: Path2D(points=big), lambda: Path2D(points=big.astype(np.float32)),
             lambda: Path2D(x=big[:, 0], y=big[:, 1]), lambda: Path2D(points=np.asfortranarray(big))]
    expected = [f().points_np for f in forms]
    for i, got in enumerate(run_together([lambda f=f: f().points_np for f in forms] * 2)):
        np.testing.assert_array_equal(got, expected[i % len(forms)])


@pytest.mark.parametrize("name", list(READS))
def test_threads_filling_the_cells_of_fresh_paths(serial, name):
    """All threads start on the same fresh path at once, so that its cells
    are computed concurrently; the first store wins and all see one value."""
    for _ in range(ROUNDS):
        path = Path2D(points=XY)
        for got in run_together([lambda: READS[name](path)] * (READERS + 1)):
            assert_same(got, serial[name])


SHORT = Path2D(points=[[0.0, 0.0], [1.0, 1.0], [2.0, 0.0]])


@pytest.mark.parametrize("call", [
    lambda p: p.resampled_path(ResamplingMethod.by_number_points(4_000_000)),
    lambda p: p.resampled_path(ResamplingMethod.by_sampling_distance(1e-6, drop_last=False),
                               InterpolationMethod.Cubic),
    lambda p: p.smoothed_path_chaikin(20),
    lambda p: PathBatch.from_paths([p]).resampled_path(ResamplingMethod.by_number_points(4_000_000)),
], ids=["by count", "by distance", "chaikin", "batch"])
def test_a_short_path_with_a_large_result_lets_other_threads_run(call):
    """The work follows the result's size, not the path's: while three points
    become millions, another thread keeps running Python code."""
    stamps, stop = [], threading.Event()

    def tick():
        while not stop.is_set():
            stamps.append(time.perf_counter())

    ticker = threading.Thread(target=tick)
    ticker.start()
    while not stamps:
        time.sleep(0.001)
    start = time.perf_counter()
    call(SHORT)
    end = time.perf_counter()
    stop.set()
    ticker.join()
    # Held for the whole call, the lock would leave one gap as long as the call.
    gaps = np.diff([start, *(s for s in stamps if start < s < end), end])
    assert gaps.max() < (end - start) / 2


@needs_clarabel
def test_adding_values_during_an_elastic_band_solve_waits():
    """The solver releases the lock while it solves; a writer on another
    thread then waits for the smoothing instead of failing with "Already
    borrowed", and the smoothing's result is the one a lone call gets."""
    xy = track(600, seed=1)
    expected = Path2D(points=xy).smoothed_path_elastic_band(0.05)
    path = Path2D(points=xy)

    def add():
        return [path.add_associated_values(np.full(len(xy), float(k))) for k in range(50)]

    smoothed, handles = run_together([lambda: path.smoothed_path_elastic_band(0.05), add])
    assert handles == list(range(50))
    # The solver's iterations are deterministic for the same problem.
    np.testing.assert_array_equal(smoothed.points_np, expected.points_np)


@needs_clarabel
def test_a_writer_never_waits_for_its_own_thread(monkeypatch):
    """Python code that runs inside the elastic band's core work on the same
    thread (here: the solver) and adds values to the path being smoothed would
    wait for itself: it raises the borrow error instead, as before."""
    import clarabel

    xy = track(200, seed=2)
    path = Path2D(points=xy)
    real = clarabel.DefaultSolver
    raised = []

    def solver(*args):
        try:
            path.add_associated_values(np.zeros(len(xy)))
        except RuntimeError as exc:
            raised.append(str(exc))
        return real(*args)

    monkeypatch.setattr(clarabel, "DefaultSolver", solver)
    assert run_together([lambda: path.smoothed_path_elastic_band(0.05)], timeout=60)[0] is not None
    assert raised == ["Already borrowed"]
    assert path.associated_values(0) is None


FIRST_NUMPY_RESULT = """
import sys, threading
assert "numpy" not in sys.modules
from wayforge import Path2D
p = Path2D(points=[[float(i), 0.0] for i in range(10)])
done, errors = threading.Event(), []
def write():
    while not done.is_set():
        try:
            p.add_associated_values([0.0] * 10)
        except RuntimeError as exc:
            errors.append(str(exc))
            break
writer = threading.Thread(target=write)
writer.start()
p.points_np  # imports NumPy: Python code that lets the writer run meanwhile
done.set()
writer.join()
print(errors)
"""


def test_a_writer_waits_for_a_property_that_imports_numpy():
    """In a fresh process, the first NumPy result imports NumPy while the
    property's borrow is held; a writer on another thread that runs meanwhile
    waits for the property instead of failing with "Already borrowed"."""
    result = subprocess.run([sys.executable, "-c", textwrap.dedent(FIRST_NUMPY_RESULT)],
                            capture_output=True, text=True, timeout=120)
    assert result.returncode == 0, result.stderr[-2000:]
    assert result.stdout.strip() == "[]"
