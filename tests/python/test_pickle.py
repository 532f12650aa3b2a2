"""Paths and method values travel: pickle on every protocol, copy.copy and
copy.deepcopy. A loaded path holds x and y as given (with the surplus of a
longer list), every value list under its handle and the same next handle,
all bit for bit; bad state is refused with TypeError or ValueError."""

import copy
import math
import multiprocessing
import operator
import pickle
import struct
import subprocess
import sys
import textwrap
from concurrent.futures import ProcessPoolExecutor

import pytest

import wayforge
from wayforge import ElasticBandMethod, InterpolationMethod, Path2D, ResamplingMethod

PROTOCOLS = list(range(pickle.HIGHEST_PROTOCOL + 1))
# Every way an object is duplicated: through pickle on each protocol, and copy.
TRANSPORTS = {f"pickle {p}": (lambda obj, p=p: pickle.loads(pickle.dumps(obj, protocol=p))) for p in PROTOCOLS}
TRANSPORTS.update({"copy": copy.copy, "deepcopy": copy.deepcopy})

NAN_PAYLOAD = struct.unpack("<d", struct.pack("<Q", 0x7FF0_0000_DEAD_BEEF | 1 << 51))[0]
SPECIAL = [NAN_PAYLOAD, -0.0, 5e-324, -2.2250738585072014e-308, math.inf, 1.7976931348623157e308, 0.1]


def bits(values):
    return [struct.pack("<d", v) for v in values]


def with_values(path, *lists):
    for values in lists:
        path.add_associated_values(values)
    return path


def read_attributes(path):
    path.length, path.orientation, path.curvature, path.unit_tangent_vector
    return path


PATHS = {
    "longer x": lambda: Path2D(x=[0.0, 1.0, 2.0, 7.5], y=[0.0, 0.0, 1.0]),
    "longer y": lambda: with_values(Path2D(x=[3.0], y=[1.0, -4.0]), [9.0]),
    "empty": lambda: Path2D(points=[]),
    "empty with a value list": lambda: with_values(Path2D(x=[], y=[]), []),
    "one point": lambda: Path2D(points=[[2.0, 3.0]]),
    "NaN, -0.0, subnormals": lambda: with_values(Path2D(x=SPECIAL, y=SPECIAL[::-1]), SPECIAL),
    "values with handles": lambda: with_values(Path2D(points=[[0, 0], [1, 0], [2, 1]]),
                                               [1, 2, 3], [4, 5, 6], [-0.0, NAN_PAYLOAD, 1e-310]),
    "attributes read": lambda: read_attributes(with_values(Path2D(points=[[0, 0], [1, 0], [2, 1]]), [1, 2, 3])),
}


def contents(path):
    """Everything a path carries, bit for bit, and its next handle (found by
    adding to a copy, so that the path itself is left as it was)."""
    handles = 0
    while path.associated_values(handles) is not None:
        handles += 1
    return {
        "points": [bits(p) for p in path.points],
        "x": bits(path.x),
        "y": bits(path.y),
        "values": [bits(path.associated_values(k)) for k in range(handles)],
        "next handle": handles,
        "curvature": bits(path.curvature),
    }


@pytest.mark.parametrize("transport", sorted(TRANSPORTS))
@pytest.mark.parametrize("name", sorted(PATHS))
def test_path_travels_whole(name, transport):
    path = PATHS[name]()
    loaded = TRANSPORTS[transport](path)
    assert type(loaded) is Path2D and loaded is not path
    assert contents(loaded) == contents(path)
    n = len(path.points)
    assert loaded.add_associated_values([0.5] * n) == contents(path)["next handle"]


@pytest.mark.parametrize("transport", sorted(TRANSPORTS))
def test_a_copy_is_independent(transport):
    original = with_values(Path2D(points=[[0, 0], [1, 1]]), [1, 2])
    duplicate = TRANSPORTS[transport](original)
    assert duplicate.add_associated_values([3, 4]) == 1
    assert original.associated_values(1) is None
    assert original.add_associated_values([5, 6]) == 1
    assert duplicate.associated_values(1) == [3.0, 4.0]


METHOD_VALUES = {
    "by_number_points(0)": lambda: ResamplingMethod.by_number_points(0),
    "by_number_points(2**64 - 1)": lambda: ResamplingMethod.by_number_points(2**64 - 1),
    "by_sampling_distance(0.5)": lambda: ResamplingMethod.by_sampling_distance(0.5),
    "BySamplingDistance(-0.0, False)": lambda: ResamplingMethod.BySamplingDistance(-0.0, False),
    "BySamplingDistance(nan, True)": lambda: ResamplingMethod.BySamplingDistance(math.nan, True),
    "Cubic": lambda: InterpolationMethod.Cubic,
    "Linear": lambda: InterpolationMethod.Linear,
    "SquareBounds": lambda: ElasticBandMethod.SquareBounds,
    "OrthogonalBounds": lambda: ElasticBandMethod.OrthogonalBounds,
}


def fields(value):
    if isinstance(value, ResamplingMethod):
        if hasattr(value, "number_points"):
            return (value.number_points,)
        return (bits([value.sampling_distance]), value.drop_last)
    return (int(value),)


@pytest.mark.parametrize("transport", sorted(TRANSPORTS))
@pytest.mark.parametrize("name", sorted(METHOD_VALUES))
def test_method_value_travels(name, transport):
    value = METHOD_VALUES[name]()
    loaded = TRANSPORTS[transport](value)
    assert type(loaded) is type(value) and fields(loaded) == fields(value)
    if not isinstance(value, ResamplingMethod):
        assert loaded is value  # the members are singletons
    elif not math.isnan(getattr(value, "sampling_distance", 0.0)):
        assert loaded == value


def test_pickling_adds_no_public_name():
    assert wayforge.__all__[:4] == ["Path2D", "ResamplingMethod", "InterpolationMethod", "ElasticBandMethod"]
    assert [n for n in vars(wayforge) if not n.startswith("__")] == wayforge.__all__ + ["_restore"]
    assert wayforge._restore.__module__ == "wayforge"
    for cls in (Path2D, ResamplingMethod, ResamplingMethod.ByNumberPoints, InterpolationMethod, ElasticBandMethod):
        assert cls.__module__ == "builtins"


class Forged:
    """Pickles as a call of wayforge._restore with any state: a hand-made or
    damaged pickle."""

    def __init__(self, *state):
        self.state = state

    def __reduce__(self):
        return wayforge._restore, self.state


GOOD_X = struct.pack("<3d", 0.0, 1.0, 2.0)


@pytest.mark.parametrize(
    "state, error, message",
    [
        ((), TypeError, "_restore() takes the name of a wayforge class and its state"),
        ((1, 2), TypeError, "_restore() takes the name of a wayforge class and its state"),
        (("Path3D", 1), ValueError, "_restore(): no wayforge class is named 'Path3D'"),
        (("Path2D", 1, GOOD_X, GOOD_X), TypeError,
         "cannot restore Path2D: its state has 4 items (version, x, y, associated values), not 3"),
        (("Path2D", "1", GOOD_X, GOOD_X, ()), TypeError,
         "cannot restore Path2D: the state version must be an int, not 'str'"),
        (("Path2D", 2, GOOD_X, GOOD_X, ()), ValueError,
         "cannot restore Path2D: unknown state version 2 (this wayforge reads version 1)"),
        (("Path2D", 2**100, GOOD_X, GOOD_X, ()), ValueError,
         f"cannot restore Path2D: unknown state version {2**100} (this wayforge reads version 1)"),
        (("Path2D", 1, [0.0, 1.0], GOOD_X, ()), TypeError, "cannot restore Path2D: x must be bytes, not 'list'"),
        (("Path2D", 1, GOOD_X, GOOD_X[:-3], ()), ValueError,
         "cannot restore Path2D: y holds 21 bytes, which is not a whole number of float64 values"),
        (("Path2D", 1, GOOD_X, GOOD_X, [GOOD_X]), TypeError,
         "cannot restore Path2D: the associated values must be a tuple, not 'list'"),
        (("Path2D", 1, GOOD_X, GOOD_X, (GOOD_X, 7)), TypeError,
         "cannot restore Path2D: associated values 1 must be bytes, not 'int'"),
        (("Path2D", 1, GOOD_X, GOOD_X, (GOOD_X, GOOD_X[:16])), ValueError,
         "cannot restore Path2D: associated values 1 holds 2 values for a path of 3 points"),
        # the surplus of a longer x is no point: 2 points, so 3 values are too many
        (("Path2D", 1, GOOD_X, GOOD_X[:16], (GOOD_X,)), ValueError,
         "cannot restore Path2D: associated values 0 holds 3 values for a path of 2 points"),
        (("ResamplingMethod_ByNumberPoints",), TypeError,
         "cannot restore ResamplingMethod_ByNumberPoints: its state has 1 item (number_points), not 0"),
        (("ResamplingMethod_ByNumberPoints", 2**64), ValueError,
         f"cannot restore ResamplingMethod_ByNumberPoints: number_points must be between 0 and 2**64 - 1, "
         f"not {2**64}"),
        (("ResamplingMethod_ByNumberPoints", -1), ValueError,
         "cannot restore ResamplingMethod_ByNumberPoints: number_points must be between 0 and 2**64 - 1, not -1"),
        (("ResamplingMethod_ByNumberPoints", 3.0), TypeError,
         "cannot restore ResamplingMethod_ByNumberPoints: number_points must be an int, not 'float'"),
        (("ResamplingMethod_BySamplingDistance", 1, True), TypeError,
         "cannot restore ResamplingMethod_BySamplingDistance: sampling_distance must be a float, not 'int'"),
        (("ResamplingMethod_BySamplingDistance", 1.0, 1), TypeError,
         "cannot restore ResamplingMethod_BySamplingDistance: drop_last must be a bool, not 'int'"),
        (("InterpolationMethod", 2), ValueError, "cannot restore InterpolationMethod: the value must be 0 or 1, not 2"),
        (("ElasticBandMethod", "Linear"), TypeError,
         "cannot restore ElasticBandMethod: the value must be an int, not 'str'"),
    ],
)
def test_bad_state_is_refused(state, error, message):
    data = pickle.dumps(Forged(*state))
    with pytest.raises(error) as raised:
        pickle.loads(data)
    assert type(raised.value) is error and str(raised.value) == message


def test_paths_travel_through_a_spawn_process_pool():
    path = with_values(Path2D(x=[0.0, 1.0, 2.0, 4.0, 9.9], y=[0.0, 1.0, 0.0, 1.0]), [1, 2, 3, 4])
    resample = operator.methodcaller("resampled_path", ResamplingMethod.by_number_points(7),
                                     InterpolationMethod.Cubic)
    with ProcessPoolExecutor(1, mp_context=multiprocessing.get_context("spawn")) as pool:
        echoed, resampled = pool.map(copy.copy, [path]), pool.submit(resample, path)
        assert contents(next(echoed)) == contents(path)
        assert contents(resampled.result()) == contents(resample(path))


def test_pickling_does_not_need_numpy():
    code = textwrap.dedent("""
        import copy, pickle, sys
        import wayforge
        path = wayforge.Path2D(x=[0.0, 1.0, 2.0], y=[1.0, 2.0])
        path.add_associated_values([3.0, 4.0])
        loaded = pickle.loads(pickle.dumps([path, wayforge.InterpolationMethod.Cubic]))[0]
        copy.deepcopy(loaded)
        assert loaded.x == [0.0, 1.0, 2.0] and loaded.associated_values(0) == [3.0, 4.0]
        assert "numpy" not in sys.modules, "NumPy was imported"
        """)
    result = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True)
    assert result.returncode == 0, result.stderr
