"""Leaks.

Reference leaks: loop an operation (or one of its error paths) and watch the
interpreter's allocated block count. Fails only if it grows in every one of
the measured rounds, after warm-up rounds (CPython's own rule). Every
constructor, method, property and error path of every class has an entry.

C++-side leaks (new/malloc) are invisible to that counter: a child process
loops the heavy operations and its resident set must stop growing."""

import copy
import json
import os
import pickle
import subprocess
import sys
import textwrap

import pytest

import wayforge
from wayforge import ElasticBandMethod, InterpolationMethod, Path2D, ResamplingMethod
from conftest import is_panic, needs_clarabel

WARMUP, MEASURED, LOOPS = 3, 3, 2000

POINTS = [[0.0, 0.0], [1.0, 0.5], [2.0, 0.0], [3.0, 1.0]]


def grows_every_round(operation, loops=LOOPS, warmup=WARMUP):
    deltas = [0] * MEASURED  # pre-sized so the bookkeeping does not allocate
    for round_ in range(warmup + MEASURED):
        before = sys.getallocatedblocks()
        for _ in range(loops):
            operation()
        after = sys.getallocatedblocks()
        if round_ >= warmup:
            deltas[round_ - warmup] = after - before
    return all(d > 0 for d in deltas), deltas


def raises(exc_type, fn, *args, **kwargs):
    """The call must raise exc_type ("panic" for PanicException)."""

    def call():
        try:
            fn(*args, **kwargs)
        except BaseException as exc:  # PanicException is no Exception
            if exc_type == "panic" and is_panic(exc):
                return
            if exc_type != "panic" and isinstance(exc, exc_type):
                return
            raise
        raise AssertionError("expected an exception")

    return call


class Hostile(Exception):
    pass


class FloatRaises:
    def __float__(self):
        raise Hostile("no")


class IndexRaises:
    def __index__(self):
        raise Hostile("no")


class LongLie:
    """Claims 2**62 items: the vector's length check refuses it (MemoryError)
    before anything is allocated."""

    def __len__(self):
        return 2**62

    def __getitem__(self, i):
        raise IndexError(i)


class LenRaises:
    """Its length cannot be read; the items are still taken."""

    def __len__(self):
        raise Hostile("no length")

    def __getitem__(self, i):
        if i >= 4:
            raise IndexError(i)
        return float(i)


PATH = Path2D(points=POINTS)
PATH.add_associated_values([1.0, 2.0, 3.0, 4.0])
EMPTY = Path2D(points=[])
BY_NUMBER = ResamplingMethod.by_number_points(7)
BY_DISTANCE = ResamplingMethod.by_sampling_distance(0.3, False)
LINEAR = InterpolationMethod.Linear


class AddsToPath:
    """Converting it tries to add to PATH: Already borrowed during a read."""

    def __float__(self):
        PATH.add_associated_values([0.0] * 4)
        return 1.0


class ReadsPath:
    """Converting it reads PATH: Already mutably borrowed while adding."""

    def __float__(self):
        PATH.points
        return 1.0


ADDING_PATH = Path2D(points=POINTS)  # grows by one value list per call


def fresh(read):
    """Reads an attribute of a fresh path, so the lazy cell is computed."""
    return lambda: read(Path2D(points=POINTS))


OPERATIONS = {
    # construction and its refusals
    "from_points": lambda: Path2D(points=POINTS),
    "from_coordinates": lambda: Path2D(x=[0, 1, 2], y=(0.0, 1.0)),
    "from_array_buffer": lambda: Path2D(points=ARRAY),
    "from_length_less_sequence": lambda: Path2D(x=LenRaises(), y=LenRaises()),
    "refused_combination": raises(TypeError, Path2D, x=[1]),
    "str_argument": raises(TypeError, Path2D, points="ab"),
    "bad_item": raises(TypeError, Path2D, points=[[0, 0], [1, None]]),
    "short_point": raises(ValueError, Path2D, points=[[0, 0, 0]]),
    "not_a_sequence": raises(TypeError, Path2D, points=5),
    "item_raises": raises(Hostile, Path2D, x=[1.0, FloatRaises()], y=[0.0, 0.0]),
    "lying_length": raises(MemoryError, Path2D, points=LongLie()),
    "too_many_positional": raises(TypeError, Path2D, 1, 2, 3, 4),
    "unexpected_keyword": raises(TypeError, Path2D, points=[], z=1),
    "duplicate_argument": raises(TypeError, Path2D, [], points=[]),
    # properties (cached and freshly computed) and repr
    "properties": lambda: (PATH.points, PATH.x, PATH.y, PATH.path_length_per_point, PATH.length,
                           PATH.orientation, PATH.unit_tangent_vector, PATH.curvature),
    "numpy_properties": lambda: (PATH.points_np, PATH.x_np, PATH.y_np, PATH.path_length_per_point_np,
                                 PATH.orientation_np, PATH.unit_tangent_vector_np, PATH.curvature_np),
    "fresh_attributes": fresh(lambda p: (p.length, p.orientation, p.unit_tangent_vector, p.curvature)),
    "fresh_numpy_attributes": fresh(lambda p: (p.path_length_per_point_np, p.curvature_np)),
    "empty_numpy_properties": lambda: (EMPTY.points_np, EMPTY.unit_tangent_vector_np, EMPTY.x_np),
    "repr": lambda: repr(PATH),
    "property_of_wrong_object": raises(TypeError, Path2D.points.__get__, 1),
    # circle fitting
    "compute_circle_fit_curvature": lambda: PATH.compute_circle_fit_curvature(),
    "compute_circle_fit_curvature_bad_bound": raises(TypeError, PATH.compute_circle_fit_curvature, "x"),
    "find_circle_segments": lambda: PATH.find_circle_segments(0, 4, max_rmse=0.01),
    "find_circle_segments_reversed": raises("panic", PATH.find_circle_segments, 3, 1),
    "find_circle_segments_negative": raises(OverflowError, PATH.find_circle_segments, -1, 2),
    "find_circle_segments_missing": raises(TypeError, PATH.find_circle_segments),
    # resampling
    "resampled_by_number": lambda: PATH.resampled_path(BY_NUMBER, InterpolationMethod.Cubic),
    "resampled_by_distance": lambda: PATH.resampled_path(BY_DISTANCE, epsilon=0.001),
    "resampled_short_path": lambda: EMPTY.resampled_path(BY_NUMBER),
    "resampled_zero_points": raises("panic", PATH.resampled_path, ResamplingMethod.by_number_points(0)),
    "resampled_wrong_method": raises(TypeError, PATH.resampled_path, 3),
    "resampled_wrong_type": raises(TypeError, PATH.resampled_path, BY_NUMBER, 1),
    # Chaikin
    "chaikin": lambda: PATH.smoothed_path_chaikin(2),
    "chaikin_too_many": raises(MemoryError, PATH.smoothed_path_chaikin, 2**63),
    "chaikin_negative": raises(OverflowError, PATH.smoothed_path_chaikin, -1),
    "chaikin_float": raises(TypeError, PATH.smoothed_path_chaikin, 2.0),
    # projection and sub-path
    "index_from_point": lambda: PATH.index_from_point([1.5, 0.3]),
    "path_length_from_point": lambda: PATH.path_length_from_point((1.5, 0.3), epsilon=0.1),
    "point_of_three": raises(ValueError, PATH.index_from_point, [1, 2, 3]),
    "projection_too_many_positional": raises(TypeError, PATH.index_from_point, [0, 0], 0.1, 3),
    "projection_unexpected_keyword": raises(TypeError, PATH.path_length_from_point, [0, 0], z=1),
    "point_not_a_sequence": raises(TypeError, PATH.path_length_from_point, 1.0),
    "point_item_raises": raises(Hostile, PATH.index_from_point, [FloatRaises(), 0]),
    "sub_path": lambda: PATH.sub_path([0.5, 0.1], [2.5, 0.2]),
    "sub_path_none": lambda: PATH.sub_path([3.0, 5.0]),
    "sub_path_at_the_last_point": lambda: PATH.sub_path([3.0, 1.0], [3.0, 1.0]),
    "sub_path_bad_epsilon": raises(TypeError, PATH.sub_path, epsilon=None),
    # point order
    "detect_corrupted_point_order": lambda: PATH.detect_corrupted_point_order(0.5),
    "detect_bad_angle": raises(TypeError, PATH.detect_corrupted_point_order, sus_angle=None),
    "repair_corrupted_point_order": lambda: PATH.repair_corrupted_point_order(0.5),
    "repair_bad_angle": raises(TypeError, PATH.repair_corrupted_point_order, "x"),
    # associated values
    "add_associated_values": lambda: ADDING_PATH.add_associated_values((1, 2, 3, 4)),
    "add_wrong_length": raises(TypeError, PATH.add_associated_values, [1.0]),
    "add_lying_length": raises(MemoryError, PATH.add_associated_values, LongLie()),
    "associated_values": lambda: (PATH.associated_values(0), PATH.associated_values(9)),
    "associated_value_np": lambda: (PATH.associated_value_np(0), PATH.associated_value_np(9)),
    "handle_raises": raises(Hostile, PATH.associated_values, IndexRaises()),
    "handle_too_large": raises(OverflowError, PATH.associated_value_np, 2**64),
    # borrow conflicts
    "adding_while_reading": lambda: raises(RuntimeError, PATH.index_from_point, [AddsToPath(), 0])(),
    "reading_while_adding": lambda: raises(RuntimeError, PATH.add_associated_values, [0.0, ReadsPath(), 0, 0])(),
    # method value classes
    "by_number_points": lambda: ResamplingMethod.by_number_points(5),
    "by_sampling_distance": lambda: ResamplingMethod.by_sampling_distance(0.5, False),
    "variant_constructors": lambda: (ResamplingMethod.ByNumberPoints(3),
                                     ResamplingMethod.BySamplingDistance(0.5, True)),
    "variant_properties": lambda: (BY_NUMBER.number_points, BY_DISTANCE.sampling_distance, BY_DISTANCE.drop_last),
    "resampling_comparison": lambda: (BY_NUMBER == BY_DISTANCE, BY_NUMBER != 3, BY_NUMBER == BY_NUMBER),
    "by_number_points_negative": raises(OverflowError, ResamplingMethod.by_number_points, -1),
    "by_sampling_distance_bad_bool": raises(TypeError, ResamplingMethod.by_sampling_distance, 0.5, 1),
    "variant_missing_argument": raises(TypeError, ResamplingMethod.BySamplingDistance, 0.5),
    "no_constructor": raises(TypeError, ResamplingMethod),
    "enum_no_constructor": raises(TypeError, InterpolationMethod),
    "enum_int_repr": lambda: (int(LINEAR), repr(LINEAR), str(ElasticBandMethod.SquareBounds)),
    "enum_comparison": lambda: (LINEAR == 1, LINEAR == 1.0, LINEAR != ElasticBandMethod.OrthogonalBounds,
                                LINEAR == IndexRaises()),
    "enum_ordering": raises(TypeError, lambda: LINEAR < InterpolationMethod.Cubic),
    "enum_hash": raises(TypeError, hash, LINEAR),
    # pickle, copy and the refusals of bad state
    "pickle_path": lambda: pickle.loads(pickle.dumps(PATH, protocol=pickle.HIGHEST_PROTOCOL)),
    "pickle_path_protocol_0": lambda: pickle.loads(pickle.dumps(PATH, protocol=0)),
    "copy_path": lambda: (copy.copy(PATH), copy.deepcopy(EMPTY)),
    "pickle_method_values": lambda: pickle.loads(pickle.dumps([BY_NUMBER, BY_DISTANCE, LINEAR])),
    "copy_method_values": lambda: (copy.copy(BY_DISTANCE), copy.deepcopy(ElasticBandMethod.SquareBounds)),
    "restore_wrong_count": raises(ValueError, wayforge._restore, "Path2D", 1, b"\0" * 16, b"\0" * 8, (b"\0" * 16,)),
    "restore_wrong_type": raises(TypeError, wayforge._restore, "Path2D", 1, b"", b"", [b""]),
    "restore_unknown_version": raises(ValueError, wayforge._restore, "Path2D", 2**70, b"", b"", ()),
    "restore_unknown_class": raises(ValueError, wayforge._restore, "Path3D"),
    "restore_huge_count": raises(ValueError, wayforge._restore, "ResamplingMethod_ByNumberPoints", 2**64),
    "restore_unknown_member": raises(ValueError, wayforge._restore, "InterpolationMethod", 2),
}

def fleet_operations():
    """The batch and the vectorised queries, with their refusals."""
    batch = lambda: wayforge.PathBatch(ARRAY, [0, 2, 4], ARRAY)
    return {
        "batch_construction": batch,
        "batch_from_paths": lambda: wayforge.PathBatch.from_paths([PATH, PATH]),
        "batch_operations": lambda: (batch().resampled_path(BY_NUMBER, LINEAR), batch().smoothed_path_chaikin(1),
                                     batch().repair_corrupted_point_order(), batch().detect_corrupted_point_order(),
                                     batch().compute_circle_fit_curvature()),
        "batch_reading": lambda: (batch()[-1], list(batch()), batch().values_np, batch().offsets,
                                  batch().curvature_np, batch().unit_tangent_vector_np, repr(batch())),
        "batch_pickle": lambda: pickle.loads(pickle.dumps(BATCH)),
        "batch_bad_layout": raises(ValueError, lambda: wayforge.PathBatch(ARRAY, [0, 5])),
        "batch_bad_type": raises(TypeError, lambda: wayforge.PathBatch(ARRAY, [0.5, 4])),
        "batch_ragged": raises(ValueError, lambda: wayforge.PathBatch([[0, 0], [1]], [0, 2])),
        "batch_index": raises(IndexError, lambda: batch()[2]),
        "locate_points": lambda: wayforge.locate_points(Path2D(points=POINTS), ARRAY),
        "interpolate_at_lengths": lambda: wayforge.interpolate_at_lengths(PATH, [0.5, -1.0, float("nan")]),
        "locate_bad_shape": raises(ValueError, wayforge.locate_points, PATH, [1.0, 2.0, 3.0]),
        "locate_not_a_path": raises(TypeError, wayforge.locate_points, 3, ARRAY),
    }


ARRAY = None
BATCH = None
SLOW = {"smoothed_path_elastic_band", "smoothed_path_elastic_band_empty"}


def elastic_band_operations():
    return {
        "smoothed_path_elastic_band": lambda: PATH.smoothed_path_elastic_band(0.2, ElasticBandMethod.SquareBounds),
        "smoothed_path_elastic_band_empty": raises("panic", EMPTY.smoothed_path_elastic_band, 0.2),
        "elastic_band_bad_type": raises(TypeError, PATH.smoothed_path_elastic_band, 0.2, None),
    }


OPERATIONS.update(elastic_band_operations())
OPERATIONS.update(fleet_operations())


@pytest.fixture(scope="module", autouse=True)
def numpy_array():
    global ARRAY, BATCH
    np = pytest.importorskip("numpy")
    ARRAY = np.array(POINTS)
    BATCH = wayforge.PathBatch(ARRAY, [0, 2, 4], ARRAY)
    PATH.curvature_np  # the NumPy table is located once, outside the loops


@pytest.mark.parametrize("name", [pytest.param(n, marks=needs_clarabel) if n == "smoothed_path_elastic_band" else n
                                  for n in sorted(OPERATIONS)])
def test_no_reference_leak(name, capfd):
    leaked, deltas = grows_every_round(OPERATIONS[name], loops=100 if name in SLOW else LOOPS,
                                       warmup=2 * WARMUP if name in SLOW else WARMUP)
    capfd.readouterr()  # PanicException reports, one per call
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


# ---- C++-side leaks: resident set size in a child process ----

RSS_WARMUP, RSS_MEASURED, RSS_TOLERANCE = 3, 5, 256 << 10

RSS_CHILD = """
import copy, ctypes, gc, importlib.util, json, os, pickle, sys
import numpy as np
import wayforge
from wayforge import ElasticBandMethod, InterpolationMethod, Path2D, ResamplingMethod

CLARABEL = importlib.util.find_spec("clarabel") is not None

libc = ctypes.CDLL(None)
page = os.sysconf("SC_PAGE_SIZE")

def rss():
    gc.collect()
    libc.malloc_trim(0)  # hand freed heap back, so that only live memory counts
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * page

def swallow(fn, *args):
    try:
        fn(*args)
    except BaseException:
        pass

xs = np.linspace(0, 50, 2000)
by_number = ResamplingMethod.by_number_points(3000)
small_points = [[0, 0], [1, 0.5], [2, 0], [3, 1], [4, 0]]
small = Path2D(points=small_points)
small.add_associated_values([1, 2, 3, 4, 5])
few = ResamplingMethod.by_number_points(7)

def heavy():
    # large buffers: a leak of any of them shows at once
    p = Path2D(x=xs, y=np.cos(xs))
    p.add_associated_values(xs)
    p.curvature_np; p.unit_tangent_vector; p.orientation; p.path_length_per_point
    p.resampled_path(by_number, InterpolationMethod.Cubic)
    p.smoothed_path_chaikin(2)
    p.sub_path([1.0, 1.0], [40.0, 0.0])
    p.repair_corrupted_point_order(1.0)
    p.compute_circle_fit_curvature(0.01)
    pickle.loads(pickle.dumps(p, protocol=pickle.HIGHEST_PROTOCOL))
    if CLARABEL:
        small.smoothed_path_elastic_band(0.2)

def light():
    # many small calls and every kind of failure: a leak of a few bytes per
    # call adds up over the rounds
    p = Path2D(points=small_points)
    p.add_associated_values((1, 2, 3, 4, 5))
    p.curvature; p.points_np; repr(p)
    small.resampled_path(few, InterpolationMethod.Cubic)
    small.smoothed_path_chaikin(1)
    small.sub_path([0.5, 0.1], [3.5, 0.5])
    small.repair_corrupted_point_order(1.0)
    small.index_from_point([1.5, 0.2]); small.path_length_from_point([1.5, 0.2])
    small.find_circle_segments(0, 5, 0.01)
    swallow(small.find_circle_segments, 5, 2)                                   # PanicException
    swallow(small.resampled_path, ResamplingMethod.by_number_points(0))         # PanicException
    swallow(small.resampled_path, ResamplingMethod.by_number_points(2**61))     # PanicException
    swallow(small.smoothed_path_chaikin, 2**62)                                 # MemoryError
    swallow(Path2D, [[0, 0], [1]])                                              # ValueError
    swallow(small.index_from_point, [0, None])                                  # TypeError
    swallow(small.add_associated_values, [1.0])                                 # TypeError
    swallow(Path2D.__new__, Path2D)                                             # TypeError
    copy.deepcopy(small); pickle.loads(pickle.dumps((few, InterpolationMethod.Cubic)))
    swallow(wayforge._restore, "Path2D", 1, b"", b"", (b"x" * 8,))             # ValueError

samples = []
for round_ in range(ROUNDS):
    for _ in range(HEAVY):
        heavy()
    for _ in range(LIGHT):
        light()
    samples.append(rss())
print(json.dumps(samples))
"""


@pytest.mark.skipif(bool(os.environ.get("WAYFORGE_SANITIZED")),
                    reason="the sanitizer's allocator keeps freed memory in quarantine")
def test_resident_set_stops_growing():
    """Heavy operations and their failures, looped in a fresh process: after
    warm-up rounds the resident set must not grow (a C++ allocation that is
    never freed would add to it in every round)."""
    code = RSS_CHILD.replace("ROUNDS", str(RSS_WARMUP + RSS_MEASURED)).replace("HEAVY", "10")
    code = code.replace("LIGHT", "5000")
    result = subprocess.run([sys.executable, "-c", textwrap.dedent(code)], capture_output=True, text=True,
                            timeout=600)
    assert result.returncode == 0, result.stderr[-2000:]
    samples = json.loads(result.stdout)
    # 5 measured rounds of 5000 light calls: a leak of 16 bytes per call
    # would add 400 KiB.
    growth = samples[-1] - samples[RSS_WARMUP - 1]
    assert growth < RSS_TOLERANCE, f"resident set grew by {growth} bytes after warm-up: {samples}"
