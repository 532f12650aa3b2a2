"""What a path derives from its coordinate lists, bit for bit: the attributes
against the plain formulas written out with whole lists of differences
(Python floats round like C doubles, and math.atan2 and ** call the C
library's atan2 and pow), and the points read back from x and y."""

import math
import random
import struct

import numpy as np
import pytest

from wayforge import Path2D


def differences(v):
    m = len(v)
    if m < 2:
        return [0.0] * m
    return [v[1] - v[0]] + [(v[i + 1] - v[i - 1]) * 0.5 for i in range(1, m - 1)] + [v[m - 1] - v[m - 2]]


def reference(x, y):
    """(path length per point, orientation, unit tangents, curvature)."""
    n = min(len(x), len(y))
    s = [0.0] * n
    for i in range(1, n):
        dx, dy = x[i] - x[i - 1], y[i] - y[i - 1]
        s[i] = math.sqrt(dx * dx + dy * dy) + s[i - 1]
    if n < 2:
        theta = [0.0] * n
    else:
        ends = [(0, 1)] + [(i - 1, i + 1) for i in range(1, n - 1)] + [(n - 2, n - 1)]
        theta = [math.atan2(y[b] - y[a], x[b] - x[a]) for a, b in ends]
    dx, dy = differences(x), differences(y)
    ddx, ddy = differences(dx), differences(dy)
    tangent = []
    for i in range(n):
        r = math.sqrt(dy[i] * dy[i] + dx[i] * dx[i])
        tangent.append([_div(dx[i], r), _div(dy[i], r)])
    curvature = [_div(dx[i] * ddy[i] - ddx[i] * dy[i], _pow(dx[i] * dx[i] + dy[i] * dy[i])) for i in range(n)]
    return s, theta, tangent, curvature


def _div(a, b):
    # C division: x / 0 is a signed infinity or NaN, never an error.
    try:
        return a / b
    except ZeroDivisionError:
        return math.nan if a == 0 or math.isnan(a) else math.copysign(math.inf, a) * math.copysign(1.0, b)


def _pow(v):
    try:
        return v**1.5
    except OverflowError:
        return math.inf


def bits(values):
    """Exact bits, except that every NaN is alike (its sign and payload
    depend on the compiler's operand order)."""
    flat = np.ravel(np.asarray(values, dtype=float))
    return [b"nan" if math.isnan(v) else struct.pack("<d", v) for v in flat]


def paths():
    rng = random.Random(16)
    cases = [([], []), ([2.0], [3.0]), ([0.0, 2.0], [0.0, 0.0]), ([0.0, 1.0, 1.0], [0.0, 0.0, 1.0])]
    # Unequal lengths: the surplus of the longer list takes part in its
    # differences, so the ends of x and y fall at different indices.
    for nx, ny in [(0, 3), (1, 4), (2, 5), (3, 4), (4, 3), (5, 9), (9, 5), (40, 41), (41, 43)]:
        cases.append(([rng.uniform(-5, 5) for _ in range(nx)], [rng.uniform(-5, 5) for _ in range(ny)]))
    walk = [rng.gauss(0, 1) for _ in range(60)]
    cases.append((walk[:30], walk[30:]))
    nan_x = [0.0, 1.0, math.nan, 3.0, 4.0, 5.0, 6.0]
    cases.append((nan_x, [0.0, 1.0, 0.0, 1.0, math.inf, 1.0, 0.0, 2.0]))
    cases.append(([1.0] * 6, [2.0] * 6))  # every difference vanishes: NaN tangents and curvature
    return cases


@pytest.mark.parametrize("x, y", paths(), ids=lambda v: str(len(v)))
def test_attributes_match_the_plain_formulas_bit_for_bit(x, y):
    expected = reference(x, y)
    p = Path2D(x=x, y=y)
    got = (p.path_length_per_point, p.orientation, p.unit_tangent_vector, p.curvature)
    for name, g, e in zip(("path length", "orientation", "tangent", "curvature"), got, expected):
        assert bits(g) == bits(e), name
    n = min(len(x), len(y))
    # From points, the same path with no surplus gives the attributes of
    # its first n coordinates.
    q = Path2D(points=[[x[i], y[i]] for i in range(n)])
    assert bits(q.curvature_np) == bits(reference(x[:n], y[:n])[3])
    assert bits(q.unit_tangent_vector_np) == bits(reference(x[:n], y[:n])[2])


@pytest.mark.parametrize("n", [2**17 - 1, 2**17 + 1])  # below and above the size written with streaming stores
def test_points_np_interleaves_the_coordinate_lists(n):
    rng = np.random.default_rng(n)
    x, y = rng.normal(size=n + 1), rng.normal(size=n)  # a surplus x value never forms a point
    x[5], y[7] = -0.0, math.nan
    p = Path2D(x=x, y=y)
    assert p.points_np.tobytes() == np.column_stack([x[:n], y]).tobytes()
