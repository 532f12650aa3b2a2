import pytest
from hypothesis import assume, given, strategies as st

from wayforge import Path2D

LINE = [[0, 0], [1, 0], [2, 0]]


def line_with_values():
    p = Path2D(LINE)
    assert p.add_associated_values([10, 20, 30]) == 0
    return p


@pytest.mark.parametrize(
    "kwargs, points, values",
    [
        ({}, LINE, [10, 20, 30]),
        ({"start": [0.5, 0.1], "end": [1.5, -0.1]}, [[0.5, 0], [1, 0], [1.5, 0]], [15, 20, 25]),
        ({"start": [0.3, 0], "end": [0.7, 0]}, [[0.3, 0], [0.7, 0]], [13, 17]),
        ({"start": [0.995, 0]}, [[1, 0], [2, 0]], [20, 30]),  # start within epsilon of (1, 0)
        ({"start": [1, 0], "end": None}, [[1, 0], [2, 0]], [20, 30]),  # a vertex starts with its own value
        ({"start": [0.5, 0], "end": [0.5, 0]}, [[0.5, 0]], [15]),
        ({"start": [0.005, 0], "end": [0.002, 0]}, [[0, 0]], [10]),  # both match the first point
    ],
)
def test_cut_points_and_values(kwargs, points, values):
    p = line_with_values()
    r = p.sub_path(**kwargs)
    assert sum(r.points, []) == pytest.approx(sum(points, []), abs=1e-12)
    assert r.associated_values(0) == pytest.approx(values, abs=1e-12)
    assert r.associated_values(1) is None
    assert r is not p and p.points == LINE


@pytest.mark.parametrize(
    "start, end",
    [
        ([2, 0], None),
        ([2, 0], [2.001, 0.001]),
        ([1.999, 0], [2.0, -0.009]),
    ],
)
def test_both_queries_at_the_last_point_keep_the_last_value(start, end):
    # Both projections are the last point: the end value is the last value,
    # not one read past the end of the list.
    r = line_with_values().sub_path(start, end)
    assert r.points == [[2.0, 0.0]]
    assert r.associated_values(0) == [30.0]
    assert Path2D(LINE).sub_path(start, end).points == [[2.0, 0.0]]


def test_single_point_path_with_values():
    p = Path2D([[3, 4]])
    p.add_associated_values([7])
    r = p.sub_path()
    assert (r.points, r.associated_values(0)) == ([[3.0, 4.0]], [7.0])


@pytest.mark.parametrize(
    "points, start, end",
    [
        (LINE, [0.7, 0], [0.3, 0]),  # same segment, start after end
        (LINE, [1.5, 0], [0.5, 0]),  # start segment after end segment
        (LINE, None, [3, 0]),  # the end has no projection
        (LINE, [-1, 0], None),
        ([], None, None),
    ],
)
def test_no_result(points, start, end):
    assert Path2D(points).sub_path(start, end) is None


def test_closed_path_without_arguments_is_its_first_point():
    p = Path2D([[0, 0], [1, 0], [1, 1], [0, 0.005]])
    assert p.sub_path().points == [[0.0, 0.0]]


def test_result_attributes_are_computed_afresh():
    p = line_with_values()
    p.length
    r = p.sub_path([0.5, 0])
    assert "path_length_per_point: OnceCell(<uninit>)" in repr(r)
    assert r.path_length_per_point == [0.0, 0.5, 1.5]


coordinate = st.integers(-50, 50).map(lambda v: v / 10)


@given(st.lists(st.tuples(coordinate, coordinate), min_size=2, max_size=30))
def test_without_arguments_a_generic_path_is_unchanged(points):
    def close(u, w):
        return abs(u[0] - w[0]) <= 0.01 and abs(u[1] - w[1]) <= 0.01

    assume(not any(close(u, w) for u, w in zip(points, points[1:])))
    assume(not close(points[0], points[-1]))
    p = Path2D([list(q) for q in points])
    p.add_associated_values([float(i) for i in range(len(points))])
    r = p.sub_path()
    assert r.points == p.points
    assert r.associated_values(0) == p.associated_values(0)


def test_docstring():
    assert Path2D.sub_path.__text_signature__ == "($self, start=None, end=None, epsilon=0.01)"
    assert Path2D.sub_path.__doc__ == (
        "sub_path(start=None, end=None, epsilon=0.01)\n\n"
        "Returns the sub path from start to end.\n"
        "If start is None, the path begins at the beginning.\n"
        "The same holds for end.\n"
        "The new path is not necessarily equidistant.\n\n"
        ":param start: Beginning of the sub path\n"
        ":param end: End of the sub path\n"
        ":param epsilon: The distance within two points are considered equal\n\n"
        ":type start: list[float]\n:type end: list[float]\n:type epsilon: float\n\n"
        ":returns: The sub path\n:rtype: Path2D"
    )


@pytest.mark.parametrize(
    "args, kwargs, error, message",
    [
        ((None, None, 0.1, 1), {}, TypeError, "Path2D.sub_path() takes from 0 to 3 positional arguments but 4 were given"),
        (([0, 0],), {"start": [0, 0]}, TypeError, "Path2D.sub_path() got multiple values for argument 'start'"),
        ((), {"stop": [0, 0]}, TypeError, "Path2D.sub_path() got an unexpected keyword argument 'stop'"),
        ((1,), {}, TypeError, "argument 'start': 'int' object cannot be converted to 'Sequence'"),
        ((None, "ab"), {}, TypeError, "argument 'end': must be real number, not str"),
        ((None, [1]), {}, ValueError, "expected a sequence of length 2 (got 1)"),
        ((), {"epsilon": None}, TypeError, "argument 'epsilon': must be real number, not NoneType"),
        # conversion stops at the first failure
        ((1, [1]), {"epsilon": None}, TypeError, "argument 'start': 'int' object cannot be converted to 'Sequence'"),
    ],
)
def test_argument_errors(args, kwargs, error, message):
    with pytest.raises(error) as info:
        Path2D(LINE).sub_path(*args, **kwargs)
    assert type(info.value) is error and str(info.value) == message
