"""__repr__ of Path2D: the record's description and the float text forms."""

import pytest

from wayforge import Path2D


def test_repr_after_reading_the_length():
    p = Path2D(points=[[0, 0], [1, 0]])
    p.length
    assert repr(p) == (
        "Path2D { path: Path2D { points: [[0.0, 0.0], [1.0, 0.0]], x: [0.0, 1.0], y: [0.0, 0.0], "
        "path_length_per_point: OnceCell([0.0, 1.0]), orientation: OnceCell(<uninit>), "
        "unit_tangent_vector: OnceCell(<uninit>), curvature: OnceCell(<uninit>), "
        "associated_values: [] } }"
    )
    assert str(p) == repr(p)


def test_repr_shows_which_attributes_were_computed():
    p = Path2D(points=[[0, 0], [2, 0]])
    assert repr(p).count("OnceCell(<uninit>)") == 4
    p.unit_tangent_vector
    p.curvature
    assert "unit_tangent_vector: OnceCell([[1.0, 0.0], [1.0, 0.0]])" in repr(p)
    assert "curvature: OnceCell([0.0, 0.0])" in repr(p)
    assert repr(p).count("OnceCell(<uninit>)") == 2


def test_empty_path_repr():
    assert repr(Path2D(points=[])) == (
        "Path2D { path: Path2D { points: [], x: [], y: [], "
        "path_length_per_point: OnceCell(<uninit>), orientation: OnceCell(<uninit>), "
        "unit_tangent_vector: OnceCell(<uninit>), curvature: OnceCell(<uninit>), "
        "associated_values: [] } }"
    )


@pytest.mark.parametrize(
    "value, text",
    [(1.0, "1.0"), (0.5, "0.5"), (-3.25, "-3.25"), (0.0, "0.0"), (-0.0, "-0.0"),
     (float("nan"), "NaN"), (float("inf"), "inf"), (float("-inf"), "-inf"),
     (1e-5, "1e-5"), (1.5e-7, "1.5e-7"), (-2.5e-300, "-2.5e-300"), (5e-324, "5e-324"),
     (0.0001, "0.0001"), (0.00012345, "0.00012345"), (9.99e-5, "9.99e-5"),
     (1e15, "1000000000000000.0"), (9999999999999998.0, "9999999999999998.0"),
     (1e16, "1e16"), (2.5e16, "2.5e16"), (1.7976931348623157e308, "1.7976931348623157e308"),
     (0.1, "0.1"), (0.1 + 0.2, "0.30000000000000004"), (123456.789, "123456.789"),
     (100.0, "100.0"), (1 / 3, "0.3333333333333333")],
)
def test_float_text_forms(value, text):
    assert repr(Path2D(x=[value], y=[])).startswith(f"Path2D {{ path: Path2D {{ points: [], x: [{text}], ")


def test_float_text_round_trips():
    import random

    rng = random.Random(7)
    values = [rng.uniform(-1e6, 1e6) for _ in range(200)] + [rng.lognormvariate(0, 30) for _ in range(200)]
    text = repr(Path2D(x=values, y=[]))
    listed = text.split("x: [")[1].split("]")[0].split(", ")
    assert [float(v.replace("NaN", "nan")) for v in listed] == values
