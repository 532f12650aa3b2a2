"""Construction, the list properties and the derived attributes of Path2D."""

import math

import pytest

from wayforge import Path2D


@pytest.mark.parametrize(
    "kwargs",
    [{}, {"x": [0, 1]}, {"y": [0, 1]}, {"points": [[0, 0]], "x": [0]},
     {"points": [[0, 0]], "y": [0]}, {"points": [[0, 0]], "x": [0], "y": [0]},
     {"points": None, "x": None, "y": [1]}],
)
def test_refused_combinations(kwargs):
    with pytest.raises(TypeError) as info:
        Path2D(**kwargs)
    assert str(info.value) == "Create path either from points or coordinates"


def test_arguments_are_converted_before_the_combination_is_checked():
    with pytest.raises(TypeError, match="^argument 'points': Can't extract `str` to `Vec`$"):
        Path2D(points="ab", x=[1])


@pytest.mark.parametrize(
    "make",
    [lambda: Path2D([[0, 0], [1, 0]]),
     lambda: Path2D(points=None, x=[0, 1], y=[0, 0]),
     lambda: Path2D(points=((0, 0), (1, 0))),
     lambda: Path2D(x=range(2), y=(0.0, 0.0))],
)
def test_equivalent_constructions(make):
    assert make().points == [[0.0, 0.0], [1.0, 0.0]]


def test_numpy_inputs_of_several_dtypes():
    np = pytest.importorskip("numpy")
    for dtype in (np.float64, np.float32, np.int64, np.int8):
        a = np.array([[0, 1], [2, 3]], dtype=dtype)
        assert Path2D(points=a).points == [[0.0, 1.0], [2.0, 3.0]]
        assert Path2D(x=a[:, 0], y=a[:, 1]).points == [[0.0, 1.0], [2.0, 3.0]]
    # Non-contiguous and Fortran-ordered arrays take the general route.
    a = np.arange(12.0).reshape(3, 4)
    assert Path2D(points=a[:, ::2]).points == [[0.0, 2.0], [4.0, 6.0], [8.0, 10.0]]
    assert Path2D(points=np.asfortranarray(a[:, :2])).points == [[0.0, 1.0], [4.0, 5.0], [8.0, 9.0]]
    with pytest.raises(ValueError, match=r"^expected a sequence of length 2 \(got 4\)$"):
        Path2D(points=a)
    assert Path2D(points=np.zeros((0, 2))).points == []


@pytest.mark.parametrize(
    "kwargs, message",
    [({"points": "ab"}, "argument 'points': Can't extract `str` to `Vec`"),
     ({"points": [1, 2]}, "argument 'points': 'int' object cannot be converted to 'Sequence'"),
     ({"points": 5}, "argument 'points': 'int' object cannot be converted to 'Sequence'"),
     ({"points": iter([[0, 0]])}, "argument 'points': 'list_iterator' object cannot be converted to 'Sequence'"),
     ({"points": [[0, None]]}, "argument 'points': must be real number, not NoneType"),
     ({"x": [0, "a"], "y": [0, 1]}, "argument 'x': must be real number, not str"),
     ({"x": [0, 1], "y": {1: 2}}, "argument 'y': 'dict' object cannot be converted to 'Sequence'")],
)
def test_conversion_errors(kwargs, message):
    with pytest.raises(TypeError) as info:
        Path2D(**kwargs)
    assert str(info.value) == message


def test_point_of_wrong_length_is_an_unprefixed_value_error():
    with pytest.raises(ValueError) as info:
        Path2D(points=[[0, 0, 0]])
    assert str(info.value) == "expected a sequence of length 2 (got 3)"


def test_prefixed_error_keeps_the_original_cause():
    class Bad:
        def __float__(self):
            try:
                raise KeyError("inner")
            except KeyError as e:
                raise TypeError("outer") from e

    with pytest.raises(TypeError) as info:
        Path2D(x=[Bad()], y=[0])
    assert str(info.value) == "argument 'x': outer"
    assert isinstance(info.value.__cause__, KeyError)


def test_non_type_errors_pass_through_unprefixed():
    class Bad:
        def __float__(self):
            raise ZeroDivisionError("boom")

    with pytest.raises(ZeroDivisionError, match="^boom$"):
        Path2D(points=[[Bad(), 0]])


def test_subclass_of_type_error_is_not_prefixed():
    class MyError(TypeError):
        pass

    class Bad:
        def __float__(self):
            raise MyError("mine")

    with pytest.raises(MyError, match="^mine$"):
        Path2D(x=[Bad()], y=[0])


def test_length_failure_is_ignored_and_items_are_iterated():
    class Seq:
        def __len__(self):
            raise RuntimeError("no length")

        def __getitem__(self, i):
            if i >= 3:
                raise IndexError
            return float(i)

    assert Path2D(x=Seq(), y=[0, 0, 0]).x == [0.0, 1.0, 2.0]


def test_iteration_error_ends_conversion():
    class Seq:
        def __len__(self):
            return 2

        def __getitem__(self, i):
            raise LookupError("broken")

    with pytest.raises(LookupError, match="^broken$"):
        Path2D(x=Seq(), y=[0])


def test_float_that_mutates_the_list_being_converted():
    values = []

    class Clearing:
        def __float__(self):
            values.clear()
            return 1.0

    values.extend([Clearing(), 2.0, 3.0])
    assert Path2D(x=values, y=[0, 0, 0]).x == [1.0]


def test_empty_path():
    p = Path2D(points=[])
    assert (p.points, p.x, p.y, p.path_length_per_point) == ([], [], [], [])
    assert p.length == 0.0
    assert (p.orientation, p.unit_tangent_vector, p.curvature) == ([], [], [])


def test_single_point():
    p = Path2D(points=[[2, 3]])
    assert (p.x, p.y, p.path_length_per_point, p.length) == ([2.0], [3.0], [0.0], 0.0)
    assert p.orientation == [0.0]
    assert all(math.isnan(v) for v in p.unit_tangent_vector[0])
    assert math.isnan(p.curvature[0])


def test_repeated_point_adds_no_length():
    p = Path2D(points=[[0, 0], [3, 4], [3, 4], [6, 8]])
    assert p.path_length_per_point == [0.0, 5.0, 5.0, 10.0]
    assert p.length == 10.0
    assert len(p.points) == 4


def test_unequal_coordinate_lists_keep_their_surplus():
    p = Path2D(x=[0, 1, 2], y=[0, 0])
    assert p.points == [[0.0, 0.0], [1.0, 0.0]]
    assert (p.x, p.y) == ([0.0, 1.0, 2.0], [0.0, 0.0])
    assert len(p.curvature) == 2
    assert len(p.unit_tangent_vector) == 2
    # the surplus x value takes part in the differences: dx = [1, 1] at the end
    assert p.unit_tangent_vector[1] == [1.0, 0.0]


def test_two_points():
    p = Path2D(points=[[0, 0], [2, 0]])
    assert p.orientation == [0.0, 0.0]
    assert p.unit_tangent_vector == [[1.0, 0.0], [1.0, 0.0]]
    assert p.curvature == [0.0, 0.0]


def test_left_turn_orientation_and_tangent():
    p = Path2D(points=[[0, 0], [1, 0], [1, 1]])
    assert p.orientation == [0.0, math.pi / 4, math.pi / 2]
    assert p.unit_tangent_vector[1] == pytest.approx([1 / math.sqrt(2), 1 / math.sqrt(2)])


def test_heading_minus_x_is_pi_not_shifted():
    assert Path2D(points=[[0, 0], [-1, 0]]).orientation == [math.pi, math.pi]
    assert Path2D(points=[[0, 0], [-1, -0.0]]).orientation == [-math.pi, -math.pi]


def test_circle_curvature_sign_follows_the_turn():
    pts = [[10 * math.cos(0.3 * i), 10 * math.sin(0.3 * i)] for i in range(12)]
    k = Path2D(points=pts).curvature
    assert k[2:-2] == pytest.approx([0.1] * 8, abs=1e-12)
    assert all(0 < v < 0.1 for v in k[:2] + k[-2:])
    assert Path2D(points=pts[::-1]).curvature == pytest.approx([-v for v in k[::-1]], abs=1e-15)


def test_attributes_on_canonical_paths(canonical):
    name, points, p = canonical
    n = len(points)
    for attribute in ("path_length_per_point", "orientation", "unit_tangent_vector", "curvature"):
        assert len(getattr(p, attribute)) == n, attribute
    s = p.path_length_per_point
    if n and name != "nan":
        assert s[0] == 0.0
        assert all(b >= a for a, b in zip(s, s[1:]))
        assert p.length == s[-1]


def test_properties_return_new_objects_and_are_read_only():
    p = Path2D(points=[[0, 0], [1, 0]])
    first = p.points
    first.append([5, 5])
    first[0][0] = 9.0
    assert p.points == [[0.0, 0.0], [1.0, 0.0]]
    assert p.points is not p.points
    for name in ("points", "x", "length", "curvature"):
        with pytest.raises(AttributeError):
            setattr(p, name, [])
    with pytest.raises(AttributeError):
        p.anything = 1


def test_identity_equality_and_hash():
    a = Path2D(points=[[0, 0]])
    b = Path2D(points=[[0, 0]])
    assert a != b and a == a
    assert hash(a) != hash(b) or a is b


def test_reading_twice_gives_equal_lists():
    p = Path2D(points=[[0, 0], [1, 2], [3, 1]])
    assert p.curvature == p.curvature
    assert p.orientation == p.orientation


@pytest.mark.huge_allocation
@pytest.mark.parametrize("length", [2**62, 10**15])
def test_huge_sequence_length_is_a_memory_error(length):
    with pytest.raises(MemoryError):
        Path2D(x=range(length), y=[])
