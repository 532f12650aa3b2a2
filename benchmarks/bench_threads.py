"""Thread scaling: the same work through a pool of 1 thread and a pool of 2.

Each row hands a fixed list of tasks to a ThreadPoolExecutor and times until
the last result is back. The two pools take turns, round after round, so that
a busy machine slows both alike; a row shows the best time of each pool over
its rounds, the speed-up = best 1-thread time / best 2-thread time (above 1:
two threads are faster), and the same ratio of the median times. Rounds go on
until a row has run for --seconds (at least --rounds of them), so that rows
of a few milliseconds get hundreds of rounds. Inputs (arrays, and the fresh
paths whose lazily computed attribute is timed) are made before the clock
starts.

Large rows: 8 paths of 200,000 points (random walks), one call per task; at
smaller sizes (--sizes) a task repeats its call so that it still handles
about 200,000 points.
Batch rows: 8 tasks of 64 paths of 150 points each, every path built from its
(150, 2) array, then repaired, resampled and its curvature read; or smoothed
by the elastic band.

--handover measures what one hand-over of control between two Python
threads costs on this machine (two threads taking turns through a pair of
threading.Event): a call's core work must take longer than that for a
second thread to gain anything from the lock being released meanwhile.

Run: python benchmarks/bench_threads.py [--rounds 5] [--seconds 2]
     [--points 200000] [--only WORD ...] [--sizes] [--handover]
     (--sizes: the large rows at several sizes)
"""

import argparse
import importlib.util
import os
import sys
import platform
import statistics
import threading
import time
from concurrent.futures import ThreadPoolExecutor

import numpy as np

import wayforge
from wayforge import InterpolationMethod, Path2D, PathBatch, ResamplingMethod

TASKS = 8
BATCH_PATHS = 64
BATCH_POINTS = 150


def walk(n, seed):
    return np.cumsum(np.random.default_rng(seed).normal(size=(n, 2)), axis=0)


def noisy_track(n, seed):
    """A gently curving track with noise: a plausible input for the batch rows."""
    rng = np.random.default_rng(seed)
    t = np.linspace(0.0, 3.0, n)
    xy = np.column_stack((50.0 * np.sin(t), 50.0 * (1.0 - np.cos(t))))
    return xy + rng.normal(scale=0.05, size=xy.shape)


# ---- rows: each returns (prepare, task); prepare() makes the task inputs ----

def large_rows(n):
    arrays = [walk(n, seed) for seed in range(TASKS)]
    paths = [Path2D(points=a) for a in arrays]
    by_count = ResamplingMethod.by_number_points(n)
    repeats = max(1, 200_000 // n)

    def same_inputs(items):
        return lambda: items

    def repeated(call):
        def task(item):
            for _ in range(repeats):
                result = call(item)
            return result
        return task

    return {
        "construction from an (n, 2) array": (
            same_inputs(arrays), repeated(lambda a: Path2D(points=a))),
        "resampled_path cubic": (
            same_inputs(paths),
            repeated(lambda p: p.resampled_path(by_count, InterpolationMethod.Cubic))),
        "resampled_path linear": (
            same_inputs(paths),
            repeated(lambda p: p.resampled_path(by_count, InterpolationMethod.Linear))),
        "smoothed_path_chaikin(2)": (same_inputs(paths), repeated(lambda p: p.smoothed_path_chaikin(2))),
        # Each repeat reads the curvature of a path of its own, made from the
        # array inside the task.
        "curvature_np of a fresh path": (
            same_inputs(arrays), repeated(lambda a: Path2D(points=a).curvature_np))
        if repeats > 1 else (lambda: [Path2D(points=a) for a in arrays], lambda p: p.curvature_np),
        "compute_circle_fit_curvature": (
            same_inputs(paths), repeated(lambda p: p.compute_circle_fit_curvature())),
    }


def batch_rows():
    chunks = [[noisy_track(BATCH_POINTS, 1000 * task + k) for k in range(BATCH_PATHS)]
              for task in range(TASKS)]
    spacing = ResamplingMethod.by_sampling_distance(1.0, drop_last=False)

    def repair_resample_curvature(chunk):
        out = []
        for xy in chunk:
            path = Path2D(points=xy).repair_corrupted_point_order()
            out.append(path.resampled_path(spacing, InterpolationMethod.Cubic).curvature_np)
        return out

    def elastic_band(chunk):
        return [Path2D(points=xy[::3]).smoothed_path_elastic_band(0.1) for xy in chunk[:8]]

    def path_batch(chunk):
        offsets = np.arange(len(chunk) + 1) * BATCH_POINTS
        batch = PathBatch(np.concatenate(chunk), offsets).repair_corrupted_point_order()
        return batch.resampled_path(spacing, InterpolationMethod.Cubic).curvature_np

    rows = {
        f"batch: repair + resample + curvature ({BATCH_PATHS} x {BATCH_POINTS} points per task)": (
            lambda: chunks, repair_resample_curvature),
        "the same as one PathBatch per task": (lambda: chunks, path_batch),
    }
    # Clarabel has no build for a free-threaded interpreter.
    if importlib.util.find_spec("clarabel") is not None:
        rows[f"batch: elastic band (8 x {BATCH_POINTS // 3} points per task)"] = (
            lambda: chunks, elastic_band)
    return rows


# ---- timing ----

def handover_time(turns=20_000):
    """The mean time, in seconds, for one Python thread to hand control to
    another that waits for it."""
    ping, pong = threading.Event(), threading.Event()

    def other():
        for _ in range(turns):
            ping.wait()
            ping.clear()
            pong.set()

    thread = threading.Thread(target=other)
    thread.start()
    start = time.perf_counter()
    for _ in range(turns):
        ping.set()
        pong.wait()
        pong.clear()
    elapsed = time.perf_counter() - start
    thread.join()
    return elapsed / (2 * turns)


def timed(pool, task, items):
    start = time.perf_counter()
    for _ in pool.map(task, items):
        pass
    return time.perf_counter() - start


def measure(rows, rounds, pools, min_seconds):
    """Per row, the times of each pool: at least `rounds` rounds, and more
    (up to 1000) until both pools together have run for min_seconds, so that
    rows of a few milliseconds are not left to the noise of a few rounds."""
    results = {}
    for name, (prepare, task) in rows.items():
        timed(pools[0], task, prepare())  # warm-up: imports, first allocations
        times = ([], [])
        r = 0
        while r < rounds or (sum(map(sum, times)) < min_seconds and r < 1000):
            order = (0, 1) if r % 2 == 0 else (1, 0)
            for i in order:
                items = prepare()
                times[i].append(timed(pools[i], task, items))
                del items
            r += 1
        results[name] = times
    return results


def print_table(title, results):
    print(f"\n{title}\n")
    print("| workload | rounds | 1 thread s | 2 threads s | speed-up | median speed-up |")
    print("|---|---|---|---|---|---|")
    for name, (one, two) in results.items():
        best = min(one) / min(two)
        median = statistics.median(one) / statistics.median(two)
        print(f"| {name} | {len(one)} | {min(one):.4f} | {min(two):.4f} | {best:.2f} | {median:.2f} |")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--rounds", type=int, default=5, help="rounds at least")
    parser.add_argument("--seconds", type=float, default=2.0,
                        help="rounds continue until a row has run this long")
    parser.add_argument("--points", type=int, default=200_000)
    parser.add_argument("--sizes", action="store_true", help="large rows at several sizes too")
    parser.add_argument("--only", nargs="*", default=None, help="rows whose name contains a word")
    parser.add_argument("--handover", action="store_true",
                        help="also the time of one hand-over between two threads")
    args = parser.parse_args()

    def chosen(rows):
        if not args.only:
            return rows
        return {k: v for k, v in rows.items() if any(w in k for w in args.only)}

    gil = getattr(sys, "_is_gil_enabled", lambda: True)()
    print(f"wayforge {getattr(wayforge, '__version__', '')} on Python {platform.python_version()}"
          f"{'' if gil else ' (free-threaded, no GIL)'}, "
          f"NumPy {np.__version__}, {os.cpu_count()} CPUs, load average "
          + " ".join(f"{x:.2f}" for x in os.getloadavg()))
    if args.handover:
        best = min(handover_time() for _ in range(5))
        print(f"one hand-over between two Python threads: {best * 1e6:.1f} µs (best of 5)")
    pools = [ThreadPoolExecutor(1), ThreadPoolExecutor(2)]
    try:
        rows = {**large_rows(args.points), **batch_rows()}
        print_table(f"{TASKS} tasks; large rows at {args.points:,} points",
                    measure(chosen(rows), args.rounds, pools, args.seconds))
        if args.sizes:
            for n in (150, 300, 1_000, 5_000, 20_000, 1_000_000):
                print_table(f"large rows at {n:,} points", measure(chosen(large_rows(n)), args.rounds, pools, args.seconds))
    finally:
        for pool in pools:
            pool.shutdown()
    print(f"\nload average after: " + " ".join(f"{x:.2f}" for x in os.getloadavg()))


if __name__ == "__main__":
    main()
