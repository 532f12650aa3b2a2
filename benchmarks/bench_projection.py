"""path_length_from_point beside Shapely's line_locate_point, same queries.

Shapely measures the distance along the line to the nearest point of the
line; wayforge projects onto the segment whose perpendicular band holds the
query. The two agree for queries near the line and away from its ends, so
the queries are points of the path moved sideways by less than the curve's
radius, between 5% and 95% of its length.
"""

import time

import numpy as np
import shapely

from wayforge import Path2D


def best_of(repeats, fn):
    best = float("inf")
    for _ in range(repeats):
        start = time.perf_counter()
        result = fn()
        best = min(best, time.perf_counter() - start)
    return best, result


def spiral(n):
    t = np.linspace(0.0, 6.0 * np.pi, n)
    radius = 50.0 + 5.0 * t
    return np.column_stack([radius * np.cos(t), radius * np.sin(t)])


def queries(points, count, rng):
    n = len(points)
    index = rng.integers(int(0.05 * n), int(0.95 * n), count)
    tangent = points[index + 1] - points[index]
    normal = np.column_stack([-tangent[:, 1], tangent[:, 0]])
    normal /= np.linalg.norm(normal, axis=1)[:, None]
    along = rng.random(count)[:, None]
    side = rng.uniform(-1.0, 1.0, count)[:, None]
    return points[index] + along * tangent + side * normal


def main():
    rng = np.random.default_rng(7)
    count = 200
    print(f"{'points':>8} {'queries':>8} {'wayforge s':>11} {'shapely s':>10} {'ratio':>6} {'max |diff|':>11}")
    for n in (1_000, 10_000, 100_000):
        points = spiral(n)
        q = queries(points, count, rng)
        path = Path2D(points.tolist())
        path.length  # the cumulative lengths are computed once per path, not per query
        line = shapely.LineString(points)
        shapely.prepare(line)
        query_list = q.tolist()
        query_points = shapely.points(q)

        ours_time, ours = best_of(3, lambda: [path.path_length_from_point(p) for p in query_list])
        theirs_time, theirs = best_of(3, lambda: shapely.line_locate_point(line, query_points))
        diff = np.max(np.abs(np.array(ours, dtype=float) - theirs))
        print(f"{n:>8} {count:>8} {ours_time:>11.4f} {theirs_time:>10.4f} {theirs_time / ours_time:>6.2f} {diff:>11.2e}")
    print("ratio = shapely time / wayforge time (above 1: wayforge is faster)")


if __name__ == "__main__":
    main()
