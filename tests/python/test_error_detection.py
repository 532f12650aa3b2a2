import math

import pytest
from hypothesis import given, settings, strategies as st

from wayforge import Path2D

SWAPPED = [[0, 0], [1, 0], [3, 0], [2, 0], [4, 0]]


def detect_reference(points, sus_angle):
    flagged = []
    for j in range(1, len(points) - 1):
        a1 = math.atan2(points[j][1] - points[j - 1][1], points[j][0] - points[j - 1][0])
        a2 = math.atan2(points[j + 1][1] - points[j][1], points[j + 1][0] - points[j][0])
        d = abs(a2 - a1)
        if math.pi < d:
            d = abs(2 * math.pi - d)
        if d >= sus_angle:
            flagged.append(j)
    return flagged


def repair_reference(points, values, sus_angle):
    points, values = list(points), list(values)
    while flagged := detect_reference(points, sus_angle):
        for k in reversed(flagged):
            del points[k], values[k]
    return points, values


@pytest.mark.parametrize(
    "points, sus_angle, flagged, repaired",
    [
        (SWAPPED, 2.8, [2, 3], [[0, 0], [1, 0], [4, 0]]),
        ([[0, 0], [1, 0], [1, 1]], 2.8, [], [[0, 0], [1, 0], [1, 1]]),  # a right angle
        ([[0, 0], [1, 0], [0, 0]], 2.8, [1], [[0, 0], [0, 0]]),  # a full reversal
        ([[0, 0], [1, 0], [1, 1], [2, 1]], 0.0, [1, 2], [[0, 0], [2, 1]]),
        (SWAPPED, 3.2, [], SWAPPED),
        (SWAPPED, math.nan, [], SWAPPED),
        ([[2, 0], [1, 0], [0, -0.0]], 0.1, [], [[2, 0], [1, 0], [0, 0]]),  # headings pi and -pi
        ([[0, 0], [1, 0]], 0.0, [], [[0, 0], [1, 0]]),
        ([], 0.0, [], []),
    ],
)
def test_worked_examples(points, sus_angle, flagged, repaired):
    p = Path2D(points)
    assert p.detect_corrupted_point_order(sus_angle) == flagged
    assert p.repair_corrupted_point_order(sus_angle=sus_angle).points == repaired
    assert p.points == Path2D(points).points


def test_repair_removes_values_and_computes_attributes_afresh():
    p = Path2D(SWAPPED)
    p.add_associated_values([0, 1, 2, 3, 4])
    p.add_associated_values([5, 6, 7, 8, 9])
    assert p.length == 6.0
    r = p.repair_corrupted_point_order()
    assert r.associated_values(0) == [0.0, 1.0, 4.0]
    assert r.associated_values(1) == [5.0, 6.0, 9.0]
    assert r.path_length_per_point == [0.0, 1.0, 4.0]
    assert r.x == [0.0, 1.0, 4.0] and r.y == [0.0, 0.0, 0.0]


def test_repair_keeps_surplus_coordinates_at_the_end():
    r = Path2D(x=[0, 1, 3, 2, 4, 99], y=[0, 0, 0, 0, 0]).repair_corrupted_point_order()
    assert (r.points, r.x, r.y) == ([[0, 0], [1, 0], [4, 0]], [0, 1, 4, 99], [0, 0, 0])


# Coarse integer steps make exact reversals, repeated points and long chains
# of removals likely.
step = st.tuples(st.integers(-3, 3), st.integers(-1, 1))


@settings(max_examples=200)
@given(st.lists(step, min_size=0, max_size=40), st.sampled_from([2.8, 1.0, 0.5, math.pi]))
def test_repair_matches_the_plain_loop_and_leaves_nothing_flagged(steps, sus_angle):
    points, x, y = [], 0, 0
    for dx, dy in steps:
        x, y = x + dx, y + dy
        points.append([x, y])
    p = Path2D(points)
    p.add_associated_values([float(i) for i in range(len(points))])
    assert p.detect_corrupted_point_order(sus_angle) == detect_reference(points, sus_angle)
    r = p.repair_corrupted_point_order(sus_angle)
    assert (r.points, r.associated_values(0)) == repair_reference(points, p.associated_values(0), sus_angle)
    assert r.detect_corrupted_point_order(sus_angle) == []


DOCS = {
    "detect_corrupted_point_order": (
        "Returns the list of all indices where the path turns sharper than sus_angle.",
        ":returns: Indices of suspicious points\n:rtype: list[int]",
    ),
    "repair_corrupted_point_order": (
        "Repairs corrupted point order by removing points that progress in the wrong direction.",
        ":returns: Repaired path\n:rtype: Path2D",
    ),
}


@pytest.mark.parametrize("name", DOCS)
def test_docstrings(name):
    method = getattr(Path2D, name)
    summary, returns = DOCS[name]
    assert method.__text_signature__ == "($self, sus_angle=2.8)"
    assert method.__doc__ == (
        f"{name}(sus_angle=2.8)\n\n{summary}\n\n"
        ":param sus_angle: Every turn sharper than this angle is suspicious.\n\n"
        f":type sus_angle: float\n\n{returns}"
    )


@pytest.mark.parametrize("name", DOCS)
@pytest.mark.parametrize(
    "args, kwargs, message",
    [
        ((None,), {}, "argument 'sus_angle': must be real number, not NoneType"),
        (("2.8",), {}, "argument 'sus_angle': must be real number, not str"),
        ((1, 2), {}, "Path2D.{}() takes from 0 to 1 positional arguments but 2 were given"),
        ((1,), {"sus_angle": 1}, "Path2D.{}() got multiple values for argument 'sus_angle'"),
        ((), {"angle": 1}, "Path2D.{}() got an unexpected keyword argument 'angle'"),
    ],
)
def test_argument_errors(name, args, kwargs, message):
    with pytest.raises(TypeError) as info:
        getattr(Path2D(SWAPPED), name)(*args, **kwargs)
    assert type(info.value) is TypeError and str(info.value) == message.format(name)
