"""Linear resampling of a long path: wayforge beside the NumPy equivalent.

Both resample the same random-walk path of N points (default 1e6) to N points
evenly spaced in path length, in one process on the same data. The NumPy side
is the cumulative length (hypot of the differences, cumsum) followed by two
np.interp calls; wayforge is Path2D.resampled_path with
ResamplingMethod.by_number_points(N) and InterpolationMethod.Linear, timed from
an already built Path2D (construction is not timed), once with the path length
per point computed inside the call (a fresh Path2D per run) and once with it
already cached on the path. Each time is the best of several rounds in which
the three take turns.

Run (wayforge installed, e.g. `pip install .`, or a dev build on PYTHONPATH):
    python benchmarks/bench_resample.py            # 1e6 points
    python benchmarks/bench_resample.py 100000     # another size
"""

import sys
import time

import numpy as np

import wayforge
from wayforge import InterpolationMethod, ResamplingMethod

ROUNDS = 11


def best_times(runs):
    """Best wall time of each (prepare, run) pair over ROUNDS rounds. The runs
    take turns within a round, so that a busy machine slows them alike."""
    best = [float("inf")] * len(runs)
    for _ in range(ROUNDS):
        for i, (prepare, run) in enumerate(runs):
            arg = prepare()
            start = time.perf_counter()
            run(arg)
            best[i] = min(best[i], time.perf_counter() - start)
            del arg
    return best


def numpy_resample(x, y, n):
    s = np.concatenate(([0.0], np.cumsum(np.hypot(np.diff(x), np.diff(y)))))
    grid = np.linspace(0.0, s[-1], n)
    return np.interp(grid, s, x), np.interp(grid, s, y)


def main():
    n = int(float(sys.argv[1])) if len(sys.argv) > 1 else 1_000_000
    rng = np.random.default_rng(0)
    pts = np.cumsum(rng.normal(size=(n, 2)), axis=0)
    x = np.ascontiguousarray(pts[:, 0])
    y = np.ascontiguousarray(pts[:, 1])
    method = ResamplingMethod.by_number_points(n)
    linear = InterpolationMethod.Linear

    # Same results, so that the two sides do the same work.
    ours = wayforge.Path2D(points=pts).resampled_path(method, linear)
    ref_x, ref_y = numpy_resample(x, y, n)
    assert np.allclose(np.asarray(ours.x), ref_x, rtol=0, atol=1e-6 * max(1.0, abs(pts).max()))
    assert np.allclose(np.asarray(ours.y), ref_y, rtol=0, atol=1e-6 * max(1.0, abs(pts).max()))

    cached = wayforge.Path2D(points=pts)
    cached.length  # fills the path length per point
    t_numpy, t_fresh, t_cached = best_times([
        (lambda: None, lambda _: numpy_resample(x, y, n)),
        (lambda: wayforge.Path2D(points=pts), lambda p: p.resampled_path(method, linear)),
        (lambda: None, lambda _: cached.resampled_path(method, linear)),
    ])

    print(f"linear resampling, {n} points -> {n} points, best of {ROUNDS}")
    print(f"  numpy (hypot/cumsum + 2 x np.interp)      {t_numpy * 1e3:9.2f} ms")
    print(f"  wayforge, path length computed in call    {t_fresh * 1e3:9.2f} ms"
          f"   wayforge/numpy = {t_fresh / t_numpy:.2f}")
    print(f"  wayforge, path length already cached      {t_cached * 1e3:9.2f} ms"
          f"   wayforge/numpy = {t_cached / t_numpy:.2f}")


if __name__ == "__main__":
    main()
