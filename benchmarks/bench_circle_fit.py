"""Circle-fit curvature beside a NumPy implementation of the same decomposition.

Both sides run the same bisection with one merge attempt per seam; the NumPy
side does one np.linalg.svd per fit. Prints the times, their ratio and whether
both found the same segments.

    python benchmarks/bench_circle_fit.py [number_of_points ...]   (default 100000)
"""

import math
import sys
import time

import numpy as np

from wayforge import Path2D

MAX_RMSE = 0.15


def numpy_fit(x, y):
    """Taubin fit: (radius, rmse), NaN when the matrix is not finite."""
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
    radius = math.sqrt(-4 * a0 * a3 + (a2 * a2 + a1 * a1)) * 0.5 / abs(a0)
    d = np.sqrt((x - cx) ** 2 + (y - cy) ** 2) - radius
    return radius, math.sqrt(float(np.sum(d * d)) / len(x))


def numpy_segments(x, y, start, end, max_rmse):
    if end - start < 3:
        return [(start, end, 0.0)]
    radius, rmse = numpy_fit(x[start:end], y[start:end])
    if max_rmse >= rmse:
        return [(start, end, 1 / radius)]
    mid = start + (end - start) // 2
    left = numpy_segments(x, y, start, mid, max_rmse)
    right = numpy_segments(x, y, mid, end, max_rmse)
    g, h = left[-1][0], right[0][1]
    radius, rmse = numpy_fit(x[g:h], y[g:h])
    if max_rmse >= rmse:
        left[-1] = (g, h, 1 / radius)
        left.extend(right[1:])
    else:
        left.extend(right)
    return left


def numpy_curvature(x, y, max_rmse):
    segments = numpy_segments(x, y, 0, len(x), max_rmse)
    return np.repeat([k for _, _, k in segments], [b - a for a, b, _ in segments]), segments


def noisy_path(n, seed=1):
    """A wandering path of unit steps with slowly changing curvature and noise."""
    rng = np.random.default_rng(seed)
    turn = np.convolve(rng.normal(0, 0.05, n), np.ones(50) / 50, mode="same")
    heading = np.cumsum(turn)
    x = np.cumsum(np.cos(heading)) + rng.normal(0, 0.05, n)
    y = np.cumsum(np.sin(heading)) + rng.normal(0, 0.05, n)
    return x, y


def best_of(repeats, call):
    best = math.inf
    for _ in range(repeats):
        t0 = time.perf_counter()
        result = call()
        best = min(best, time.perf_counter() - t0)
    return best, result


def run(n):
    x, y = noisy_path(n)
    path = Path2D(x=x, y=y)
    ours_time, ours = best_of(5, lambda: path.compute_circle_fit_curvature(MAX_RMSE))
    numpy_time, (theirs, numpy_segs) = best_of(1, lambda: numpy_curvature(x, y, MAX_RMSE))

    our_segs = path.find_circle_segments(0, n, MAX_RMSE)
    same_ranges = [s[:2] for s in our_segs] == [s[:2] for s in numpy_segs]
    worst = float(np.max(np.abs(np.asarray(ours) - theirs) / np.maximum(np.abs(theirs), 1e-300)))
    print(f"points            {n}")
    print(f"segments          {len(our_segs)} (numpy: {len(numpy_segs)})")
    print(f"wayforge          {ours_time * 1e3:10.2f} ms")
    print(f"numpy             {numpy_time * 1e3:10.2f} ms")
    print(f"ratio numpy/ours  {numpy_time / ours_time:10.1f}")
    print(f"same segments     {'yes' if same_ranges else 'NO'}"
          f" (largest relative curvature difference {worst:.1e})")
    return same_ranges


def main():
    sizes = [int(float(a)) for a in sys.argv[1:]] or [100_000]
    same = [run(n) for n in sizes]
    sys.exit(0 if all(same) else 1)


if __name__ == "__main__":
    main()
