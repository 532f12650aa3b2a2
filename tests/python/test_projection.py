import math

import pytest
from hypothesis import given, strategies as st

from wayforge import Path2D

LINE = [[0, 0], [1, 0], [2, 0]]
CORNER = [[0, 0], [1, 0], [1, 1]]


@pytest.mark.parametrize(
    "points, query, index, length",
    [
        (LINE, [0.5, 0.3], 0, 0.5),
        (LINE, [1, 0.2], 1, 1.0),  # t = 1 on segment 0 belongs to segment 1
        (LINE, [2.5, 0], None, None),  # beyond the end, outside epsilon
        (LINE, [2.005, 0.005], 2, 2.0),  # last-point match
        (LINE, [-0.005, 0], 0, -0.005),  # first-point match keeps its signed offset
        (CORNER, [2, -1], None, None),  # outside both bands at the corner
        (CORNER, [1.5, 0.5], 1, 1.5),
        ([[0, 0], [1, 0], [1, 1], [0, 0]], [0, 0], 0, 0.0),  # first before last
        ([], [0, 0], None, None),
        ([[3, 4]], [3.01, 3.99], 0, 0.0),
        ([[3, 4]], [3.02, 4], None, None),
        (LINE, [math.nan, 0], None, None),
    ],
)
def test_index_and_path_length(points, query, index, length):
    p = Path2D(points)
    assert p.index_from_point(query) == index
    result = p.path_length_from_point(query)
    if length is None:
        assert result is None
    else:
        assert result == pytest.approx(length, abs=1e-15)


def test_first_point_match_on_a_repeated_first_point_gives_zero_not_nan():
    p = Path2D([[0, 0], [0, 0], [1, 0]])
    assert p.path_length_from_point([0.004, -0.003]) == 0.0
    assert p.index_from_point([0.004, -0.003]) == 0


def test_equidistant_segments_give_the_lower_index():
    # (1.5, 0.5) lies 0.5 from both segments.
    assert Path2D([[0, 0], [2, 0], [2, 2]]).index_from_point([1.5, 0.5]) == 0


@pytest.mark.parametrize(
    "query, epsilon, index",
    [
        ([2.009, 0.009], 0.01, 2),  # a square of half-width epsilon, not a circle
        ([2.011, 0.0], 0.01, None),
        ([2.0, 0.0], 0.0, 2),
        ([2.0, 0.0], -1.0, None),  # a negative epsilon disables the end matches
        ([2.0, 0.0], math.nan, None),
    ],
)
def test_end_point_tolerance(query, epsilon, index):
    assert Path2D(LINE).index_from_point(point=query, epsilon=epsilon) == index


def test_path_length_fills_the_length_cell_once():
    p = Path2D(LINE)
    assert "path_length_per_point: OnceCell(<uninit>)" in repr(p)
    p.path_length_from_point([0.5, 0])
    assert "path_length_per_point: OnceCell([0.0, 1.0, 2.0])" in repr(p)


@given(st.floats(0, 0.999), st.floats(-5, 5))
def test_path_length_on_a_straight_line_is_the_x_coordinate(t, offset):
    p = Path2D([[0, 0], [10, 0], [20, 0]])
    x = 20 * t
    if abs(x - 20) <= 0.01 and abs(offset) <= 0.01:
        return
    assert p.path_length_from_point([x, offset]) == pytest.approx(x, abs=1e-12)


DOCS = {
    "index_from_point": (
        "($self, point, epsilon=0.01)",
        "index_from_point(point, epsilon=0.01)\n\n"
        "Returns the index of the nearest point on the path in front of the given point.\n"
        "If the point outside the path, None is returned\n\n"
        ":param point: Point of interest\n"
        ":param epsilon: The distance within two points are considered equal\n\n"
        ":type point: list[float]\n:type epsilon: float\n\n"
        ":returns: The index of the nearest point\n:rtype: Option[int]",
    ),
    "path_length_from_point": (
        "($self, point, epsilon=0.01)",
        "path_length_from_point(point, epsilon=0.01)\n\n"
        "Returns the path length from the first point to the given point.\n"
        "If the point outside the path, None is returned\n\n"
        ":param point: Point of interest\n"
        ":param epsilon: The distance within two points are considered equal\n\n"
        ":type point: list[float]\n:type epsilon: float\n\n"
        ":returns: The path length\n:rtype: Option[int]",
    ),
}


@pytest.mark.parametrize("name", DOCS)
def test_docstrings(name):
    method = getattr(Path2D, name)
    assert (method.__text_signature__, method.__doc__) == DOCS[name]


@pytest.mark.parametrize("name", DOCS)
@pytest.mark.parametrize(
    "args, kwargs, error, message",
    [
        ((), {}, TypeError, "Path2D.{}() missing 1 required positional argument: 'point'"),
        (([0, 0], 0.1, 1), {}, TypeError, "Path2D.{}() takes from 1 to 2 positional arguments but 3 were given"),
        (([0, 0],), {"point": [0, 0]}, TypeError, "Path2D.{}() got multiple values for argument 'point'"),
        (([0, 0],), {"eps": 1}, TypeError, "Path2D.{}() got an unexpected keyword argument 'eps'"),
        (([0, 0, 0],), {}, ValueError, "expected a sequence of length 2 (got 3)"),
        ((5,), {}, TypeError, "argument 'point': 'int' object cannot be converted to 'Sequence'"),
        (([0, 0], None), {}, TypeError, "argument 'epsilon': must be real number, not NoneType"),
    ],
)
def test_argument_errors(name, args, kwargs, error, message):
    with pytest.raises(error) as info:
        getattr(Path2D(LINE), name)(*args, **kwargs)
    assert type(info.value) is error and str(info.value) == message.format(name)
