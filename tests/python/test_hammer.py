"""Threads hammering a few shared paths at once for a bounded time: lazily
computed attributes of fresh paths, operations, a writer adding value lists,
batches, and construction from a list that another thread changes. Every
result must equal the serial one; the only errors allowed are the borrow
conflicts, which are counted. Run under ThreadSanitizer by scripts/tsan.sh."""

import collections
import itertools
import time

import numpy as np

from wayforge import InterpolationMethod, Path2D, PathBatch, ResamplingMethod, locate_points
from test_threads import assert_same, run_together, track

ROUNDS, ROUND_SECONDS = 8, 0.25  # fresh paths every round
READERS = 4
BORROW_ERRORS = ("Already borrowed", "Already mutably borrowed")

LARGE = track(4000, seed=3)  # core work runs without the interpreter lock
SMALL = track(150, seed=4)  # core work keeps it
QUERIES = LARGE[::97] + 0.05
# Point arguments shared by every thread: converting them takes their critical sections.
START, END = [2.0, 1.0], [30.0, -1.0]
BY_COUNT = ResamplingMethod.by_number_points(3000)
FEW = ResamplingMethod.by_number_points(40)
HEAD = [float(i) for i in range(64)]


class Shared:
    """What the threads of one round share; made fresh for every round."""

    def __init__(self):
        self.large, self.small = Path2D(points=LARGE), Path2D(points=SMALL)
        self.written = Path2D(points=SMALL)  # the writer adds value lists to it
        self.batch = PathBatch.from_paths([Path2D(points=LARGE), Path2D(points=SMALL)])
        self.changing = list(HEAD)  # one thread appends to it and pops again


READS = {
    "lazy attributes": lambda s: (s.large.path_length_per_point_np, np.array([s.small.length]),
                                  s.large.orientation_np, s.small.unit_tangent_vector_np, s.large.curvature_np),
    "points": lambda s: (s.small.points_np, np.array(s.large.x), np.array(s.written.points)),
    "resample": lambda s: (s.large.resampled_path(BY_COUNT, InterpolationMethod.Cubic).points_np,
                           s.written.resampled_path(FEW).points_np),
    "repair": lambda s: (s.large.repair_corrupted_point_order().points_np,
                         s.written.repair_corrupted_point_order().points_np),
    "locate": lambda s: (*locate_points(s.large, QUERIES), *locate_points(s.written, QUERIES)),
    "sub path": lambda s: (s.large.sub_path(START, END).points_np, s.written.sub_path(START).points_np),
    "batch": lambda s: (s.batch.resampled_path(FEW).points_np, s.batch.repair_corrupted_point_order().points_np,
                        s.batch.curvature_np, PathBatch.from_paths([s.large, s.small]).x_np),
}


def construct(shared):
    """A path from the list another thread changes: the list before or after a change."""
    path = Path2D(x=shared.changing, y=shared.changing)
    assert path.x[:len(HEAD)] == HEAD and len(path.x) in (len(HEAD), len(HEAD) + 1)


def reader(shared, expected, offset, deadline, counts):
    names = [*READS, "construct"]
    for k in itertools.count(offset):
        if time.monotonic() > deadline:
            return
        name = names[k % len(names)]
        try:
            if name == "construct":
                construct(shared)
            else:
                assert_same(READS[name](shared), expected[name])
        except RuntimeError as exc:
            assert str(exc) in BORROW_ERRORS, repr(exc)
            counts[str(exc)] += 1
        else:
            counts[name] += 1


def writer(shared, deadline, counts):
    """Adds value lists and reads each back; returns how many it added."""
    added = 0
    while time.monotonic() < deadline:
        values = np.full(len(SMALL), float(added))
        try:
            handle = shared.written.add_associated_values(values)
        except RuntimeError as exc:
            assert str(exc) in BORROW_ERRORS, repr(exc)
            counts[str(exc)] += 1
            continue
        np.testing.assert_array_equal(shared.written.associated_value_np(handle), values)
        added += 1
    counts["add"] += added
    return added


def changer(shared, deadline, counts):
    while time.monotonic() < deadline:
        shared.changing.append(-1.0)
        shared.changing.pop()
        counts["change"] += 1


def test_threads_hammering_shared_paths():
    expected = {name: read(Shared()) for name, read in READS.items()}
    counts = [collections.Counter() for _ in range(READERS + 2)]
    for _ in range(ROUNDS):
        shared = Shared()
        deadline = time.monotonic() + ROUND_SECONDS
        workers = [lambda i=i: reader(shared, expected, i, deadline, counts[i]) for i in range(READERS)]
        workers += [lambda: writer(shared, deadline, counts[-2]), lambda: changer(shared, deadline, counts[-1])]
        added = run_together(workers)[-2]
        # No borrow is left behind, and no value list was lost.
        for path in (shared.large, shared.small, shared.written):
            path.add_associated_values(np.zeros(len(path.x)))
        assert shared.written.associated_values(added) is not None
        assert shared.written.associated_values(added + 1) is None
    total = sum(counts, collections.Counter())
    print("\nhammer: " + ", ".join(f"{name} {total[name]}" for name in sorted(total)))
    # Every kind of call ran (borrow conflicts are allowed, but not only them).
    assert all(total[name] > 0 for name in [*READS, "construct", "add", "change"]), total
