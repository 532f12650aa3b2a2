"""Path2D.resampled_path: its Python face, worked examples and properties."""

import math

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

from wayforge import ElasticBandMethod, InterpolationMethod, Path2D, ResamplingMethod

Linear = InterpolationMethod.Linear
Cubic = InterpolationMethod.Cubic
by_points = ResamplingMethod.by_number_points
by_distance = ResamplingMethod.by_sampling_distance


def panic_of(call):
    """The PanicException a call raises (it is a BaseException and no module attribute)."""
    try:
        call()
    except BaseException as e:  # noqa: B036
        if type(e).__name__ == "PanicException":
            return e
        raise
    pytest.fail("no PanicException raised")


def straight(length):
    return Path2D(points=[[0, 0], [length, 0]])


CORNER = [[0, 0], [1, 0], [2, 0], [2, 1], [2, 2]]


def test_docstring_and_signature():
    method = Path2D.resampled_path
    assert method.__text_signature__ == "($self, resampling_method, resampling_type=..., epsilon=0.01)"
    assert method.__doc__.split("\n") == [
        "resampled_path(resampling_method, resampling_type=InterpolationMethod.Linear, epsilon=0.01)",
        "",
        "Resamples the path equidistantly using the given interpolation method.",
        "",
        ":param number_points: Number of points of the resampled path",
        ":param resampling_type: Method of interpolation",
        ":param epsilon: The distance within two points are considered equal",
        "",
        ":type number_points: int",
        ":type resampling_type: ResamplingType",
        ":type epsilon: float",
        "",
        ":returns: Resampled path",
        ":rtype: Path2D",
    ]


def test_defaults_are_linear_and_epsilon_one_hundredth():
    p = straight(10.005)
    m = by_distance(2.5, False)
    assert p.resampled_path(m).points == p.resampled_path(m, Linear, 0.01).points
    assert p.resampled_path(m).x[-1] == 10.0
    assert p.resampled_path(m, epsilon=0.001).x[-1] == 10.005
    cubic = p.resampled_path(resampling_method=by_points(3), resampling_type=Cubic)
    assert cubic.x != p.resampled_path(by_points(3)).x
    assert cubic.x == p.resampled_path(by_points(3), Cubic, 0.01).x


@pytest.mark.parametrize(
    "args, kwargs, error, message",
    [((), {}, TypeError,
      "Path2D.resampled_path() missing 1 required positional argument: 'resampling_method'"),
     ((by_points(2), Linear, 0.1, 4), {}, TypeError,
      "Path2D.resampled_path() takes from 1 to 3 positional arguments but 4 were given"),
     ((by_points(2),), {"resampling_method": by_points(2)}, TypeError,
      "Path2D.resampled_path() got multiple values for argument 'resampling_method'"),
     ((by_points(2),), {"number_points": 2}, TypeError,
      "Path2D.resampled_path() got an unexpected keyword argument 'number_points'"),
     ((5,), {}, TypeError,
      "argument 'resampling_method': 'int' object cannot be converted to 'ResamplingMethod'"),
     ((by_points(2), 1), {}, TypeError,
      "argument 'resampling_type': 'int' object cannot be converted to 'InterpolationMethod'"),
     ((by_points(2), ElasticBandMethod.OrthogonalBounds), {}, TypeError,
      "argument 'resampling_type': 'ElasticBandMethod' object cannot be converted to 'InterpolationMethod'"),
     ((by_points(2),), {"epsilon": None}, TypeError,
      "argument 'epsilon': must be real number, not NoneType"),
     # Converted in parameter order: the first bad argument is reported.
     ((Linear, "x", "y"), {}, TypeError,
      "argument 'resampling_method': 'InterpolationMethod' object cannot be converted to 'ResamplingMethod'"),
     ((by_points(2), None, "y"), {}, TypeError,
      "argument 'resampling_type': 'NoneType' object cannot be converted to 'InterpolationMethod'")],
)
def test_argument_errors(args, kwargs, error, message):
    with pytest.raises(error) as info:
        straight(1).resampled_path(*args, **kwargs)
    assert type(info.value) is error
    assert str(info.value) == message


def test_two_point_path_with_five_points():
    p = straight(10)
    assert p.resampled_path(ResamplingMethod.ByNumberPoints(5)).x == [0.0, 2.5, 5.0, 7.5, 10.0]
    cubic = p.resampled_path(ResamplingMethod.ByNumberPoints(5), Cubic)
    assert cubic.x[0] == 0.0 and cubic.x[-1] == 10.0
    assert cubic.x[1:4] == pytest.approx([2.3726274, 4.8876124, 7.4587912], abs=1e-7)
    assert cubic.y == [0.0] * 5


@pytest.mark.parametrize(
    "kind, at_1_5, at_2_5",
    [(Cubic, [1.5625, -0.0625], [2.0625, 0.4375]), (Linear, [1.5, 0.0], [2.0, 0.5])],
)
def test_corner_with_nine_points(kind, at_1_5, at_2_5):
    r = Path2D(points=CORNER).resampled_path(by_points(9), kind)
    assert len(r.points) == 9
    assert r.points[3] == at_1_5
    assert r.points[5] == at_2_5
    assert r.path_length_per_point[-1] > 0  # a fresh record with its own attributes


@pytest.mark.parametrize(
    "length, method, epsilon, xs",
    [(10, by_distance(3, True), 0.01, [0, 3, 6, 9]),
     (10, by_distance(3, False), 0.01, [0, 3, 6, 9, 10]),
     (10, by_distance(2.5, False), 0.01, [0, 2.5, 5, 7.5, 10]),
     (10, by_distance(2.5, False), -1.0, [0, 2.5, 5, 7.5, 10, 10]),
     (4, by_distance(5), 0.01, [0]),
     (4, ResamplingMethod.BySamplingDistance(5, False), 0.01, [0, 4]),
     (10, by_points(1), 0.01, [10])],
)
def test_sampling_positions(length, method, epsilon, xs):
    assert straight(length).resampled_path(method, epsilon=epsilon).x == xs


def test_sampling_distance_floor_has_no_tolerance():
    # 0.3 / 0.1 is 2.9999999999999996 in double arithmetic.
    assert len(straight(0.3).resampled_path(by_distance(0.1, True)).x) == 3
    assert straight(0.3).resampled_path(by_distance(0.1, False)).x[-1] == 0.3


@pytest.mark.parametrize("kind", [Linear, Cubic])
def test_coincident_points(kind):
    p = Path2D(points=[[1, 2], [1, 2]])
    assert p.resampled_path(by_distance(0.5, False), kind).points == [[1.0, 2.0]]
    assert p.resampled_path(by_points(3), kind).points == [[1.0, 2.0]] * 3


@pytest.mark.parametrize("points", [[], [[2, 3]]])
@pytest.mark.parametrize("method", [by_points(0), by_distance(0.0), by_distance(-3.0, False)])
def test_short_paths_are_copied(points, method):
    p = Path2D(points=points)
    handle = p.add_associated_values([7.0] * len(points))
    r = p.resampled_path(method, Cubic)
    assert r is not p
    assert r.points == p.points
    assert r.associated_values(handle) == [7.0] * len(points)


@pytest.mark.parametrize("kind", [Linear, Cubic])
@pytest.mark.parametrize("method", [by_points(9), by_distance(0.3, False), by_distance(0.7)])
def test_associated_values_are_resampled_alike(kind, method):
    p = Path2D(points=CORNER)
    assert p.add_associated_values([x for x, _ in CORNER]) == 0
    assert p.add_associated_values([y for _, y in CORNER]) == 1
    r = p.resampled_path(method, kind)
    assert r.associated_values(0) == r.x
    assert r.associated_values(1) == r.y
    assert r.associated_values(2) is None
    assert p.associated_values(0) == [0.0, 1.0, 2.0, 2.0, 2.0]


def test_receiver_is_unchanged():
    p = Path2D(points=CORNER)
    before = repr(p)
    r = p.resampled_path(by_points(4))
    assert r is not p
    assert repr(p) == before.replace("path_length_per_point: OnceCell(<uninit>)",
                                     "path_length_per_point: OnceCell([0.0, 1.0, 2.0, 3.0, 4.0])")


@pytest.mark.parametrize(
    "method, message",
    [(by_points(0), None),
     (by_distance(0.0), "sampling distance must be positive, got 0"),
     (by_distance(-3.0, False), "sampling distance must be positive, got -3"),
     (by_distance(-3.0, True), "sampling distance must be positive, got -3"),
     (by_distance(float("nan")), None),
     (by_distance(1e-300), None)],
)
def test_internal_errors(method, message):
    p = straight(10)
    e = panic_of(lambda: p.resampled_path(method))
    if message is not None:
        assert e.args == (message,)
    # The receiver stays usable.
    assert p.resampled_path(by_points(2)).x == [0.0, 10.0]


@pytest.mark.huge_allocation
def test_grid_too_large_to_allocate_is_a_memory_error():
    p = straight(10)
    with pytest.raises(MemoryError):
        p.resampled_path(by_points(2**59))
    with pytest.raises(MemoryError):
        p.resampled_path(by_distance(1e-17))
    assert len(p.resampled_path(by_points(3)).points) == 3


def test_linear_matches_numpy_interp():
    np = pytest.importorskip("numpy")
    rng = np.random.default_rng(3)
    pts = np.cumsum(rng.normal(size=(200, 2)), axis=0)
    p = Path2D(points=pts)
    s = np.concatenate([[0.0], np.cumsum(np.hypot(*np.diff(pts, axis=0).T))])
    grid = np.linspace(0.0, s[-1], 777)
    r = np.array(p.resampled_path(by_points(777)).points)
    assert np.allclose(r[:, 0], np.interp(grid, s, pts[:, 0]), rtol=0, atol=1e-9)
    assert np.allclose(r[:, 1], np.interp(grid, s, pts[:, 1]), rtol=0, atol=1e-9)


# No magnitudes so small that squared differences underflow: such steps have
# no path length, and the start would then sample the following point.
coordinate = st.floats(-1e3, 1e3, allow_nan=False).filter(lambda v: v == 0 or abs(v) > 1e-100)


@settings(max_examples=200, deadline=None)
@given(points=st.lists(st.tuples(coordinate, coordinate), min_size=2, max_size=30),
       k=st.integers(1, 60), cubic=st.booleans())
def test_number_of_points_and_exact_ends(points, k, cubic):
    p = Path2D(points=points)
    r = p.resampled_path(by_points(k), Cubic if cubic else Linear)
    out = r.points
    assert len(out) == k
    assert out[-1] == list(points[-1])
    if k >= 2:
        assert out[0] == list(points[0])
    assert all(math.isfinite(v) for xy in out for v in xy)


@pytest.mark.parametrize("exponent", range(46, 53))
@pytest.mark.parametrize("kind", [Linear, Cubic])
@pytest.mark.parametrize("method", [by_points(3), by_points(7), by_distance(2.0**40, False),
                                    by_distance(3e13, False)], ids=["3", "7", "2^40", "3e13"])
def test_very_long_paths_end_at_their_last_point(exponent, kind, method):
    # From a length of about 2^47 the end pads at +0.01 and +0.02 round onto
    # the length itself; the end must still be sampled, never made up as (0, 0).
    length = 2.0**exponent
    path = Path2D(points=[[0, 0], [length / 2, 1], [length, 2]])
    points = path.resampled_path(method, kind).points
    assert points[0] == [0, 0]
    assert points[-1] == [length, 2]
    assert all(p[0] > 0 for p in points[1:])
