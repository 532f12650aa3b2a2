"""Re-entrant user code: a conversion (__float__, __index__, __len__,
__iter__) that reads, or adds values to, the same path while a method of that
path is converting its arguments. Reading during a read is allowed; every
other overlap raises the borrow RuntimeError, and the path is left exactly as
it was, with its borrow released."""

import pytest

from wayforge import ElasticBandMethod, InterpolationMethod, Path2D, ResamplingMethod
from conftest import needs_clarabel

POINTS = [[0.0, 0.0], [1.0, 0.0], [2.0, 1.0], [3.0, 1.0], [4.0, 0.0]]


def make_path():
    p = Path2D(points=POINTS)
    p.add_associated_values([1.0, 2.0, 3.0, 4.0, 5.0])
    return p


class Hook:
    """A number whose conversion first runs an action (on the same path)."""

    def __init__(self, action, value, swallow=False):
        self.action, self.value, self.swallow = action, value, swallow
        self.raised = None

    def _run(self):
        try:
            self.action()
        except RuntimeError as exc:
            self.raised = str(exc)
            if not self.swallow:
                raise

    def __float__(self):
        self._run()
        return float(self.value)

    def __index__(self):
        self._run()
        return int(self.value)


def read(p):
    return lambda: (p.points, p.length, repr(p), p.curvature_np, p.associated_values(0))


def add(p):
    return lambda: p.add_associated_values([0.0] * len(POINTS))


# Every parameter of every method that takes the shared (read) borrow, with a
# plain value for it: call(path, value) passes the value in that parameter.
SHARED_SLOTS = {
    "compute_circle_fit_curvature(max_rmse)": (lambda p, v: p.compute_circle_fit_curvature(v), 0.15),
    "find_circle_segments(start)": (lambda p, v: p.find_circle_segments(v, 5), 0),
    "find_circle_segments(end)": (lambda p, v: p.find_circle_segments(0, v), 5),
    "find_circle_segments(max_rmse)": (lambda p, v: p.find_circle_segments(0, 5, v), 0.15),
    "resampled_path(epsilon)": (
        lambda p, v: p.resampled_path(ResamplingMethod.by_sampling_distance(0.7, False), epsilon=v), 0.01),
    "smoothed_path_elastic_band(max_deviation)": (lambda p, v: p.smoothed_path_elastic_band(v), 0.25),
    "smoothed_path_chaikin(num_iterations)": (lambda p, v: p.smoothed_path_chaikin(v), 2),
    "index_from_point(point[0])": (lambda p, v: p.index_from_point([v, 0.1]), 1.5),
    "index_from_point(point[1])": (lambda p, v: p.index_from_point((1.5, v)), 0.1),
    "index_from_point(epsilon)": (lambda p, v: p.index_from_point([0.0, 0.0], v), 0.01),
    "path_length_from_point(point[0])": (lambda p, v: p.path_length_from_point([v, 0.1]), 1.5),
    "path_length_from_point(epsilon)": (lambda p, v: p.path_length_from_point([1.5, 0.1], epsilon=v), 0.01),
    "sub_path(start)": (lambda p, v: p.sub_path(start=[v, 0.0]), 0.5),
    "sub_path(end)": (lambda p, v: p.sub_path(end=[3.5, v]), 0.5),
    "sub_path(epsilon)": (lambda p, v: p.sub_path([0.5, 0.0], [3.5, 0.5], v), 0.01),
    "detect_corrupted_point_order(sus_angle)": (lambda p, v: p.detect_corrupted_point_order(v), 1.0),
    "repair_corrupted_point_order(sus_angle)": (lambda p, v: p.repair_corrupted_point_order(v), 1.0),
    "associated_values(handle)": (lambda p, v: p.associated_values(v), 0),
    "associated_value_np(handle)": (lambda p, v: p.associated_value_np(v), 0),
}

# Calls that borrow no path: user code may read and change the path freely.
UNBORROWED_SLOTS = {
    "Path2D(points)": (lambda v: Path2D(points=[[v, 0.0], [1.0, 1.0]]), 0.5),
    "Path2D(x)": (lambda v: Path2D(x=[v, 1.0], y=[0.0, 1.0]), 0.5),
    "by_number_points": (lambda v: ResamplingMethod.by_number_points(v), 3),
    "by_sampling_distance": (lambda v: ResamplingMethod.by_sampling_distance(v), 0.5),
    "ResamplingMethod_ByNumberPoints": (lambda v: ResamplingMethod.ByNumberPoints(v), 3),
    "ResamplingMethod_BySamplingDistance": (lambda v: ResamplingMethod.BySamplingDistance(v, True), 0.5),
}


def snapshot(p):
    """Everything a path holds, as text (NaN-safe)."""
    handles = []
    k = 0
    while (values := p.associated_values(k)) is not None:
        handles.append(values)
        k += 1
    return repr((p.points, p.x, p.y, handles))


def same_result(a, b):
    if isinstance(a, Path2D):
        return isinstance(b, Path2D) and snapshot(a) == snapshot(b)
    if isinstance(a, ResamplingMethod):
        return a == b
    return repr(a) == repr(b)


def assert_unchanged_and_free(p, before):
    assert snapshot(p) == before
    # The borrow was released: an exclusive borrow can be taken again.
    handle = p.add_associated_values([0.0] * len(POINTS))
    assert p.associated_values(handle) == [0.0] * len(POINTS)


@pytest.mark.parametrize("slot", sorted(SHARED_SLOTS))
def test_adding_during_a_read_is_refused(slot):
    call, value = SHARED_SLOTS[slot]
    p = make_path()
    before = snapshot(p)
    with pytest.raises(RuntimeError) as error:
        call(p, Hook(add(p), value))
    assert type(error.value) is RuntimeError
    assert str(error.value) == "Already borrowed"
    assert_unchanged_and_free(p, before)


def solving(slots):
    """The slots, those whose call runs the elastic band's solver marked as needing it."""
    return [pytest.param(s, marks=needs_clarabel) if s.startswith("smoothed_path_elastic_band") else s
            for s in sorted(slots)]


@pytest.mark.parametrize("slot", solving(SHARED_SLOTS))
def test_reading_during_a_read_is_allowed(slot):
    call, value = SHARED_SLOTS[slot]
    p = make_path()
    before = snapshot(p)
    result = call(p, Hook(read(p), value))
    assert same_result(result, call(make_path(), value))
    assert_unchanged_and_free(p, before)


@pytest.mark.parametrize("slot", solving(SHARED_SLOTS))
def test_a_swallowed_conflict_leaves_the_call_intact(slot):
    call, value = SHARED_SLOTS[slot]
    p = make_path()
    before = snapshot(p)
    hook = Hook(add(p), value, swallow=True)
    result = call(p, hook)
    assert hook.raised == "Already borrowed"
    assert same_result(result, call(make_path(), value))
    assert_unchanged_and_free(p, before)


def test_nested_reads_release_every_borrow():
    """A conversion that calls another method of the same path, whose own
    conversion tries to add: the innermost conflict reaches the outer caller
    and both shared borrows are released."""
    p = make_path()
    before = snapshot(p)
    inner = lambda: p.index_from_point([Hook(add(p), 1.5), 0.1])  # noqa: E731
    with pytest.raises(RuntimeError, match="^Already borrowed$"):
        p.sub_path(start=[Hook(inner, 0.5), 0.0])
    assert_unchanged_and_free(p, before)


WRITE_CONFLICTS = {
    "points": (lambda p: p.points, "Already mutably borrowed"),
    "x_np": (lambda p: p.x_np, "Already mutably borrowed"),
    "length": (lambda p: p.length, "Already mutably borrowed"),
    "orientation": (lambda p: p.orientation, "Already mutably borrowed"),
    "repr": (repr, "Already mutably borrowed"),
    "index_from_point": (lambda p: p.index_from_point([1.0, 0.0]), "Already mutably borrowed"),
    "resampled_path": (lambda p: p.resampled_path(ResamplingMethod.by_number_points(3)), "Already mutably borrowed"),
    "smoothed_path_chaikin": (lambda p: p.smoothed_path_chaikin(1), "Already mutably borrowed"),
    "associated_value_np": (lambda p: p.associated_value_np(0), "Already mutably borrowed"),
    "add_associated_values": (lambda p: p.add_associated_values([0.0] * 5), "Already borrowed"),
}


@pytest.mark.parametrize("where", ["__float__ of an item", "__iter__"])
@pytest.mark.parametrize("action", sorted(WRITE_CONFLICTS))
def test_any_access_while_adding_is_refused(action, where):
    access, message = WRITE_CONFLICTS[action]
    p = make_path()
    before = snapshot(p)

    class ReadingIterable:
        def __len__(self):
            return 5

        def __getitem__(self, i):
            return float(i)

        def __iter__(self):
            access(p)
            return iter([0.0] * 5)

    values = ReadingIterable() if where == "__iter__" else [0.0, 1.0, Hook(lambda: access(p), 2.0), 3.0, 4.0]
    with pytest.raises(RuntimeError) as error:
        p.add_associated_values(values)
    assert type(error.value) is RuntimeError and str(error.value) == message
    assert_unchanged_and_free(p, before)


def test_a_refused_length_while_adding_is_only_a_missing_size_hint():
    """The length of a sequence argument is a hint: when reading it fails
    (here with the borrow conflict) the items are still taken by iteration."""
    p = make_path()
    seen = []

    class LengthReadsThePath:
        def __len__(self):
            try:
                p.points
            except RuntimeError as exc:
                seen.append(str(exc))
                raise
            return 5

        def __getitem__(self, i):
            if i >= 5:
                raise IndexError(i)
            return float(i)

    assert p.add_associated_values(LengthReadsThePath()) == 1
    assert seen == ["Already mutably borrowed"]
    assert p.associated_values(1) == [0.0, 1.0, 2.0, 3.0, 4.0]


def test_another_path_is_free_while_adding():
    p = make_path()
    q = make_path()

    def touch_other():
        q.add_associated_values([9.0] * 5)
        q.points

    assert p.add_associated_values([0.0, Hook(touch_other, 1.0), 2.0, 3.0, 4.0]) == 1
    assert q.associated_values(1) == [9.0] * 5


@pytest.mark.parametrize("slot", sorted(UNBORROWED_SLOTS))
def test_calls_that_borrow_no_path_let_user_code_change_it(slot):
    call, value = UNBORROWED_SLOTS[slot]
    p = make_path()
    result = call(Hook(lambda: (read(p)(), add(p)()), value))
    assert same_result(result, call(value))
    assert p.associated_values(1) == [0.0] * 5  # the hook's value list was added
    assert_unchanged_and_free(p, snapshot(p))


@needs_clarabel
def test_method_value_arguments_are_copied_before_the_core_runs():
    """Method value objects are immutable and copied out of the object; a
    conversion of a later argument cannot change what the call uses."""
    p = make_path()
    method = ResamplingMethod.by_number_points(4)
    hook = Hook(read(p), 0.01)
    result = p.resampled_path(method, InterpolationMethod.Cubic, hook)
    assert len(result.points) == 4
    assert p.smoothed_path_elastic_band(Hook(read(p), 0.25), ElasticBandMethod.SquareBounds) is not None
