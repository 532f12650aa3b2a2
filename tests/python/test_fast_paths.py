"""NumPy arrays and array.array objects are read straight from their memory.
That must give exactly what converting item by item gives: the same numbers
(bit for bit) and, where the general path fails, the same error."""

import array
import struct
import sys
import warnings

import numpy as np
import pytest

from wayforge import Path2D


class Plain(np.ndarray):
    """An ndarray subclass changes nothing, but only the exact type is read
    from memory: a view as Plain takes the general, item-by-item path."""


def outcome(make):
    """The result of make(), or the type and text of what it raised."""
    try:
        return "ok", make()
    except BaseException as exc:  # noqa: BLE001 (PanicException is a BaseException)
        return type(exc), str(exc)


def bits(values):
    """Floats by their bits, so that NaN, -0.0 and infinities compare exactly."""
    flat = [c for v in values for c in (v if isinstance(v, list) else [v])]
    return struct.pack(f"{len(flat)}d", *flat)


def points_of(arg):
    p = Path2D(points=arg)
    return bits(p.points), bits(p.x), bits(p.y)


def coordinates_of(x, y):
    p = Path2D(x=x, y=y)
    return bits(p.x), bits(p.y), bits(p.points)


def associated_of(values):
    p = Path2D(points=[[float(i), 0.0] for i in range(len(values))])
    return bits(p.associated_values(p.add_associated_values(values)))


EXTREMES = {
    "float64": [0.0, -0.0, 1.5, -2.25, 1e308, 5e-324, float("inf"), -float("inf"), float("nan")],
    "float32": [0.0, -0.0, 0.1, 3.4028235e38, 1e-45, float("inf"), float("nan")],
    "int8": [0, -128, 127, 5],
    "uint8": [0, 255, 7],
    "int16": [-(2**15), 2**15 - 1, 3],
    "uint16": [0, 2**16 - 1],
    "int32": [-(2**31), 2**31 - 1, 11],
    "uint32": [0, 2**32 - 1],
    "int64": [-(2**63), 2**63 - 1, 2**53 + 1, -(2**53) - 3, 2**62 + 2**9 + 1],
    "uint64": [0, 2**64 - 1, 2**63 + 1, 2**53 + 1, 2**63 + 2**10 + 1],
    "bool": [True, False, True],
}
FALLBACK_DTYPES = ["float16", "longdouble", "complex128", "object", ">f8", ">i4", ">f4", "datetime64[s]"]


def sample(dtype, count):
    """count values of the dtype, the extreme ones first."""
    base = EXTREMES[dtype]
    with np.errstate(all="ignore"):
        return np.array([base[i % len(base)] for i in range(count)], dtype=dtype)


def layouts(flat):
    """Arrays of shape (k, 2) holding the same values in different memory
    layouts: C order, Fortran order, strided, reversed and unaligned."""
    c = flat[: len(flat) // 2 * 2].reshape(-1, 2)
    wide = np.zeros((len(c) * 2, 4), dtype=flat.dtype)
    wide[::2, 1:4:2] = c
    packed = np.zeros(len(c), dtype=[("pad", "u1"), ("pt", flat.dtype, (2,))])  # unaligned field
    packed["pt"] = c
    return {
        "C": c,
        "F": np.asfortranarray(c),
        "strided": wide[::2, 1:4:2],
        "reversed": c[::-1, ::-1],
        "unaligned": packed["pt"],
        "readonly broadcast": np.broadcast_to(c[:1], (3, 2)),
    }


@pytest.mark.parametrize("dtype", sorted(EXTREMES))
@pytest.mark.parametrize("layout", ["C", "F", "strided", "reversed", "unaligned", "readonly broadcast"])
def test_points_from_arrays_of_every_dtype_and_layout(dtype, layout):
    a = layouts(sample(dtype, 12))[layout]
    assert points_of(a) == points_of(a.tolist()) == points_of(a.view(Plain))


@pytest.mark.parametrize("dtype", sorted(EXTREMES))
def test_values_from_arrays_of_every_dtype(dtype):
    v = sample(dtype, 9)
    w = v[::-1].copy()
    expected = coordinates_of(v.tolist(), w.tolist())
    assert coordinates_of(v, w) == expected == coordinates_of(v.view(Plain), w.view(Plain))
    assert coordinates_of(v[::2], w[::-2]) == coordinates_of(v[::2].tolist(), w[::-2].tolist())
    assert associated_of(v) == associated_of(v.tolist())


def test_bool_arrays_read_any_nonzero_byte_as_true():
    # NumPy makes True of every non-zero byte of a bool array.
    v = np.frombuffer(bytes([0, 1, 2, 255]), dtype=np.bool_)
    assert coordinates_of(v, v) == coordinates_of([0.0, 1.0, 1.0, 1.0], [0.0, 1.0, 1.0, 1.0])


@pytest.mark.parametrize("dtype", FALLBACK_DTYPES)
def test_other_dtypes_take_the_general_path(dtype):
    with np.errstate(all="ignore"):
        a = np.arange(6).astype(dtype).reshape(3, 2)
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")  # NumPy warns when a complex number loses its imaginary part
        assert outcome(lambda: points_of(a)) == outcome(lambda: points_of(a.view(Plain)))
        assert outcome(lambda: coordinates_of(a[:, 0], a[:, 1])) == outcome(
            lambda: coordinates_of(a[:, 0].view(Plain), a[:, 1].view(Plain)))


SHAPES = [(0,), (3,), (0, 0), (0, 2), (0, 3), (1, 2), (4, 3), (4, 1), (2, 2, 2), ()]


@pytest.mark.parametrize("shape", SHAPES, ids=str)
@pytest.mark.parametrize("dtype", ["float64", "int32"])
def test_every_shape_gives_the_general_result_or_error(shape, dtype):
    a = np.arange(int(np.prod(shape)), dtype=dtype).reshape(shape)
    assert outcome(lambda: points_of(a)) == outcome(lambda: points_of(a.view(Plain)))
    assert outcome(lambda: coordinates_of(a, a)) == outcome(lambda: coordinates_of(a.view(Plain), a.view(Plain)))


def test_errors_keep_the_argument_prefix():
    assert outcome(lambda: Path2D(points=np.zeros(3))) == (
        TypeError, "argument 'points': 'float64' object cannot be converted to 'Sequence'")
    assert outcome(lambda: Path2D(points=np.zeros((2, 3)))) == (ValueError, "expected a sequence of length 2 (got 3)")
    assert outcome(lambda: Path2D(x=np.zeros(()), y=[])) == (TypeError, "argument 'x': iteration over a 0-d array")


def test_a_subclass_that_iterates_differently_is_iterated():
    class Backwards(np.ndarray):
        def __iter__(self):
            return iter(np.asarray(self)[::-1])

    a = np.array([[0.0, 1.0], [2.0, 3.0], [4.0, 5.0]])
    assert Path2D(points=a.view(Backwards)).points == a[::-1].tolist()


def test_a_type_that_only_borrows_the_name_is_iterated():
    data = np.array([[0.0, 1.0], [2.0, 3.0]])

    class Lookalike:
        def __buffer__(self, flags):
            return memoryview(data)

        def __len__(self):
            return 1

        def __getitem__(self, i):
            if i:
                raise IndexError(i)
            return [9.0, 9.0]

    lookalike = type("numpy.ndarray", (Lookalike,), {})()
    assert Path2D(points=lookalike).points == [[9.0, 9.0]]


@pytest.mark.parametrize("typecode", ["b", "B", "h", "H", "i", "I", "l", "L", "q", "Q", "f", "d"])
def test_array_module_arrays(typecode):
    limits = {"b": [-128, 127], "B": [255], "h": [-(2**15)], "H": [2**16 - 1], "i": [-(2**31)], "I": [2**32 - 1],
              "l": [-(2**63), 2**53 + 1], "L": [2**64 - 1], "q": [2**63 - 1], "Q": [2**63 + 1],
              "f": [0.1, -0.0, float("nan")], "d": [0.1, -0.0, float("inf")]}
    values = array.array(typecode, limits[typecode] + [0, 1, 2])
    assert coordinates_of(values, values) == coordinates_of(list(values), list(values))


def test_array_module_unicode_arrays_fail_as_sequences_of_str():
    values = array.array("w" if sys.version_info >= (3, 13) else "u", "ab")
    assert outcome(lambda: Path2D(x=values, y=[0.0, 1.0])) == outcome(lambda: Path2D(x=list("ab"), y=[0.0, 1.0]))


def test_matrices_take_the_general_path():
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", PendingDeprecationWarning)
        m = np.matrix([[0.0, 1.0], [2.0, 3.0]])
    # Its rows are 1 x 2 matrices, sequences of one row.
    assert outcome(lambda: Path2D(points=m)) == (ValueError, "expected a sequence of length 2 (got 1)")


def test_memoryviews_take_the_general_path():
    m = memoryview(np.arange(6, dtype=np.float64).reshape(3, 2))
    # Iterating a two-dimensional memoryview fails, so its buffer must not be read.
    assert outcome(lambda: Path2D(points=m))[0] is NotImplementedError
    assert Path2D(x=m.cast("B").cast("d"), y=[0.0] * 6).x == [0.0, 1.0, 2.0, 3.0, 4.0, 5.0]
