"""Per-point value lists attached to a path: adding, reading by handle,
the borrow taken while adding, docstrings and argument errors."""

import numpy as np
import pytest

from wayforge import Path2D


def three_points():
    return Path2D(points=[[0, 0], [1, 0], [2, 1]])


def mismatch(given, expected):
    return f"The associated value has length {given}, although {expected} was expected"


def test_handles_count_from_zero():
    p = three_points()
    assert p.add_associated_values([1, 2, 3]) == 0
    assert p.add_associated_values([4, 5, 6]) == 1
    assert p.associated_values(1) == [4.0, 5.0, 6.0]
    assert p.associated_values(0) == [1.0, 2.0, 3.0]
    array = p.associated_value_np(1)
    assert array.dtype == np.float64 and array.shape == (3,)
    assert array.tolist() == [4.0, 5.0, 6.0]


@pytest.mark.parametrize("values", [[1, 2], [1, 2, 3, 4], []])
def test_length_mismatch_changes_nothing(values):
    p = three_points()
    p.add_associated_values([1, 2, 3])
    before = repr(p)
    with pytest.raises(TypeError) as error:
        p.add_associated_values(values)
    assert type(error.value) is TypeError
    assert str(error.value) == mismatch(len(values), 3)
    assert repr(p) == before
    assert p.associated_values(1) is None
    assert p.add_associated_values([7, 8, 9]) == 1


def test_empty_path():
    p = Path2D(points=[])
    assert p.add_associated_values([]) == 0
    assert p.associated_values(0) == []
    assert p.associated_value_np(0).shape == (0,)
    with pytest.raises(TypeError, match="^" + mismatch(1, 0) + "$"):
        p.add_associated_values([1.0])


def test_path_from_coordinates_counts_points_not_coordinates():
    p = Path2D(x=[0, 1, 2], y=[0, 1])
    with pytest.raises(TypeError, match="^" + mismatch(3, 2) + "$"):
        p.add_associated_values([1, 2, 3])
    assert p.add_associated_values([1, 2]) == 0


@pytest.mark.parametrize("handle", [2, 5, 2**64 - 1])
def test_unknown_handle_gives_none(handle):
    p = three_points()
    p.add_associated_values([1, 2, 3])
    p.add_associated_values([4, 5, 6])
    assert p.associated_values(handle) is None
    assert p.associated_value_np(handle) is None


def test_results_are_copies():
    p = three_points()
    p.add_associated_values([1, 2, 3])
    values = p.associated_values(0)
    values.append(4.0)
    values[0] = -1.0
    array = p.associated_value_np(0)
    array[:] = 0.0
    assert p.associated_values(0) == [1.0, 2.0, 3.0]
    assert p.associated_value_np(0) is not p.associated_value_np(0)


@pytest.mark.parametrize(
    "values",
    [(1, 2, 3), np.array([1.0, 2.0, 3.0]), np.array([1, 2, 3]), range(1, 4),
     [True, np.float32(2), np.int64(3)]],
    ids=["tuple", "float64 array", "int array", "range", "numeric types"],
)
def test_any_sequence_of_numbers(values):
    p = three_points()
    assert p.add_associated_values(values) == 0
    assert p.associated_values(0) == [1.0, 2.0, 3.0]


def test_the_list_shows_in_repr():
    p = Path2D(points=[[0, 0]])
    p.add_associated_values([0.5])
    assert repr(p).endswith("associated_values: [[0.5]] } }")


class ReadsDuringIteration:
    """A sequence whose iteration runs user code against the path."""

    def __init__(self, action):
        self.action = action

    def __len__(self):
        return 3

    def __getitem__(self, index):
        return 1.0

    def __iter__(self):
        self.action()
        return iter([1.0, 2.0, 3.0])


@pytest.mark.parametrize(
    "action, message",
    [
        (lambda p: p.points, "Already mutably borrowed"),
        (lambda p: p.curvature_np, "Already mutably borrowed"),
        (lambda p: p.associated_values(0), "Already mutably borrowed"),
        (lambda p: repr(p), "Already mutably borrowed"),
        (lambda p: p.add_associated_values([1, 2, 3]), "Already borrowed"),
    ],
    ids=["points", "curvature_np", "associated_values", "repr", "add"],
)
def test_adding_holds_the_write_borrow_while_converting(action, message):
    p = three_points()
    with pytest.raises(RuntimeError) as error:
        p.add_associated_values(ReadsDuringIteration(lambda: action(p)))
    assert type(error.value) is RuntimeError
    assert str(error.value) == message
    # Nothing was added and the borrow was released.
    assert p.associated_values(0) is None
    assert p.add_associated_values([1, 2, 3]) == 0


def test_item_conversion_that_reads_the_path_fails_too():
    p = three_points()

    class Reader:
        def __float__(self):
            return float(len(p.x))

    with pytest.raises(RuntimeError, match="^Already mutably borrowed$"):
        p.add_associated_values([1.0, Reader(), 2.0])
    assert p.associated_values(0) is None


def test_adding_while_a_reader_converts_its_handle():
    p = three_points()
    p.add_associated_values([1, 2, 3])

    class Handle:
        def __index__(self):
            p.add_associated_values([4, 5, 6])
            return 0

    with pytest.raises(RuntimeError, match="^Already borrowed$"):
        p.associated_values(Handle())
    assert p.associated_values(1) is None


def test_a_borrow_conflict_on_another_path_is_no_conflict():
    p, q = three_points(), three_points()
    assert p.add_associated_values(ReadsDuringIteration(lambda: q.points)) == 0


DOCS = {
    "add_associated_values": (
        "(self, values)",
        "add_associated_values(values)\n"
        "\n"
        "Adds an associated value.\n"
        "\n"
        ":param values: The values that should be added as associated to the path\n"
        "\n"
        ":type values: list[float]\n"
        "\n"
        ":returns: The handle for accessing the associated values again\n"
        ":rtype: int",
    ),
    "associated_values": (
        "(self, handle)",
        "associated_values(handle)\n"
        "\n"
        "Returns the respective associated values.\n"
        "\n"
        ":param handle: The handle of the associated values\n"
        "\n"
        ":type handle: int\n"
        "\n"
        ":returns: The associated values\n"
        ":rtype: list[float]",
    ),
    "associated_value_np": (
        "(self, handle)",
        "associated_values_np(handle)\n"
        "\n"
        "Returns the respective associated values.\n"
        "\n"
        ":param handle: The handle of the associated values\n"
        "\n"
        ":type handle: int\n"
        "\n"
        ":returns: The associated values\n"
        ":rtype: numpy.ndarray",
    ),
}


@pytest.mark.parametrize("name", DOCS)
def test_docstrings(name):
    signature, doc = DOCS[name]
    method = getattr(Path2D, name)
    assert method.__text_signature__ == "($self" + signature[len("(self"):]
    assert method.__doc__ == doc


def test_the_three_methods_come_last_in_registration_order():
    methods = [n for n, v in vars(Path2D).items() if type(v).__name__ == "method_descriptor"]
    assert methods[-3:] == ["add_associated_values", "associated_values", "associated_value_np"]


@pytest.mark.parametrize(
    "call, error, message",
    [
        (lambda p: p.add_associated_values(), TypeError,
         "Path2D.add_associated_values() missing 1 required positional argument: 'values'"),
        (lambda p: p.add_associated_values([1, 2, 3], 1), TypeError,
         "Path2D.add_associated_values() takes 1 positional arguments but 2 were given"),
        (lambda p: p.add_associated_values(value=[1, 2, 3]), TypeError,
         "Path2D.add_associated_values() got an unexpected keyword argument 'value'"),
        (lambda p: p.add_associated_values("abc"), TypeError,
         "argument 'values': Can't extract `str` to `Vec`"),
        (lambda p: p.add_associated_values(5), TypeError,
         "argument 'values': 'int' object cannot be converted to 'Sequence'"),
        (lambda p: p.add_associated_values([1, None, 3]), TypeError,
         "argument 'values': must be real number, not NoneType"),
        (lambda p: p.associated_values(), TypeError,
         "Path2D.associated_values() missing 1 required positional argument: 'handle'"),
        (lambda p: p.associated_values(0, handle=0), TypeError,
         "Path2D.associated_values() got multiple values for argument 'handle'"),
        (lambda p: p.associated_values(-1), OverflowError,
         "can't convert negative int to unsigned"),
        (lambda p: p.associated_value_np(-1), OverflowError,
         "can't convert negative int to unsigned"),
        (lambda p: p.associated_values(2**64), OverflowError,
         "int too big to convert"),
        (lambda p: p.associated_values(1.0), TypeError,
         "argument 'handle': 'float' object cannot be interpreted as an integer"),
        (lambda p: p.associated_value_np(None), TypeError,
         "argument 'handle': 'NoneType' object cannot be interpreted as an integer"),
    ],
)
def test_argument_errors(call, error, message):
    p = three_points()
    with pytest.raises(error) as raised:
        call(p)
    assert type(raised.value) is error
    assert str(raised.value) == message
    assert p.associated_values(0) is None


def test_handle_accepts_bool_and_numpy_integers_and_keywords():
    p = three_points()
    p.add_associated_values([1, 2, 3])
    p.add_associated_values([4, 5, 6])
    assert p.associated_values(True) == [4.0, 5.0, 6.0]
    assert p.associated_values(np.uint8(1)) == [4.0, 5.0, 6.0]
    assert p.associated_value_np(handle=0).tolist() == [1.0, 2.0, 3.0]
    assert p.add_associated_values(values=[7, 8, 9]) == 2
