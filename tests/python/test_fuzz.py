"""Hostile-argument fuzzing of every constructor, method and property.

Hypothesis draws the receivers (paths of 0 to 50 points: repeated and
coincident points, NaN and infinities, with and without associated values,
built from points or from coordinate lists of unequal length) and a seed; a
random.Random with that seed then plans many calls per receiver, because
hypothesis's own draws cost far more than the calls. Arguments are random and
evil: conversion methods that raise or re-enter the receiver, sequences whose
length lies or whose items fail midway, huge and negative integers, NaN and
infinities, NumPy scalars, 0-d arrays, odd dtypes and shapes, lists emptied
while they are converted, and broken call shapes. Objects are also pickled,
copied, and rebuilt by wayforge._restore from their own state, often damaged.

Every call must return a result of its documented type or raise one of the
documented exception types (or what the argument itself raised) with a
message: never SystemError and never a crash. Arguments keep their reference
counts; the receiver keeps its points and associated values and its borrow
flag is free again afterwards.

WAYFORGE_FUZZ_CALLS sets the number of calls (CI runs the default, with
hypothesis derandomized); WAYFORGE_FUZZ_SEED runs with another fixed seed.
"""

import array
import copy
import ctypes
import fractions
import gc
import math
import operator
import os
import pickle
import random
import resource
import struct
import sys
import warnings
import weakref

import numpy as np
import pytest
from hypothesis import HealthCheck, given, seed, settings
from hypothesis import strategies as st

import wayforge
from wayforge import ElasticBandMethod, InterpolationMethod, Path2D, ResamplingMethod
from conftest import CLARABEL, is_panic

# Under ASan and valgrind a huge allocation aborts the process instead of
# failing, so sizes stay small there; otherwise an address-space limit turns
# them into MemoryError.
SMALL_ALLOCATIONS = bool(os.environ.get("WAYFORGE_SANITIZED"))
CALLS = int(os.environ.get("WAYFORGE_FUZZ_CALLS", 50_000 if SMALL_ALLOCATIONS else 100_000))
CALLS_PER_EXAMPLE = 100
EXAMPLES = max(1, -(-CALLS // CALLS_PER_EXAMPLE))
FUZZ_SEED = os.environ.get("WAYFORGE_FUZZ_SEED")
HEADROOM = 1 << 30  # address space left to the calls when huge sizes are fuzzed
EVIL_SHARE = 0.2

NAN, INF = math.nan, math.inf


class Hostile(Exception):
    """Raised by the evil arguments' own methods."""


class HostileBase(BaseException):
    """Raised by evil arguments; not an Exception, like KeyboardInterrupt."""


# ---- evil argument classes ----


class FloatRaises:
    def __init__(self, base=False):
        self.base = base

    def __float__(self):
        raise (HostileBase if self.base else Hostile)("__float__ refused")


class FloatReturns:
    """__float__ returns what it was given: a float, a float subclass
    (deprecated), or no float at all."""

    def __init__(self, value):
        self.value = value

    def __float__(self):
        return self.value


class IndexRaises:
    def __index__(self):
        raise Hostile("__index__ refused")


class IndexReturns:
    def __init__(self, value):
        self.value = value

    def __index__(self):
        return self.value


class FailingArray(np.ndarray):
    """An ndarray subclass whose own iteration fails: only the exact ndarray
    type may be read through its buffer."""

    def __iter__(self):
        raise Hostile("subclass iteration refused")


class FloatSubclass(float):
    pass


class IntSubclass(int):
    pass


class StrSubclass(str):
    pass


def _add_values(path):
    path.add_associated_values([0.0] * len(path.points))


REENTRANT_ACTIONS = {
    "read_points": lambda p: p.points,
    "read_length": lambda p: p.length,
    "repr": repr,
    "read_curvature_np": lambda p: p.curvature_np,
    "add_values": _add_values,
    "handles": lambda p: p.associated_values(0),
    "resample": lambda p: p.resampled_path(ResamplingMethod.by_number_points(3)),
    "sub_path": lambda p: p.sub_path(),
    "chaikin": lambda p: p.smoothed_path_chaikin(1),
}


class Reenter:
    """Runs an action on the receiver from inside a conversion, then returns
    its number (or lets the borrow conflict escape)."""

    def __init__(self, receiver, action, swallow, value):
        self.receiver, self.action, self.swallow, self.value = receiver, action, swallow, value

    def _run(self):
        try:
            REENTRANT_ACTIONS[self.action](self.receiver)
        except RuntimeError:
            # the borrow conflict: documented, passed on or swallowed
            if not self.swallow:
                raise
        except BaseException as exc:
            # What the inner call may raise on its own (PanicException on a
            # degenerate path) is this argument's failure, not the outer call's.
            raise Hostile(f"re-entrant {self.action} raised {type(exc).__name__}") from None
        return self.value

    def __float__(self):
        return float(self._run())

    def __index__(self):
        return int(self._run())

    def __len__(self):
        self._run()
        return 2

    def __getitem__(self, i):
        if i >= 2:
            raise IndexError(i)
        return self._run()


class Seq:
    """A sequence whose length can lie or fail and whose items can fail midway."""

    def __init__(self, items, length, fail_at, iter_raises):
        self.items, self.length, self.fail_at, self.iter_raises = items, length, fail_at, iter_raises

    def __len__(self):
        if self.length == "raise":
            raise Hostile("__len__ refused")
        if self.length == "true":
            return len(self.items)
        return self.length  # a lie: negative, huge, or not an int at all

    def __getitem__(self, i):
        if i == self.fail_at:
            raise Hostile(f"item {i} refused")
        return self.items[i]

    def __iter__(self):
        if self.iter_raises:
            raise Hostile("__iter__ refused")
        for i, item in enumerate(self.items):
            if i == self.fail_at:
                raise Hostile(f"iteration stopped at {i}")
            yield item


def fresh(value):
    """A new float object: the interpreter shares equal constants between
    functions, and a watched argument must not share an object that a
    mutating argument releases or takes during the call."""
    return struct.unpack("<d", struct.pack("<d", value))[0]


class Clearer:
    """A number whose conversion empties (or grows) the list that holds it."""

    def __init__(self, target, grow):
        self.target, self.grow = target, grow

    def __float__(self):
        if self.grow:
            self.target.extend([fresh(1.0) for _ in range(5)])
        else:
            self.target.clear()
        return 1.0


def clearing_list(kind, grow=False):
    """A list holding an item whose conversion clears (or extends) that same
    list: values [1.0, Clearer, 2.0, 3.0] or points [[0, 0], [Clearer, 1], [2, 3]]."""
    target = []
    clearer = Clearer(target, grow)
    if kind == "points":
        target.extend([[fresh(0.0), fresh(0.0)], [clearer, fresh(1.0)], [fresh(2.0), fresh(3.0)]])
    else:
        target.extend([fresh(1.0), clearer, fresh(2.0), fresh(3.0)])
    return target


def hostile_generator():
    yield 1.0
    raise Hostile("generator refused")


# ---- argument recipes: planned by the seeded generator, built right before the call ----


class Make:
    """A recipe for one argument, built (with the receiver where it needs it)
    right before the call so that stateful objects start fresh. `tracked`
    arguments must keep their reference counts."""

    __slots__ = ("label", "build", "tracked")

    def __init__(self, label, build, tracked=True):
        self.label, self.build, self.tracked = label, build, tracked

    def __repr__(self):
        return self.label


def plain(value):
    return Make(repr(value), lambda receiver: value)


def made(label, fn, *args):
    return Make(label, lambda receiver: fn(*args))


def pick(rng, items):
    return items[rng.randrange(len(items))]


SPECIAL_DOUBLES = [0.0, -0.0, NAN, INF, -INF, 5e-324, 1e-300, 1e308, -1.0, 2.8, 0.15, 0.01, math.pi]


def raw_double(rng):
    r = rng.random()
    if r < 0.4:
        return rng.uniform(-10.0, 10.0)
    if r < 0.65:
        return fresh(pick(rng, SPECIAL_DOUBLES))
    if r < 0.85:
        # any bit pattern: NaNs with payloads, subnormals, huge values
        return struct.unpack("<d", rng.getrandbits(64).to_bytes(8, "little"))[0]
    return float(rng.randint(-5, 5))


def double_arg(rng):
    """A number as a double parameter accepts it, in one of its wrappings."""
    v = raw_double(rng)
    kind = rng.randrange(12)
    if kind <= 3:
        return plain(v)
    if kind == 4:
        return plain(rng.randint(-1000, 1000))
    if kind == 5:
        return plain(pick(rng, [True, False, 2**80, -(2**1100), IntSubclass(7), fractions.Fraction(1, 3)]))
    if kind == 6:
        return made(f"np.float64({v!r})", np.float64, v)
    if kind == 7:
        return made(f"np.float32({v!r})", np.float32, v)
    if kind == 8:
        i = rng.randint(-100, 100)
        return made(f"np.int64({i})", np.int64, i)
    if kind == 9:
        return made(f"np.array({v!r})", np.array, v)
    if kind == 10:
        return made(f"FloatSubclass({v!r})", FloatSubclass, v)
    if rng.random() < 0.5:
        return made(f"FloatReturns({v!r})", FloatReturns, v)
    i = rng.randint(-5, 5)
    return made(f"IndexReturns({i})", IndexReturns, i)


HUGE_INDICES = [2**63 - 1, 2**63, 2**64 - 1]


def index_arg(rng, limit, huge=True):
    """An integer as an index parameter accepts it; `limit` bounds the plain
    range and `huge` adds values that no list can reach."""
    v = rng.randint(0, limit)
    kind = rng.randrange(11)
    if kind <= 3:
        return plain(v)
    if kind == 4:
        return plain(bool(v % 2))
    if kind == 5:
        return made(f"np.int64({v})", np.int64, v)
    if kind == 6:
        return made(f"np.uint8({v % 256})", np.uint8, v % 256)
    if kind == 7:
        return made(f"np.array({v})", np.array, v)
    if kind == 8:
        return made(f"IndexReturns({v})", IndexReturns, v)
    if kind == 9:
        return plain(pick(rng, [-1, -3, 2**64, 2**100, -(2**64)]))
    return plain(pick(rng, HUGE_INDICES) if huge else IntSubclass(v))


def bool_arg(rng):
    kind = rng.randrange(4)
    if kind <= 1:
        return plain(rng.random() < 0.5)
    if kind == 2:
        b = rng.random() < 0.5
        return made(f"np.bool_({b})", np.bool_, b)
    return plain(pick(rng, [0, 1, 1.0, None]))


def value_list_arg(rng, n):
    """Numbers, mostly n of them (the receiver's point count)."""
    m = n if rng.random() < 0.7 else rng.randint(0, 52)
    values = [raw_double(rng) for _ in range(m)]
    kind = rng.randrange(6)
    if kind <= 1:
        return Make(f"{values!r}", lambda receiver: list(values))
    if kind == 2:
        return made(f"tuple({values!r})", tuple, values)
    if kind == 3:
        return made(f"np.array({values!r})", np.array, values, np.float64)
    if kind == 4:
        return made(f"array('d', {values!r})", array.array, "d", values)
    return Make(f"np.arange({m}, dtype=float32)", lambda receiver: np.arange(m, dtype=np.float32))


def point_arg(rng):
    x, y = raw_double(rng), raw_double(rng)
    kind = rng.randrange(5)
    if kind <= 1:
        return Make(f"[{x!r}, {y!r}]", lambda receiver: [x, y])
    if kind == 2:
        return plain((x, y))
    if kind == 3:
        return made(f"np.array([{x!r}, {y!r}])", np.array, [x, y])
    i, j = rng.randint(-5, 5), rng.randint(-5, 5)
    return Make(f"[{i}, {j}]", lambda receiver: [i, j])


def optional_point_arg(rng):
    return plain(None) if rng.random() < 0.25 else point_arg(rng)


def point_list_arg(rng):
    points = [[raw_double(rng), raw_double(rng)] for _ in range(rng.randint(0, 8))]
    if rng.random() < 0.6:
        return Make(repr(points), lambda receiver: [list(p) for p in points])
    return Make(f"np.array({points!r})", lambda receiver: np.array(points, np.float64).reshape(-1, 2))


RESAMPLING_COUNTS = [0, 1, 2, 3, 5, 17, 200] + ([] if SMALL_ALLOCATIONS else [2**40, 2**60, 2**64 - 1])
# Sampling distances as fractions of the path length: the grid has about the
# inverse as many points. Tiny fractions ask for grids that cannot be had.
DISTANCE_FRACTIONS = [2.0, 1.0, 0.5, 0.1, 0.013, 1e-3] + ([] if SMALL_ALLOCATIONS else [1e-13, 1e-300])


def resampling_method_arg(rng, length):
    kind = rng.randrange(5)
    if kind <= 1:
        k = pick(rng, RESAMPLING_COUNTS)
        return made(f"by_number_points({k})", ResamplingMethod.by_number_points, k)
    if kind == 2:
        k = pick(rng, RESAMPLING_COUNTS[:5])
        return made(f"ByNumberPoints({k})", ResamplingMethod.ByNumberPoints, k)
    if rng.random() < 0.7:
        d = pick(rng, DISTANCE_FRACTIONS) * length
    else:
        d = pick(rng, [0.0, -0.0, -1.0, -3.0, NAN, INF, -INF])
    drop = rng.random() < 0.5
    return made(f"by_sampling_distance({d!r}, {drop})", ResamplingMethod.by_sampling_distance, d, drop)


def interpolation_arg(rng):
    return plain(pick(rng, [InterpolationMethod.Linear, InterpolationMethod.Cubic]))


def elastic_band_arg(rng):
    return plain(pick(rng, [ElasticBandMethod.OrthogonalBounds, ElasticBandMethod.SquareBounds]))


CHAIKIN_ITERATIONS = list(range(7)) + [64, 100, 2**63, 2**64 - 1] + ([] if SMALL_ALLOCATIONS else [40, 58])


def chaikin_arg(rng):
    kind = rng.randrange(6)
    if kind <= 3:
        return plain(pick(rng, CHAIKIN_ITERATIONS))
    if kind == 4:
        k = rng.randint(0, 6)
        return made(f"np.int64({k})", np.int64, k)
    return plain(rng.randint(-2, -1))


# Length lies of hostile sequences. 2**62 and more fail in std::vector's
# length check before any allocation, which is safe under ASan too.
LENGTH_LIES = ["true", "raise", -1, 0, 1, 1000, 2**62, 2**63 - 1, 2**63, "x"] + ([] if SMALL_ALLOCATIONS else [2**40])


def hostile_sequence(rng, kind):
    if kind == "points":
        items = [[rng.uniform(-5, 5), rng.uniform(-5, 5)] for _ in range(rng.randint(0, 6))]
    else:
        items = [rng.uniform(-5, 5) for _ in range(rng.randint(0, 6))]
    length = pick(rng, LENGTH_LIES)
    fail_at = rng.randint(0, 5) if rng.random() < 0.5 else None
    iter_raises = rng.random() < 0.2
    label = f"Seq({items!r}, length={length!r}, fail_at={fail_at}, iter_raises={iter_raises})"
    return Make(label, lambda receiver: Seq(items, length, fail_at, iter_raises))


def reentrant_arg(rng):
    action = pick(rng, sorted(REENTRANT_ACTIONS))
    swallow = rng.random() < 0.5
    value = pick(rng, [0, 1, 2, 0.5])
    return Make(f"Reenter({action!r}, swallow={swallow}, {value!r})",
                lambda receiver: Reenter(receiver, action, swallow, value))


SHARED_EVIL = [
    None, "ab", "", b"xy", 1j, object(), slice(1), Path2D, wayforge, len, Ellipsis, NotImplemented,
    InterpolationMethod.Linear, ElasticBandMethod.SquareBounds, StrSubclass("12"), frozenset(),
]

# Fresh objects of every odd kind: (label, factory, keeps its reference counts).
FRESH_EVIL = [
    ("{}", dict, True), ("set()", set, True), ("bytearray(b'ab')", lambda: bytearray(b"ab"), True),
    ("FloatRaises()", FloatRaises, True), ("FloatRaises(base)", lambda: FloatRaises(True), True),
    ("IndexRaises()", IndexRaises, True), ("FloatReturns('x')", lambda: FloatReturns("x"), True),
    ("FloatReturns(2**80)", lambda: FloatReturns(2**80), True),
    ("FloatReturns(FloatSubclass(1.0))", lambda: FloatReturns(FloatSubclass(1.0)), True),
    ("IndexReturns(1.5)", lambda: IndexReturns(1.5), True), ("IndexReturns(-1)", lambda: IndexReturns(-1), True),
    ("IndexReturns(2**70)", lambda: IndexReturns(2**70), True),
    ("IndexReturns(IntSubclass(2))", lambda: IndexReturns(IntSubclass(2)), True),
    # Lists that empty or grow themselves lose or gain references by design.
    ("clearing values", lambda: clearing_list("values"), False),
    ("clearing points", lambda: clearing_list("points"), False),
    ("growing values", lambda: clearing_list("values", grow=True), False),
    ("growing points", lambda: clearing_list("points", grow=True), False),
    ("generator", hostile_generator, True), ("{0: 1.0, 1: 2.0}", lambda: {0: 1.0, 1: 2.0}, True),
    ("[[0, 0], [1]]", lambda: [[0, 0], [1]], True), ("[[0, 0, 0]]", lambda: [[0, 0, 0]], True),
    ("[1, 2]", lambda: [1, 2], True), ("[[None, 1]]", lambda: [[None, 1]], True), ("['ab']", lambda: ["ab"], True),
    ("[[FloatRaises(), 0]]", lambda: [[FloatRaises(), 0]], True),
    ("[1.0, FloatRaises()]", lambda: [1.0, FloatRaises()], True),
    ("[[IndexRaises(), 0]]", lambda: [[IndexRaises(), 0]], True),
    ("np.zeros((3, 3))", lambda: np.zeros((3, 3)), True), ("np.zeros(0)", lambda: np.zeros(0), True),
    ("np.zeros((0, 2))", lambda: np.zeros((0, 2)), True), ("np.zeros((2, 0))", lambda: np.zeros((2, 0)), True),
    ("np.zeros((2, 2, 2))", lambda: np.zeros((2, 2, 2)), True),
    ("np.ones((4, 2), float32)", lambda: np.ones((4, 2), np.float32), True),
    ("np.ones((6, 2))[::2]", lambda: np.ones((6, 2))[::2], True),
    ("Fortran-ordered (3, 2)", lambda: np.asfortranarray(np.arange(6.0).reshape(3, 2)), True),
    ("np.ones(3, '>f8')", lambda: np.ones(3, ">f8"), True),
    ("np.ones((3, 2), '>f8')", lambda: np.ones((3, 2), ">f8"), True),
    ("np.array(['a', 'b'])", lambda: np.array(["a", "b"]), True),
    ("np.array([1+2j, 3j])", lambda: np.array([1 + 2j, 3j]), True),
    ("np.array([[1, 2]], object)", lambda: np.array([[1, 2]], dtype=object), True),
    ("np.array([None, 1.0])", lambda: np.array([None, 1.0]), True),
    ("np.array([True, False])", lambda: np.array([True, False]), True),
    ("np.array([2**63], uint64)", lambda: np.array([2**63], np.uint64), True),
    ("np.datetime64('2020')", lambda: np.datetime64("2020"), True),
    ("np.array(1.5)", lambda: np.array(1.5), True), ("np.array(7)", lambda: np.array(7), True),
    ("np.float64('nan')", lambda: np.float64("nan"), True), ("np.int64(-1)", lambda: np.int64(-1), True),
    ("np.uint64(2**64-1)", lambda: np.uint64(2**64 - 1), True), ("np.bool_(True)", lambda: np.bool_(True), True),
    ("masked array", lambda: np.ma.masked_array([1.0, 2.0], [0, 1]), True),
    ("memoryview of (2, 2) doubles",
     lambda: memoryview(array.array("d", [0, 1, 2, 3])).cast("B").cast("d", (2, 2)), True),
    ("memoryview(b'abcdefgh')", lambda: memoryview(b"abcdefgh"), True),
    ("array('f')", lambda: array.array("f", [1.0, 2.0]), True), ("array('q')", lambda: array.array("q", [1, -2]), True),
    # buffers read in place: strides (negative, zero, across columns), every
    # integer width, booleans; and ones left to iteration (half and long
    # double, structured records, subclasses)
    ("np.arange(6.0)[::-1]", lambda: np.arange(6.0)[::-1], True),
    ("rows reversed", lambda: np.arange(12.0).reshape(6, 2)[::-2], True),
    ("columns reversed", lambda: np.arange(8.0).reshape(4, 2)[:, ::-1], True),
    ("every other column", lambda: np.arange(20.0).reshape(5, 4)[:, ::2], True),
    ("broadcast rows", lambda: np.broadcast_to(np.arange(2.0), (1000, 2)), True),
    ("broadcast values", lambda: np.broadcast_to(np.float32(1.5), (1000,)), True),
    ("np.arange(6, dtype=int8)", lambda: np.arange(-3, 3, dtype=np.int8), True),
    ("int16 rows", lambda: np.arange(-4, 4, dtype=np.int16).reshape(4, 2), True),
    ("uint32 values", lambda: np.array([0, 2**32 - 1], np.uint32), True),
    ("uint64 rows", lambda: np.array([[2**64 - 1, 0], [1, 2**63]], np.uint64), True),
    ("int64 extremes", lambda: np.array([-(2**63), 2**63 - 1], np.int64), True),
    ("bool rows", lambda: np.array([[True, False], [False, True]]), True),
    ("float16 values", lambda: np.array([1.5, -2.0], np.float16), True),
    ("longdouble rows", lambda: np.ones((2, 2), np.longdouble), True),
    ("structured records", lambda: np.zeros(2, dtype=[("x", "f8"), ("y", "f8")]), True),
    ("read-only buffer", lambda: np.frombuffer(array.array("d", [1.0, 2.0, 3.0, 4.0]).tobytes()), True),
    ("array subclass whose iteration fails", lambda: np.arange(4.0).view(FailingArray), True),
    ("np.matrix", lambda: np.matrix([[1.0, 2.0], [3.0, 4.0]]), True),
    ("array('b')", lambda: array.array("b", [-1, 2]), True),
    ("array('Q')", lambda: array.array("Q", [2**64 - 1, 0]), True),
    ("array('u')", lambda: array.array("u", "ab"), True),
    ("range(3)", lambda: range(3), True), ("range(-3, 3)", lambda: range(-3, 3), True),
    ("[range(2), range(2)]", lambda: [range(2), range(2)], True), ("((0, 0), '01')", lambda: ((0, 0), "01"), True),
]


if not SMALL_ALLOCATIONS:
    # A broadcast view is cheap however long it is: reading it in place asks
    # for 8 TiB (16 TiB of points).
    FRESH_EVIL += [
        ("broadcast of 2**40 values", lambda: np.broadcast_to(1.0, (2**40,)), True),
        ("broadcast of 2**40 rows", lambda: np.broadcast_to(np.arange(2.0), (2**40, 2)), True),
    ]


def evil_arg(rng):
    """Anything but a well-formed argument."""
    kind = rng.randrange(10)
    if kind <= 1:
        value = pick(rng, SHARED_EVIL)
        return Make(repr(value), lambda receiver: value, tracked=False)
    if kind <= 5:
        label, factory, tracked = pick(rng, FRESH_EVIL)
        return Make(label, lambda receiver: factory(), tracked)
    if kind == 6:
        return hostile_sequence(rng, "values")
    if kind == 7:
        return hostile_sequence(rng, "points")
    return reentrant_arg(rng)


def hostile(good):
    """A good argument most of the time, an evil one otherwise."""
    return lambda rng: evil_arg(rng) if rng.random() < EVIL_SHARE else good(rng)


# ---- what each call may return ----


def is_float_list(r, length=None):
    return type(r) is list and all(type(v) is float for v in r) and (length is None or len(r) == length)


def is_point_list(r, length=None):
    return (type(r) is list and (length is None or len(r) == length)
            and all(type(p) is list and len(p) == 2 and type(p[0]) is float and type(p[1]) is float for p in r))


def is_array(r, shape):
    return type(r) is np.ndarray and r.dtype == np.float64 and r.shape == shape and r.flags.c_contiguous


def is_new_path(r, receiver, points=None):
    """A new, working Path2D (of the given number of points)."""
    if type(r) is not Path2D or r is receiver:
        return False
    result = r.points
    xs = r.x
    return (is_point_list(result) and (points is None or len(result) == points)
            and is_float_list(xs) and len(xs) >= len(result) and repr(r).startswith("Path2D { path: "))


def is_segments(r):
    """Tuples (first, end, curvature) of consecutive ranges; curvatures are
    never negative."""
    if type(r) is not list:
        return False
    for item in r:
        if not (type(item) is tuple and len(item) == 3 and type(item[0]) is int and type(item[1]) is int
                and type(item[2]) is float and not item[2] < 0):
            return False
    return all(a[1] == b[0] for a, b in zip(r, r[1:]))


def count_handles(receiver):
    k = 0
    while receiver.associated_values(k) is not None:
        k += 1
    return k


# ---- the callables ----


class Target:
    """One callable: its parameters (name, argument generator, required), how
    to call it, what it may return, whether PanicException is documented for
    it on this receiver, and whether it takes arguments at all (only then are
    broken call shapes tried)."""

    def __init__(self, name, params, invoke, check, weight=10, panics=lambda ctx: False, bindable=True,
                 binder_requires=True, capacity=None):
        self.name, self.params, self.invoke, self.check = name, params, invoke, check
        self.weight, self.panics, self.bindable = weight, panics, bindable
        # how many positional arguments the callable takes
        self.capacity = len(params) if capacity is None else capacity
        # False where the binder itself requires nothing (the Path2D
        # constructor): a left-out argument is then no binding error.
        self.binder_requires = binder_requires


def method(name):
    return lambda receiver, args, kwargs: getattr(receiver, name)(*args, **kwargs)


def prop(name, check):
    return Target(name, [], lambda receiver, args, kwargs: getattr(receiver, name), check, weight=2, bindable=False)


def given_arg(args, kwargs, index, name):
    return args[index] if len(args) > index else kwargs[name]


def packed(values):
    return struct.pack(f"<{len(values)}d", *values)


def same_contents(path, duplicate):
    """The duplicate of a path carries its coordinates and value lists bit
    for bit (an AssertionError fails the run)."""
    handles = count_handles(path)
    assert type(duplicate) is Path2D and duplicate is not path
    assert packed(duplicate.x) == packed(path.x) and packed(duplicate.y) == packed(path.y)
    assert count_handles(duplicate) == handles
    assert all(packed(duplicate.associated_values(k)) == packed(path.associated_values(k)) for k in range(handles))
    return duplicate


def _set_attribute(receiver, other):
    receiver.points = other


# Operations the interpreter offers on every object; they must raise cleanly
# or return, and leave the receiver intact.
PATH_PROTOCOL = {
    "eq": lambda r, o: r == o,
    "ne": lambda r, o: r != o,
    "lt": lambda r, o: r < o,
    "hash": lambda r, o: hash(r),
    "bool": lambda r, o: bool(r),
    "iter": lambda r, o: iter(r),
    "len": lambda r, o: len(r),
    "getitem": lambda r, o: r[o],
    "init": lambda r, o: r.__init__(o, points=o),
    "copy": lambda r, o: copy.copy(r),
    "deepcopy": lambda r, o: same_contents(r, copy.deepcopy(r)),
    "pickle": lambda r, o: pickle.dumps(r),
    "pickle_round_trip": lambda r, o: same_contents(r, pickle.loads(pickle.dumps(r, protocol=pickle.HIGHEST_PROTOCOL))),
    "pickle_protocol_0": lambda r, o: same_contents(r, pickle.loads(pickle.dumps(r, protocol=0))),
    "weakref": lambda r, o: weakref.ref(r),
    "setattr": _set_attribute,
    "delattr": lambda r, o: delattr(r, "x"),
    "new_attribute": lambda r, o: setattr(r, "z", o),
    "vars": lambda r, o: vars(r),
    "dir": lambda r, o: dir(r),
    "reduce_ex": lambda r, o: r.__reduce_ex__(o),
    "unbound_method": lambda r, o: Path2D.sub_path(o),
    "unbound_property": lambda r, o: Path2D.points.__get__(o),
    "unbound_repr": lambda r, o: Path2D.__repr__(o),
    "new_of_other_type": lambda r, o: Path2D.__new__(ResamplingMethod),
    "object_new": lambda r, o: object.__new__(Path2D),
    "new_without_arguments": lambda r, o: Path2D.__new__(Path2D),
    "format": lambda r, o: format(r, "s"),
    "sizeof": lambda r, o: r.__sizeof__(),
}
# What the interpreter raises for some of them.
PROTOCOL_ERRORS = (AttributeError, pickle.PicklingError)


def path_targets(ctx):
    """The calls on a Path2D receiver."""
    n, nx, ny, m = ctx.n, ctx.nx, ctx.ny, min(ctx.nx, ctx.ny)
    receiver = ctx.receiver
    points_shape = (n, 2) if n else (0, 0)
    D = hostile(double_arg)
    coordinates = hostile(lambda rng: value_list_arg(rng, 3))
    operations = sorted(PATH_PROTOCOL)
    return [
        prop("points", lambda r: is_point_list(r, n)),
        prop("points_np", lambda r: is_array(r, points_shape)),
        prop("x", lambda r: is_float_list(r, nx)),
        prop("x_np", lambda r: is_array(r, (nx,))),
        prop("y", lambda r: is_float_list(r, ny)),
        prop("y_np", lambda r: is_array(r, (ny,))),
        prop("path_length_per_point", lambda r: is_float_list(r, n)),
        prop("path_length_per_point_np", lambda r: is_array(r, (n,))),
        prop("length", lambda r: type(r) is float),
        prop("orientation", lambda r: is_float_list(r, n)),
        prop("orientation_np", lambda r: is_array(r, (n,))),
        prop("unit_tangent_vector", lambda r: is_point_list(r, m)),
        prop("unit_tangent_vector_np", lambda r: is_array(r, (m, 2) if m else (0, 0))),
        prop("curvature", lambda r: is_float_list(r, n)),
        prop("curvature_np", lambda r: is_array(r, (n,))),
        Target("repr", [], lambda receiver, a, k: repr(receiver), lambda r: type(r) is str, weight=2, bindable=False),
        Target("compute_circle_fit_curvature", [("max_rmse", D, False)], method("compute_circle_fit_curvature"),
               lambda r: is_float_list(r, nx) and not any(v < 0 for v in r), weight=4, panics=lambda c: True),
        Target("find_circle_segments",
               [("start", hostile(lambda rng: index_arg(rng, n + 3)), True),
                ("end", hostile(lambda rng: index_arg(rng, n + 3)), True), ("max_rmse", D, False)],
               method("find_circle_segments"), is_segments, weight=4, panics=lambda c: True),
        Target("resampled_path",
               [("resampling_method", hostile(lambda rng: resampling_method_arg(rng, ctx.length)), True),
                ("resampling_type", hostile(interpolation_arg), False), ("epsilon", D, False)],
               method("resampled_path"), lambda r: is_new_path(r, receiver), weight=12,
               panics=lambda c: c.n >= 2),
        Target("smoothed_path_elastic_band",
               [("max_deviation", D, True), ("elastic_band_type", hostile(elastic_band_arg), False)],
               method("smoothed_path_elastic_band"), lambda r: r is None or is_new_path(r, receiver, n),
               weight=1 if CLARABEL else 0, panics=lambda c: c.n == 0),
        Target("smoothed_path_chaikin", [("num_iterations", hostile(chaikin_arg), True)],
               method("smoothed_path_chaikin"), lambda r: is_new_path(r, receiver), weight=10),
        Target("index_from_point", [("point", hostile(point_arg), True), ("epsilon", D, False)],
               method("index_from_point"), lambda r: r is None or (type(r) is int and 0 <= r < n), weight=10),
        Target("path_length_from_point", [("point", hostile(point_arg), True), ("epsilon", D, False)],
               method("path_length_from_point"), lambda r: r is None or type(r) is float, weight=10),
        Target("sub_path",
               [("start", hostile(optional_point_arg), False), ("end", hostile(optional_point_arg), False),
                ("epsilon", D, False)],
               method("sub_path"), lambda r: r is None or is_new_path(r, receiver), weight=12),
        Target("detect_corrupted_point_order", [("sus_angle", D, False)], method("detect_corrupted_point_order"),
               lambda r: (type(r) is list and all(type(i) is int and 1 <= i <= n - 2 for i in r)
                          and r == sorted(set(r))), weight=8),
        Target("repair_corrupted_point_order", [("sus_angle", D, False)], method("repair_corrupted_point_order"),
               lambda r: is_new_path(r, receiver) and len(r.points) <= n, weight=8),
        Target("add_associated_values", [("values", hostile(lambda rng: value_list_arg(rng, n)), True)],
               method("add_associated_values"), lambda r: type(r) is int and r >= ctx.handles, weight=8),
        Target("associated_values", [("handle", hostile(lambda rng: index_arg(rng, 4)), True)],
               method("associated_values"), lambda r: r is None or is_float_list(r, n), weight=5),
        Target("associated_value_np", [("handle", hostile(lambda rng: index_arg(rng, 4)), True)],
               method("associated_value_np"), lambda r: r is None or is_array(r, (n,)), weight=5),
        Target("Path2D(points)", [("points", hostile(point_list_arg), True)],
               lambda receiver, args, kwargs: Path2D(*args, **kwargs), lambda r: is_new_path(r, receiver),
               weight=8, binder_requires=False, capacity=3),
        Target("Path2D(x, y)", [("x", coordinates, True), ("y", coordinates, True)],
               lambda receiver, args, kwargs: Path2D(*([None] + args if args else []), **kwargs),
               lambda r: is_new_path(r, receiver), weight=6, binder_requires=False),
        Target("Path2D(points, x, y)",
               [("points", hostile(point_list_arg), False), ("x", coordinates, False), ("y", coordinates, False)],
               lambda receiver, args, kwargs: Path2D(*args, **kwargs), lambda r: is_new_path(r, receiver),
               weight=2),
        Target("Path2D protocol",
               [("operation", lambda rng: plain(pick(rng, operations)), True),
                ("other", hostile(lambda rng: plain(1.0)), True)],
               lambda receiver, a, k: PATH_PROTOCOL[given_arg(a, k, 0, "operation")](receiver, given_arg(a, k, 1, "other")),
               lambda r: True, weight=3, bindable=False),
    ]


VALUE_OPERATIONS = ["eq", "ne", "lt", "ge", "hash", "int", "index", "float", "repr", "str", "match", "copy",
                    "deepcopy", "pickle_round_trip", "new", "base_new", "new_sub"]


def value_protocol(obj, operation, other):
    if operation == "eq":
        return obj == other
    if operation == "ne":
        return obj != other
    if operation == "lt":
        return obj < other
    if operation == "ge":
        return obj >= other
    if operation == "hash":
        return hash(obj)
    if operation == "int":
        return int(obj)
    if operation == "index":
        return operator.index(obj)
    if operation == "float":
        return float(obj)
    if operation in ("repr", "str"):
        text = repr(obj) if operation == "repr" else str(obj)
        assert type(text) is str
        return text
    if operation == "match":
        match obj:
            case ResamplingMethod.BySamplingDistance(distance, drop):
                assert type(distance) is float and type(drop) is bool
            case ResamplingMethod.ByNumberPoints(count):
                assert type(count) is int
        return None
    if operation == "copy":
        return copy.copy(obj)
    if operation == "deepcopy":
        return copy.deepcopy(obj)
    if operation == "pickle_round_trip":
        return pickle.loads(pickle.dumps(obj, protocol=other))
    if operation == "new":
        return type(obj)(other)
    if operation == "base_new":
        return ResamplingMethod(other)
    return type(obj).__new__(Path2D)  # a class that is not a subtype


def value_class_targets(ctx):
    """The static constructors, the variant classes and the protocol of the
    method value classes (receivers: one resampling method or enumeration
    member per example)."""
    D = hostile(double_arg)
    number_points = hostile(lambda rng: index_arg(rng, 1000))
    by_number_points = type(ResamplingMethod.by_number_points(1))
    by_sampling_distance = type(ResamplingMethod.by_sampling_distance(1.0))
    return [
        Target("ResamplingMethod.by_number_points", [("number_points", number_points, True)],
               lambda receiver, a, k: ctx.method_class.by_number_points(*a, **k),
               lambda r: type(r) is by_number_points, weight=3),
        Target("ResamplingMethod.by_sampling_distance",
               [("sampling_distance", D, True), ("drop_last", hostile(bool_arg), False)],
               lambda receiver, a, k: ctx.method_class.by_sampling_distance(*a, **k),
               lambda r: type(r) is by_sampling_distance, weight=3),
        Target("ResamplingMethod_ByNumberPoints", [("number_points", number_points, True)],
               lambda receiver, a, k: ResamplingMethod.ByNumberPoints(*a, **k),
               lambda r: type(r) is by_number_points, weight=2),
        Target("ResamplingMethod_BySamplingDistance",
               [("sampling_distance", D, True), ("drop_last", hostile(bool_arg), True)],
               lambda receiver, a, k: ResamplingMethod.BySamplingDistance(*a, **k),
               lambda r: type(r) is by_sampling_distance, weight=2),
        Target("value class protocol",
               [("operation", lambda rng: plain(pick(rng, VALUE_OPERATIONS)), True),
                ("other", hostile(lambda rng: plain(1)), True)],
               lambda receiver, a, k: value_protocol(ctx.value_receiver, given_arg(a, k, 0, "operation"),
                                                     given_arg(a, k, 1, "other")),
               lambda r: True,
               weight=4, bindable=False),
    ]


STATE_MUTATIONS = ["none", "drop", "extra", "replace", "replace", "bytes", "bytes", "name"]
CLASS_NAMES = ["Path2D", "ResamplingMethod_ByNumberPoints", "ResamplingMethod_BySamplingDistance",
               "InterpolationMethod", "ElasticBandMethod", "ResamplingMethod", "path2d", ""]


def restore_targets(ctx):
    """wayforge._restore on the state of the receiver or of the method value
    receiver, as their __reduce__ gives it, often damaged: an item dropped,
    added, replaced by an evil argument or by random bytes, or another class
    name. It must rebuild the object or refuse the state."""

    def forged_state(rng):
        use_path = rng.random() < 0.6
        mutation = pick(rng, STATE_MUTATIONS)
        index, evil, one_more = rng.randrange(8), evil_arg(rng), rng.random() < 0.5
        junk = rng.randbytes(pick(rng, [0, 3, 8, 8 * rng.randrange(60)]))
        name = pick(rng, CLASS_NAMES)
        label = f"forged({'path' if use_path else 'value'}, {mutation}, {index}, {evil!r}, {junk!r}, {name!r})"

        def build(receiver):
            state = list((receiver if use_path else ctx.value_receiver).__reduce__()[1])
            if mutation == "drop":
                del state[index % len(state)]
            elif mutation == "extra":
                state.append(evil.build(receiver))
            elif mutation == "replace":
                state[index % len(state)] = evil.build(receiver)
            elif mutation == "bytes":
                values = [i for i, item in enumerate(state) if type(item) is bytes]
                if len(state) == 5 and one_more:
                    state[4] = state[4] + (junk,)  # one more value list
                else:
                    state[values[index % len(values)] if values else index % len(state)] = junk
            elif mutation == "name":
                state[0] = name
            return state

        return Make(label, build, tracked=False)

    classes = (Path2D, ResamplingMethod, InterpolationMethod, ElasticBandMethod)
    return [Target("wayforge._restore", [("state", forged_state, True)],
                   lambda receiver, a, k: wayforge._restore(*given_arg(a, k, 0, "state")),
                   lambda r: isinstance(r, classes) and (type(r) is not Path2D or is_new_path(r, ctx.receiver)),
                   weight=4, bindable=False)]


# ---- one call and its checks ----

DOCUMENTED = (TypeError, ValueError, OverflowError, RuntimeError, MemoryError, Hostile, HostileBase)
BROKEN_SHAPES = [None] * 36 + ["extra", "unknown", "duplicate", "missing"]
# Keywords that name no parameter, including ones that cannot be encoded as
# UTF-8 or hold a NUL character.
ODD_KEYWORDS = ["z", "\udc80", "", "a\x00b", "\u00e9", "self", StrSubclass("zz")]


def plan_arguments(target, rng):
    """Recipes for the positional and keyword arguments, and how the call
    shape is broken (None for a well-formed call). Each parameter is omitted
    (when optional), positional while every earlier one is, or by keyword."""
    args, kwargs = [], {}
    positional = True
    for name, generate, required in target.params:
        if not required and rng.random() < 0.25:
            positional = False
            continue
        recipe = generate(rng)
        if positional and rng.random() < 0.67:
            args.append(recipe)
        else:
            positional = False
            kwargs[name] = recipe
    if not target.bindable:
        return args, kwargs, None
    broken = pick(rng, BROKEN_SHAPES)
    names = [name for name, _, _ in target.params]
    required = [name for name, _, req in target.params if req]
    if broken == "extra":
        args = args + [plain(0)] * (target.capacity + 1 - len(args))
        kwargs = {}
    elif broken == "unknown":
        kwargs[pick(rng, ODD_KEYWORDS)] = plain(1)
    elif broken == "duplicate" and args:
        kwargs[names[0]] = plain(0.0)
    elif broken == "missing" and required and target.binder_requires:
        index = names.index(required[0])
        args = args[:index]
        kwargs.pop(required[0], None)
    else:
        broken = None
    return args, kwargs, broken


def exception_chain(exc):
    seen = []
    while exc is not None and exc not in seen:
        seen.append(exc)
        exc = exc.__cause__ or exc.__context__
    return seen


def judge_exception(exc, target, ctx, broken, where):
    """The outcome's name, or an AssertionError for an undocumented one."""
    for link in exception_chain(exc):
        assert not isinstance(link, SystemError), f"{where} raised SystemError: {link!r}"
    if broken is not None:
        assert type(exc) is TypeError, f"{where}: a broken call ({broken}) raised {exc!r}"
        return "binding TypeError"
    if is_panic(exc):
        assert target.panics(ctx), f"{where} raised PanicException: {exc}"
        assert str(exc), f"{where} raised PanicException without a message"
        return "PanicException"
    allowed = DOCUMENTED + (PROTOCOL_ERRORS if target.name.endswith("protocol") else ())
    assert isinstance(exc, allowed), f"{where} raised {exc!r}"
    if type(exc) is RuntimeError:
        assert str(exc) in ("Already borrowed", "Already mutably borrowed"), f"{where} raised {exc!r}"
    assert str(exc) or isinstance(exc, MemoryError), f"{where} raised {type(exc).__name__} without a message"
    return type(exc).__name__


class Stats:
    def __init__(self):
        self.calls = 0
        self.outcomes = {}
        self.by_target = {}

    def count(self, target, outcome):
        self.calls += 1
        self.outcomes[outcome] = self.outcomes.get(outcome, 0) + 1
        key = (target.name, outcome)
        self.by_target[key] = self.by_target.get(key, 0) + 1


STATS = Stats()


def call_once(ctx, target, rng):
    receiver = ctx.receiver
    recipe_args, recipe_kwargs, broken = plan_arguments(target, rng)
    args = [r.build(receiver) for r in recipe_args]
    kwargs = {k: r.build(receiver) for k, r in recipe_kwargs.items()}
    tracked = [o for r, o in zip(recipe_args, args) if r.tracked]
    tracked += [kwargs[k] for k, r in recipe_kwargs.items() if r.tracked]
    tracked += [item for o in tracked if type(o) in (list, tuple) for item in o]
    watched = tracked + [receiver, ctx.value_receiver]
    counts = [sys.getrefcount(o) for o in watched]

    try:
        result = target.invoke(receiver, args, kwargs)
    except BaseException as exc:  # every exception is judged here
        outcome = judge_exception(exc, target, ctx, broken, describe(ctx, target, recipe_args, recipe_kwargs))
        del exc
    else:
        outcome = "returned"
        if broken is not None or not target.check(result):
            where = describe(ctx, target, recipe_args, recipe_kwargs)
            assert broken is None, f"{where}: a broken call ({broken}) returned {result!r:.300}"
            raise AssertionError(f"{where} returned {result!r:.300}")
        del result
    after = [sys.getrefcount(o) for o in watched]
    if after != counts:
        changed = [(o, b, a) for o, b, a in zip(watched, counts, after) if a != b]
        where = describe(ctx, target, recipe_args, recipe_kwargs)
        raise AssertionError(f"reference counts changed (object, before, after): {changed!r:.500} in {where}")
    del args, kwargs
    STATS.count(target, outcome)
    check_receiver(ctx)


def describe(ctx, target, args, kwargs):
    return f"{target.name}(*{args!r}, **{kwargs!r}) on {ctx.recipe!r}"


def check_receiver(ctx):
    """The receiver still works and holds what it was built from."""
    receiver = ctx.receiver
    text = repr(receiver)
    assert text.startswith("Path2D { path: Path2D { points: ") and text.endswith(" } }")
    assert repr(receiver.points) == ctx.points_text
    assert repr(receiver.x) == ctx.x_text and repr(receiver.y) == ctx.y_text
    assert type(receiver.length) is float and len(receiver.curvature) == ctx.n
    # Conversions may have added value lists through re-entrant calls; each
    # has one value per point.
    handles = count_handles(receiver)
    assert handles >= ctx.handles
    for k in range(ctx.handles, handles):
        assert len(receiver.associated_values(k)) == ctx.n
    ctx.handles = handles
    # The borrow flag is free: an exclusive borrow is taken (and the length
    # mismatch reported, not a borrow conflict).
    try:
        receiver.add_associated_values([0.0] * (ctx.n + 1))
    except TypeError as exc:
        assert str(exc).startswith("The associated value has length"), exc
    else:
        raise AssertionError("a value list of the wrong length was added")
    assert repr(ctx.value_receiver) == ctx.value_text


# ---- receivers ----

FLAVOURS = ["uniform", "integer grid", "circle", "line", "zigzag", "coincident", "nan", "infinite", "tiny"] + (
    [] if SMALL_ALLOCATIONS else ["huge"])
CONSTRUCTIONS = ["points", "points", "points", "coordinates", "longer x", "longer y"]


class PathRecipe:
    def __init__(self, n, flavour, repeats, construction, handles, seed_):
        self.n, self.flavour, self.repeats = n, flavour, repeats
        self.construction, self.handles, self.seed = construction, handles, seed_

    def __repr__(self):
        return (f"PathRecipe(n={self.n}, flavour={self.flavour!r}, repeats={self.repeats}, "
                f"construction={self.construction!r}, handles={self.handles}, seed={self.seed})")

    def points(self, rng):
        n, flavour = self.n, self.flavour
        if flavour == "integer grid":
            pts = [(float(rng.randint(-3, 3)), float(rng.randint(-3, 3))) for _ in range(n)]
        elif flavour == "circle":
            r, start, step = rng.uniform(0.5, 50), rng.uniform(-3, 3), rng.uniform(-0.5, 0.5)
            pts = [(r * math.cos(start + i * step), r * math.sin(start + i * step)) for i in range(n)]
        elif flavour == "line":
            pts = [(i * 0.5, i * 0.25) for i in range(n)]
        elif flavour == "zigzag":
            pts = [(float(i + (2 if i % 3 == 1 else 0)), float(i % 2)) for i in range(n)]
        elif flavour == "coincident":
            pts = [(1.5, -2.0)] * n
        else:
            scale = {"tiny": 1e-300, "huge": 1e300}.get(flavour, 100.0)
            pts = [(rng.uniform(-1, 1) * scale, rng.uniform(-1, 1) * scale) for _ in range(n)]
        special = {"nan": NAN, "infinite": pick(rng, [INF, -INF])}.get(flavour)
        if special is not None and n:
            for _ in range(rng.randint(1, 3)):
                i = rng.randrange(n)
                pts[i] = (special, pts[i][1]) if rng.random() < 0.5 else (pts[i][0], special)
        for _ in range(self.repeats if n else 0):
            i = rng.randrange(len(pts))
            pts.insert(i, pts[i])
        return pts[:50]


@st.composite
def path_recipes(draw):
    return PathRecipe(
        n=draw(st.integers(0, 50)),
        flavour=draw(st.sampled_from(FLAVOURS)),
        repeats=draw(st.integers(0, 3)),
        construction=draw(st.sampled_from(CONSTRUCTIONS)),
        handles=draw(st.integers(0, 2)),
        seed_=draw(st.integers(0, 2**32 - 1)),
    )


VALUE_RECEIVERS = {
    "by_number_points(4)": lambda: ResamplingMethod.by_number_points(4),
    "by_sampling_distance(nan, False)": lambda: ResamplingMethod.by_sampling_distance(NAN, False),
    "Linear": lambda: InterpolationMethod.Linear,
    "Cubic": lambda: InterpolationMethod.Cubic,
    "SquareBounds": lambda: ElasticBandMethod.SquareBounds,
    "OrthogonalBounds": lambda: ElasticBandMethod.OrthogonalBounds,
}


class Context:
    """One example: the Path2D receiver, what it was built from, and the
    method value receiver."""

    def __init__(self, recipe, value_receiver_name, rng):
        self.recipe = recipe
        points = recipe.points(rng)
        xs = [p[0] for p in points]
        ys = [p[1] for p in points]
        if recipe.construction == "points":
            self.receiver = Path2D(points=[list(p) for p in points])
        elif recipe.construction == "coordinates":
            self.receiver = Path2D(x=xs, y=ys)
        elif recipe.construction == "longer x":
            self.receiver = Path2D(x=xs + [1.0, 2.0], y=ys)
        else:
            self.receiver = Path2D(x=xs, y=ys + [3.0])
        self.n = len(points)
        for k in range(recipe.handles):
            self.receiver.add_associated_values([float(i * (k + 1)) for i in range(self.n)])
        self.handles = recipe.handles
        self.nx, self.ny = len(self.receiver.x), len(self.receiver.y)
        total = self.receiver.length
        # the scale of sampling distances: finite and positive
        self.length = total if math.isfinite(total) and total > 0 else 1.0
        self.points_text = repr(self.receiver.points)
        self.x_text, self.y_text = repr(self.receiver.x), repr(self.receiver.y)
        self.value_receiver = VALUE_RECEIVERS[value_receiver_name]()
        self.value_text = repr(self.value_receiver)
        self.method_class = (type(self.value_receiver) if isinstance(self.value_receiver, ResamplingMethod)
                             else ResamplingMethod)
        targets = path_targets(self) + value_class_targets(self) + restore_targets(self)
        self.targets = [t for t in targets for _ in range(t.weight)]


# ---- the test ----


class AddressSpaceLimit:
    """Caps the address space at current usage + HEADROOM so that huge
    requests fail with MemoryError instead of taking the machine; the soft
    limit is raised back afterwards."""

    def __enter__(self):
        self.saved = resource.getrlimit(resource.RLIMIT_AS)
        if not SMALL_ALLOCATIONS:
            with open("/proc/self/statm") as f:
                used = int(f.read().split()[0]) * os.sysconf("SC_PAGE_SIZE")
            resource.setrlimit(resource.RLIMIT_AS, (used + HEADROOM, self.saved[1]))
        return self

    def __exit__(self, *exc):
        resource.setrlimit(resource.RLIMIT_AS, self.saved)


class StderrToFile:
    """Every PanicException writes a report line to standard error; those are
    kept in a file and counted, anything else is passed on (and fails the test:
    nothing else may be printed)."""

    PANIC_REPORT = "wayforge: internal check failed at "

    @staticmethod
    def _sanitizer_reports_to(fd):
        """A sanitizer's report of a crash must still reach the real standard
        error (the process dies before the file is read)."""
        set_report_fd = getattr(ctypes.CDLL(None), "__sanitizer_set_report_fd", None)
        if set_report_fd is not None:
            set_report_fd(ctypes.c_void_p(fd))

    def __init__(self, path):
        self.path = path

    def __enter__(self):
        sys.stderr.flush()
        self.saved = os.dup(2)
        self.file = open(self.path, "w+b")
        os.dup2(self.file.fileno(), 2)
        self._sanitizer_reports_to(self.saved)
        return self

    def __exit__(self, *exc):
        sys.stderr.flush()
        os.dup2(self.saved, 2)
        self._sanitizer_reports_to(2)
        os.close(self.saved)
        self.file.seek(0)
        lines = self.file.read().decode(errors="replace").splitlines()
        self.file.close()
        self.panic_reports = sum(line.startswith(self.PANIC_REPORT) for line in lines)
        self.other = [line for line in lines if not line.startswith(self.PANIC_REPORT)]
        if self.other:
            sys.stderr.write("\n".join(self.other[:50]) + "\n")


@pytest.fixture(scope="module")
def warmed_up():
    """Loads what calls load lazily (NumPy's table, clarabel) before the
    address-space limit is taken."""
    path = Path2D(points=[[0, 0], [1, 1], [2, 0]])
    path.curvature_np
    if CLARABEL:
        path.smoothed_path_elastic_band(0.1)


def test_hostile_calls(warmed_up, tmp_path):
    gc.collect()
    gc.disable()  # no collection in the middle of a call: reference counts stay exact
    stderr = StderrToFile(tmp_path / "stderr.log")
    try:
        with warnings.catch_warnings(), AddressSpaceLimit(), stderr:
            warnings.simplefilter("ignore")
            run_examples()
    finally:
        gc.enable()
        gc.collect()
    outcomes = ", ".join(f"{k} {v}" for k, v in sorted(STATS.outcomes.items(), key=lambda kv: -kv[1]))
    print(f"\nfuzz: {STATS.calls} calls, seed {FUZZ_SEED or 'derandomized'}, "
          f"{stderr.panic_reports} PanicException reports; {outcomes}")
    if os.environ.get("WAYFORGE_FUZZ_TABLE"):
        for (name, outcome), count in sorted(STATS.by_target.items()):
            print(f"  {name:40} {outcome:20} {count}")
    assert STATS.calls >= CALLS
    assert not stderr.other, "unexpected output on standard error"


def fuzz_settings(test):
    test = settings(max_examples=EXAMPLES, deadline=None, database=None, derandomize=FUZZ_SEED is None,
                    suppress_health_check=list(HealthCheck))(test)
    return test if FUZZ_SEED is None else seed(int(FUZZ_SEED))(test)


@fuzz_settings
@given(recipe=path_recipes(), value_receiver=st.sampled_from(sorted(VALUE_RECEIVERS)))
def run_examples(recipe, value_receiver):
    rng = random.Random(recipe.seed)
    ctx = Context(recipe, value_receiver, rng)
    for _ in range(CALLS_PER_EXAMPLE):
        call_once(ctx, pick(rng, ctx.targets), rng)
    if STATS.calls % (CALLS_PER_EXAMPLE * 50) == 0:
        gc.collect()


# ---- regressions: what the fuzzing found ----


@pytest.mark.parametrize("keyword", ["\udc80", "a\x00b", ""])
@pytest.mark.parametrize(
    "name, call",
    [("Path2D.__new__()", lambda **kw: Path2D(**kw)),
     ("Path2D.sub_path()", lambda **kw: Path2D(points=[]).sub_path(**kw)),
     ("ResamplingMethod.by_number_points()", lambda **kw: ResamplingMethod.by_number_points(3, **kw))],
)
def test_an_unexpected_keyword_is_reported_whatever_its_characters(name, call, keyword):
    """A lone surrogate made the message's UTF-8 conversion fail, and the
    null pointer it returned crashed the interpreter."""
    with pytest.raises(TypeError) as error:
        call(**{keyword: 1})
    assert str(error.value) == f"{name} got an unexpected keyword argument '{keyword}'"
