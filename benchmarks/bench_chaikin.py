"""Chaikin smoothing beside a vectorised NumPy version on the same points."""

import time

import numpy as np

from wayforge import Path2D


def best_of(repeats, fn):
    best = float("inf")
    for _ in range(repeats):
        start = time.perf_counter()
        result = fn()
        best = min(best, time.perf_counter() - start)
    return best, result


def chaikin_numpy(points, iterations):
    w = points
    for _ in range(iterations):
        a, b = w[:-1], w[1:]
        out = np.empty((2 * len(w), 2))
        out[0], out[-1] = points[0], points[-1]
        out[1:-1:2] = (0.75 * a) + (0.25 * b)
        out[2:-1:2] = (0.25 * a) + (0.75 * b)
        w = out
    return w


def main():
    rng = np.random.default_rng(3)
    iterations = 3
    print(f"{'points':>8} {'iter':>5} {'wayforge s':>11} {'numpy s':>9} {'ratio':>6} {'equal':>6}")
    for n in (100, 10_000, 100_000, 1_000_000):
        points = np.cumsum(rng.normal(size=(n, 2)), axis=0)
        path = Path2D(points.tolist())
        ours_time, ours = best_of(5, lambda: path.smoothed_path_chaikin(iterations))
        theirs_time, theirs = best_of(5, lambda: chaikin_numpy(points, iterations))
        equal = np.array_equal(np.array(ours.points), theirs)
        print(f"{n:>8} {iterations:>5} {ours_time:>11.5f} {theirs_time:>9.5f} {theirs_time / ours_time:>6.2f} {str(equal):>6}")
    print("ratio = numpy time / wayforge time (above 1: wayforge is faster); both build")
    print("the full result (wayforge: a Path2D with points, x and y), not Python lists")


if __name__ == "__main__":
    main()
