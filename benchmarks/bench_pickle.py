"""Pickling a path beside pickling the same data as NumPy arrays.

A path of n points with one associated value list travels against the tuple
(x, y, values) of float64 arrays that a user would ship instead: the same
float64 bytes. Both are timed in interleaved rounds (medians) for
pickle.dumps, pickle.loads and copy.deepcopy, at the default and the highest
pickle protocol; the sizes are given per protocol as the pickle's length over
the float64 bytes carried (16 a point, 8 per associated value).

Targets at 1e6 points: the default protocol's pickle at most 1.1 times the
bytes carried; dumps and loads at most twice the arrays' time.

Run: python benchmarks/bench_pickle.py [--quick]   (benchmarks/run.py runs the
same comparisons among its operations)
"""

import argparse
import copy
import gc
import pickle
import statistics
import time

import numpy as np

from wayforge import Path2D

SIZES = (100, 10_000, 1_000_000)
PROTOCOLS = sorted({pickle.DEFAULT_PROTOCOL, pickle.HIGHEST_PROTOCOL})
SAMPLE_SECONDS = 0.005  # a batch of fast calls lasts at least this long


def make(n, seed=0):
    """(path, arrays): a random walk with one value list, and the same data as
    the float64 arrays (x, y, values)."""
    rng = np.random.default_rng(seed)
    xy = np.cumsum(rng.normal(size=(n, 2)), axis=0)
    x, y, values = xy[:, 0].copy(), xy[:, 1].copy(), rng.normal(size=n)
    path = Path2D(x=x, y=y)
    path.add_associated_values(values)
    return path, (x, y, values)


def carried_bytes(n):
    return n * (16 + 8)


def operations(path, arrays, protocol):
    """(name, wayforge call, NumPy call) for one protocol."""
    ours, theirs = pickle.dumps(path, protocol), pickle.dumps(arrays, protocol)
    return [
        (f"pickle.dumps, protocol {protocol}", lambda: pickle.dumps(path, protocol),
         lambda: pickle.dumps(arrays, protocol)),
        (f"pickle.loads, protocol {protocol}", lambda: pickle.loads(ours), lambda: pickle.loads(theirs)),
    ]


def copies(path, arrays):
    return [("copy.deepcopy", lambda: copy.deepcopy(path), lambda: copy.deepcopy(arrays))]


def _batch(fn):
    start = time.perf_counter()
    fn()
    once = time.perf_counter() - start
    return max(1, min(10_000, int(SAMPLE_SECONDS / max(once, 1e-7))))


def _sample(fn, batch):
    gc.disable()
    try:
        start = time.perf_counter()
        for _ in range(batch):
            fn()
        return (time.perf_counter() - start) / batch
    finally:
        gc.enable()


def interleaved(calls, rounds):
    """Median seconds per call of each function, timed in turns so that a busy
    machine slows them alike."""
    batches = [_batch(fn) for fn in calls]
    samples = [[] for _ in calls]
    for r in range(rounds):
        order = list(range(len(calls)))
        order = order[r % len(order):] + order[:r % len(order)]
        for i in order:
            samples[i].append(_sample(calls[i], batches[i]))
    return [statistics.median(s) for s in samples]


def fmt_time(seconds):
    return f"{seconds * 1e6:.1f} µs" if seconds < 1e-3 else f"{seconds * 1e3:.2f} ms"


def size_table(sizes):
    lines = ["| n | " + " | ".join(f"protocol {p}" for p in range(pickle.HIGHEST_PROTOCOL + 1)) + " |",
             "|---" * (pickle.HIGHEST_PROTOCOL + 2) + "|"]
    for n in sizes:
        path, arrays = make(n)
        cells = []
        for p in range(pickle.HIGHEST_PROTOCOL + 1):
            ours = len(pickle.dumps(path, p)) / carried_bytes(n)
            theirs = len(pickle.dumps(arrays, p)) / carried_bytes(n)
            cells.append(f"{ours:.3f} (arrays {theirs:.3f})")
        lines.append(f"| {n:.0e} | " + " | ".join(cells) + " |")
    return "\n".join(lines)


def time_table(sizes, rounds):
    lines = ["| operation | n | wayforge | NumPy arrays | ratio |", "|---|---|---|---|---|"]
    ratios = {}
    for n in sizes:
        path, arrays = make(n)
        ops = [op for p in PROTOCOLS for op in operations(path, arrays, p)] + copies(path, arrays)
        times = interleaved([f for _, ours, theirs in ops for f in (ours, theirs)], rounds)
        for k, (name, _, _) in enumerate(ops):
            ours, theirs = times[2 * k], times[2 * k + 1]
            ratios[name, n] = ours / theirs
            lines.append(f"| {name} | {n:.0e} | {fmt_time(ours)} | {fmt_time(theirs)} | {ours / theirs:.2f} |")
    return "\n".join(lines), ratios


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--quick", action="store_true", help="fewer rounds (noisier)")
    args = parser.parse_args()
    rounds = 7 if args.quick else 31

    print("## Pickle size / float64 bytes carried (one value list)\n")
    print(size_table(SIZES))
    print(f"\n## Times (median of {rounds} interleaved rounds; ratio = wayforge / NumPy arrays)\n")
    text, ratios = time_table(SIZES, rounds)
    print(text)

    n = SIZES[-1]
    path, _ = make(n)
    size = len(pickle.dumps(path)) / carried_bytes(n)
    print("\n## Targets at 1e6 points\n")
    print(f"- default protocol ({pickle.DEFAULT_PROTOCOL}) pickle size <= 1.1 x bytes carried: "
          f"{size:.4f} {'met' if size <= 1.1 else 'MISSED'}")
    for (name, m), ratio in ratios.items():
        if m == n and name.startswith("pickle"):
            print(f"- {name} <= 2 x NumPy arrays: {ratio:.2f} {'met' if ratio <= 2.0 else 'MISSED'}")


if __name__ == "__main__":
    main()


def run_cases(case, contestant):
    """The rows benchmarks/run.py adds to its table (`case` and `contestant`
    are its Case and Contestant classes): dumps and loads at the default
    protocol, whose target is twice the arrays' time."""

    def dumps(n):
        path, arrays = make(n)
        return (contestant("pickle.dumps(path)", lambda _: pickle.dumps(path)),
                [contestant("pickle.dumps((x, y, values))", lambda _: pickle.dumps(arrays))])

    def loads(n):
        path, arrays = make(n)
        ours, theirs = pickle.dumps(path), pickle.dumps(arrays)
        return (contestant("pickle.loads(path's pickle)", lambda _: pickle.loads(ours)),
                [contestant("pickle.loads((x, y, values)'s pickle)", lambda _: pickle.loads(theirs))])

    return [case("pickle.dumps, path with one value list", dumps, max_ratio=2.0),
            case("pickle.loads, path with one value list", loads, max_ratio=2.0)]
