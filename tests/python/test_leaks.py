"""Reference leaks: loop an operation and its error paths and watch the
interpreter's allocated block count. Fails only if it grows in every one of
the measured rounds, after warm-up rounds (CPython's own rule)."""

import sys

import pytest

from wayforge import Path2D

WARMUP, MEASURED, LOOPS = 3, 3, 2000

POINTS = [[0.0, 0.0], [1.0, 0.5], [2.0, 0.0], [3.0, 1.0]]


def grows_every_round(operation):
    deltas = [0] * MEASURED  # pre-sized so the bookkeeping does not allocate
    for round_ in range(WARMUP + MEASURED):
        before = sys.getallocatedblocks()
        for _ in range(LOOPS):
            operation()
        after = sys.getallocatedblocks()
        if round_ >= WARMUP:
            deltas[round_ - WARMUP] = after - before
    return all(d > 0 for d in deltas), deltas


def raises(exc_type, fn, *args, **kwargs):
    def call():
        try:
            fn(*args, **kwargs)
        except exc_type:
            pass
        else:
            raise AssertionError("expected an exception")

    return call


PATH = Path2D(points=POINTS)

OPERATIONS = {
    "from_points": lambda: Path2D(points=POINTS),
    "from_coordinates": lambda: Path2D(x=[0, 1, 2], y=(0.0, 1.0)),
    "properties": lambda: (PATH.points, PATH.x, PATH.y, PATH.path_length_per_point, PATH.length,
                           PATH.orientation, PATH.unit_tangent_vector, PATH.curvature),
    "fresh_attributes": lambda: Path2D(points=POINTS).curvature,
    "repr": lambda: repr(PATH),
    "refused_combination": raises(TypeError, Path2D, x=[1]),
    "str_argument": raises(TypeError, Path2D, points="ab"),
    "bad_item": raises(TypeError, Path2D, points=[[0, 0], [1, None]]),
    "short_point": raises(ValueError, Path2D, points=[[0, 0, 0]]),
    "too_many_positional": raises(TypeError, Path2D, 1, 2, 3, 4),
    "unexpected_keyword": raises(TypeError, Path2D, points=[], z=1),
    "duplicate_argument": raises(TypeError, Path2D, [], points=[]),
}


@pytest.mark.parametrize("name", sorted(OPERATIONS))
def test_no_reference_leak(name):
    leaked, deltas = grows_every_round(OPERATIONS[name])
    assert not leaked, f"{name} grew in every round: {deltas}"


def test_arguments_keep_their_reference_counts():
    points = [[0.0, 0.0], [1.0, 1.0]]
    xs = [0.0, 1.0]
    before = (sys.getrefcount(points), sys.getrefcount(points[0]), sys.getrefcount(xs))
    for _ in range(1000):
        Path2D(points=points)
        Path2D(x=xs, y=xs)
        try:
            Path2D(points=points, x=xs)
        except TypeError:
            pass
    assert (sys.getrefcount(points), sys.getrefcount(points[0]), sys.getrefcount(xs)) == before
