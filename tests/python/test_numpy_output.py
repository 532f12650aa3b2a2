"""NumPy array properties of Path2D: shapes, element type, copies, and the
behaviour when NumPy cannot be imported."""

import json
import os
import subprocess
import sys
import textwrap

import numpy as np
import pytest

from wayforge import Path2D

TWINS = [
    "points",
    "x",
    "y",
    "path_length_per_point",
    "orientation",
    "unit_tangent_vector",
    "curvature",
]
ONE_DIMENSIONAL = ["x", "y", "path_length_per_point", "orientation", "curvature"]
TWO_DIMENSIONAL = ["points", "unit_tangent_vector"]



def zigzag():
    return Path2D(points=[[0, 0], [1, 1], [2, 0], [3, 1], [4, 0]])


def run_python(code):
    result = subprocess.run([sys.executable, "-c", PREAMBLE + textwrap.dedent(code)],
                            capture_output=True, text=True, timeout=120)
    assert result.returncode == 0, result.stderr
    return result


PREAMBLE = """
import json, sys
import wayforge

CAPSULE = "Failed to access NumPy array API capsule"

def attempt(read):
    try:
        return ["ok", read().tolist()]
    except BaseException as error:
        return [type(error).__name__, str(error)]
"""


@pytest.mark.parametrize("name", TWINS)
def test_array_holds_the_list_twin(canonical, name):
    _, _, p = canonical
    array = getattr(p, name + "_np")
    expected = getattr(p, name)
    assert type(array) is np.ndarray
    assert array.dtype == np.float64
    assert array.flags.c_contiguous and array.flags.writeable and array.flags.owndata
    assert array.base is None
    if expected:
        np.testing.assert_array_equal(array, np.array(expected, dtype=np.float64))
    else:
        assert array.size == 0


@pytest.mark.parametrize("name", ONE_DIMENSIONAL)
def test_one_dimensional_shape(name):
    assert getattr(Path2D(points=[]), name + "_np").shape == (0,)
    assert getattr(zigzag(), name + "_np").shape == (5,)


@pytest.mark.parametrize("name", TWO_DIMENSIONAL)
def test_two_dimensional_shape(name):
    # An empty list has no first row to give the column count.
    assert getattr(Path2D(points=[]), name + "_np").shape == (0, 0)
    assert getattr(Path2D(points=[[0, 0]]), name + "_np").shape == (1, 2)
    assert getattr(zigzag(), name + "_np").shape == (5, 2)


def test_one_point_tangent_is_a_nan_row():
    tangent = Path2D(points=[[3, 4]]).unit_tangent_vector_np
    assert tangent.shape == (1, 2)
    assert np.isnan(tangent).all()


def test_coordinate_lists_of_different_lengths():
    p = Path2D(x=[0, 1, 2], y=[0, 1])
    assert p.x_np.tolist() == [0.0, 1.0, 2.0]
    assert p.y_np.tolist() == [0.0, 1.0]
    assert p.points_np.shape == (2, 2)


def test_integer_input_gives_float64():
    assert Path2D(points=[[0, 0], [1, 2]]).points_np.dtype == np.float64


@pytest.mark.parametrize("name", TWINS)
def test_every_read_is_a_new_copy(name):
    p = zigzag()
    first = getattr(p, name + "_np")
    second = getattr(p, name + "_np")
    assert first is not second
    assert not np.shares_memory(first, second)
    before = getattr(p, name)
    first[...] = 99.0
    assert getattr(p, name) == before
    np.testing.assert_array_equal(getattr(p, name + "_np"), second)


def test_array_read_fills_the_cell_that_the_list_reads():
    p = zigzag()
    assert "curvature: OnceCell(<uninit>)" in repr(p)
    array = p.curvature_np
    assert "curvature: OnceCell(<uninit>)" not in repr(p)
    text = repr(p)
    assert p.curvature == array.tolist()
    # The list read took the cached values; nothing was recomputed or added.
    assert repr(p) == text


def test_length_has_no_array_twin():
    assert not hasattr(Path2D(points=[]), "length_np")


def test_property_order():
    names = [n for n, v in vars(Path2D).items() if type(v).__name__ == "getset_descriptor"]
    assert names == [
        "points", "points_np", "x", "x_np", "y", "y_np",
        "path_length_per_point", "path_length_per_point_np", "length",
        "orientation", "orientation_np", "unit_tangent_vector", "unit_tangent_vector_np",
        "curvature", "curvature_np",
    ]


@pytest.mark.parametrize("name", TWINS)
def test_array_properties_are_read_only(name):
    p = zigzag()
    with pytest.raises(AttributeError):
        setattr(p, name + "_np", np.zeros(5))
    assert getattr(Path2D, name + "_np").__doc__ is None


def test_large_path_round_trips():
    coordinates = np.random.default_rng(7).normal(size=(100_000, 2))
    p = Path2D(points=coordinates)
    np.testing.assert_array_equal(p.points_np, coordinates)
    np.testing.assert_array_equal(p.x_np, coordinates[:, 0])


def test_import_does_not_import_numpy():
    result = run_python("import wayforge, sys; print('numpy' in sys.modules)")
    assert result.stdout.strip() == "False"


def test_without_numpy_the_array_request_fails_and_is_retried():
    result = run_python(
        """
        class BlockNumpy:
            def find_spec(self, name, path=None, target=None):
                if name == "numpy" or name.startswith("numpy."):
                    raise ModuleNotFoundError(f"No module named {name!r}", name=name)
                return None

        blocker = BlockNumpy()
        sys.meta_path.insert(0, blocker)

        p = wayforge.Path2D(points=[[0, 0], [1, 1], [2, 0]])
        p.add_associated_values([1, 2, 3])
        failures = []
        for read in [lambda: p.points_np, lambda: p.x_np, lambda: p.curvature_np,
                     lambda: p.unit_tangent_vector_np, lambda: p.associated_value_np(0)]:
            try:
                read()
                failures.append(None)
            except BaseException as error:
                failures.append([type(error).__name__, type(error).__module__,
                                 isinstance(error, Exception), str(error)])
        lists = [p.points, p.x, p.curvature, p.unit_tangent_vector, p.associated_values(0)]
        sys.meta_path.remove(blocker)
        retried = [p.x_np.tolist(), p.points_np.shape]
        print(json.dumps({"failures": failures, "lists": lists, "retried": retried}))
        """
    )
    report = json.loads(result.stdout.replace("NaN", "null"))
    for failure in report["failures"]:
        assert failure is not None
        name, module, is_exception, text = failure
        assert (name, module, is_exception) == ("PanicException", "pyo3_runtime", False)
        assert text.startswith("Failed to access NumPy array API capsule")
        assert "numpy" in text[len("Failed to access NumPy array API capsule"):]
    assert report["lists"][0] == [[0.0, 0.0], [1.0, 1.0], [2.0, 0.0]]
    assert report["lists"][4] == [1.0, 2.0, 3.0]
    assert report["retried"] == [[0.0, 1.0, 2.0], [3, 2]]
    assert "Failed to access NumPy array API capsule" in result.stderr


def test_arrays_do_not_leak():
    p = zigzag()
    p.add_associated_values([1, 2, 3, 4, 5])
    reads = [lambda: p.points_np, lambda: p.curvature_np, lambda: p.associated_value_np(0)]
    growth = [0] * 6
    for round_ in range(6):
        before = sys.getallocatedblocks()
        for _ in range(3000):
            for read in reads:
                read()
        growth[round_] = sys.getallocatedblocks() - before
    assert not all(g > 0 for g in growth[3:]), growth


def test_lookup_failures_are_not_remembered():
    result = run_python(
        """
        import numpy, numpy.lib
        p = wayforge.Path2D(points=[[0, 0], [1, 2]])
        real_version = numpy.lib.NumpyVersion

        class FutureVersion:
            major = 256
            def __init__(self, text):
                pass

        numpy.lib.NumpyVersion = FutureVersion
        bad_major = attempt(lambda: p.x_np)
        numpy.lib.NumpyVersion = real_version

        multiarray = sys.modules["numpy._core.multiarray"]
        real_table = multiarray._ARRAY_API
        multiarray._ARRAY_API = 42
        not_a_capsule = attempt(lambda: p.x_np)
        multiarray._ARRAY_API = real_table

        print(json.dumps([bad_major, not_a_capsule, attempt(lambda: p.points_np)]))
        """
    )
    bad_major, not_a_capsule, recovered = json.loads(result.stdout)
    prefix = "Failed to access NumPy array API capsule: "
    assert bad_major == ["PanicException", prefix + "NumPy major version 256 is out of range"]
    assert not_a_capsule == [
        "PanicException", prefix + "numpy._core.multiarray._ARRAY_API is a 'int', not a capsule"]
    assert recovered == ["ok", [[0.0, 0.0], [1.0, 2.0]]]


def test_numpy_before_2_is_reached_through_numpy_core():
    result = run_python(
        """
        import warnings
        import numpy, numpy.lib
        warnings.simplefilter("ignore", DeprecationWarning)

        class OldVersion:
            major = 1
            def __init__(self, text):
                pass

        numpy.lib.NumpyVersion = OldVersion
        array = attempt(lambda: wayforge.Path2D(points=[[1, 2]]).points_np)
        print(json.dumps([array, "numpy.core.multiarray" in sys.modules]))
        """
    )
    assert json.loads(result.stdout) == [["ok", [[1.0, 2.0]]], True]


@pytest.mark.skipif("libasan" in os.environ.get("LD_PRELOAD", ""),
                    reason="the sanitizer's allocator aborts instead of failing")
def test_numpy_out_of_memory_is_a_memory_error():
    result = run_python(
        """
        import numpy, resource
        p = wayforge.Path2D(points=numpy.zeros((10_000_000, 2)))
        with open("/proc/self/status") as status:
            size = next(int(line.split()[1]) * 1024 for line in status if line.startswith("VmSize"))
        resource.setrlimit(resource.RLIMIT_AS, (size + 64 * 2**20, resource.RLIM_INFINITY))
        outcome = attempt(lambda: p.points_np)
        del p
        print(json.dumps([outcome[0], isinstance(numpy.zeros(1), numpy.ndarray),
                          attempt(lambda: wayforge.Path2D(points=[[1, 2]]).points_np)]))
        """
    )
    name, _, recovered = json.loads(result.stdout)
    assert name.endswith("MemoryError")
    assert recovered == ["ok", [[1.0, 2.0]]]
