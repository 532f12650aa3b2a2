"""Many paths and many queries per call, side by side in one run.

1. A fleet of short paths (repair, cubic resample, curvature_np): one PathBatch
   call per step against the Path2D loop that builds each path from its array.
2. The same batches on two threads against one.
3. locate_points against shapely.line_locate_point on the same line and points.
4. locate_points at n = m = 10^6 against n = m = 10^5 (near-linear growth).
5. interpolate_at_lengths against two numpy.interp calls (x and y).

Times are the best of several rounds of process CPU time for single-thread
rows (other processes on the machine then disturb them less) and wall time
for the thread row. Run: python benchmarks/bench_fleets.py [--paths 10000]
"""

import argparse
import platform
import threading
import time

import numpy as np

import wayforge
from wayforge import InterpolationMethod, Path2D, PathBatch, ResamplingMethod

CUBIC = InterpolationMethod.Cubic


def best_of(rounds, fn, clock=time.process_time):
    best = float("inf")
    for _ in range(rounds):
        start = clock()
        fn()
        best = min(best, clock() - start)
    return best


def fleet(paths, n, rng):
    tracks = rng.normal(size=(paths, n, 2)).cumsum(axis=1)
    return tracks, tracks.reshape(-1, 2).copy(), np.arange(paths + 1, dtype=np.int64) * n


def pipeline_loop(arrays, method):
    return [Path2D(a).repair_corrupted_point_order().resampled_path(method, CUBIC).curvature_np for a in arrays]


def pipeline_batch(coords, offsets, method):
    return PathBatch(coords, offsets).repair_corrupted_point_order().resampled_path(method, CUBIC).curvature_np


def track(n, rng):
    """A smooth random track, n points about 1 unit apart."""
    heading = np.cumsum(rng.normal(scale=0.05, size=n))
    return np.column_stack([np.cos(heading), np.sin(heading)]).cumsum(axis=0)


def fixes(points, m, rng):
    """m noisy fixes along the track, in track order."""
    index = np.sort(rng.integers(0, len(points), m))
    return points[index] + rng.normal(scale=2.0, size=(m, 2))


def row(name, ours, theirs, target):
    ratio = ours / theirs
    print(f"| {name} | {ours * 1e3:.2f} ms | {theirs * 1e3:.2f} ms | {ratio:.3f} | {target} |")
    return ratio


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--paths", type=int, default=10_000)
    parser.add_argument("--rounds", type=int, default=5)
    args = parser.parse_args()
    rng = np.random.default_rng(7)
    rounds = args.rounds
    print(f"wayforge on Python {platform.python_version()}, NumPy {np.__version__}, {platform.machine()}")
    print()
    print("| what | wayforge | peer | ratio | target |")
    print("|---|---|---|---|---|")

    # 1. The fleet pipeline, one thread.
    tracks, coords, offsets = fleet(args.paths, 150, rng)
    arrays = list(tracks)
    method = ResamplingMethod.by_number_points(150)
    assert np.array_equal(np.concatenate(pipeline_loop(arrays[:50], method)),
                          pipeline_batch(coords[: 50 * 150], offsets[:51], method), equal_nan=True)
    batch_time = best_of(rounds, lambda: pipeline_batch(coords, offsets, method))
    loop_time = best_of(rounds, lambda: pipeline_loop(arrays, method))
    row(f"{args.paths:,} paths of 150 points: batch / `Path2D` loop", batch_time, loop_time, "≤ 0.6")

    # 2. Two threads, each running half of the batches, against one thread.
    parts = 16
    size = args.paths // parts
    pieces = [(coords[j * size * 150:(j + 1) * size * 150], offsets[: size + 1]) for j in range(parts)]

    def run(selection):
        for c, o in selection:
            pipeline_batch(c, o, method)

    def two_threads():
        threads = [threading.Thread(target=run, args=(pieces[k::2],)) for k in range(2)]
        for t in threads:
            t.start()
        for t in threads:
            t.join()

    one = best_of(rounds, lambda: run(pieces), clock=time.perf_counter)
    two = best_of(rounds, two_threads, clock=time.perf_counter)
    print(f"| {parts} batches: 2 threads / 1 thread (wall) | {two * 1e3:.2f} ms | {one * 1e3:.2f} ms "
          f"| {two / one:.3f} (speed-up {one / two:.2f}) | speed-up ≥ 1.6 |")

    # 3. locate_points against Shapely.
    try:
        import shapely
    except ImportError:
        shapely = None
    if shapely is not None:
        points = track(5_000, rng)
        queries = fixes(points, 5_000, rng)
        line = shapely.LineString(points)
        shapely.prepare(line)
        query_points = shapely.points(queries)

        def ours():
            # A new path each round: the index over the segments is built every time.
            wayforge.locate_points(Path2D(points), queries)

        theirs = best_of(3, lambda: shapely.line_locate_point(line, query_points))
        located = wayforge.locate_points(Path2D(points), queries)
        reference = shapely.line_locate_point(line, query_points)
        agree = np.mean(np.isclose(located.length, reference, rtol=0, atol=1e-6))
        row(f"`locate_points` n = m = 5,000 / `shapely.line_locate_point` (agree {agree:.3f})",
            best_of(rounds, ours), theirs, "≤ 0.02")

    # 4. Growth from 10^5 to 10^6.
    times = {}
    for n in (100_000, 1_000_000):
        points = track(n, rng)
        queries = fixes(points, n, rng)
        times[n] = best_of(3, lambda: wayforge.locate_points(Path2D(points), queries))
    row("`locate_points` n = m = 10^6 / n = m = 10^5", times[1_000_000], times[100_000], "≤ 15")

    # 5. interpolate_at_lengths against two numpy.interp calls.
    points = track(100_000, rng)
    path = Path2D(points)
    s = path.path_length_per_point_np
    lengths = np.sort(rng.uniform(0, s[-1], 1_000_000))
    ours = best_of(rounds, lambda: wayforge.interpolate_at_lengths(path, lengths))
    theirs = best_of(rounds, lambda: (np.interp(lengths, s, points[:, 0]), np.interp(lengths, s, points[:, 1])))
    row("`interpolate_at_lengths`, 10^6 sorted lengths / two `np.interp`", ours, theirs, "≤ 1.0")
    shuffled = rng.permutation(lengths)
    ours = best_of(rounds, lambda: wayforge.interpolate_at_lengths(path, shuffled))
    theirs = best_of(rounds, lambda: (np.interp(shuffled, s, points[:, 0]), np.interp(shuffled, s, points[:, 1])))
    row("the same, lengths in random order", ours, theirs, "≤ 1.0")


if __name__ == "__main__":
    main()
