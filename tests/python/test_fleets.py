"""PathBatch, locate_points and interpolate_at_lengths: many paths and many
queries per call, checked against the Path2D loop and against NumPy."""

import copy
import pickle

import numpy as np
import pytest

import wayforge
from conftest import is_panic
from wayforge import InterpolationMethod, Path2D, PathBatch, ResamplingMethod

NEW_NAMES = ["PathBatch", "PointLocations", "locate_points", "interpolate_at_lengths"]


def same_bits(a, b):
    a, b = np.asarray(a, dtype=float), np.asarray(b, dtype=float)
    return a.shape == b.shape and np.array_equal(a.view(np.int64), b.view(np.int64))


def random_batch(seed, k):
    """Paths of 0 to 300 points: random walks, repeated points, a NaN, straight runs."""
    rng = np.random.default_rng(seed)
    sizes = [0, 1, 2, 3, *rng.integers(0, 300, size=5)]
    paths = []
    for i, n in enumerate(sizes):
        pts = rng.normal(size=(n, 2)).cumsum(axis=0)
        if n > 3 and i % 3 == 0:
            pts[n // 2] = pts[n // 2 - 1]  # a repeated point
        if n > 3 and i % 4 == 1:
            pts[n // 3, 1] = np.nan
        paths.append(pts)
    coords = np.concatenate(paths) if paths else np.empty((0, 2))
    offsets = np.concatenate([[0], np.cumsum(sizes)])
    values = rng.normal(size=(len(coords), k)) if k else None
    return PathBatch(coords, offsets, values)


def assert_batch_is(batch, paths, with_values=True):
    assert len(batch) == len(paths)
    assert same_bits(batch.points_np, np.concatenate([p.points_np.reshape(-1, 2) for p in paths]))
    assert np.array_equal(batch.offsets, np.concatenate([[0], np.cumsum([len(p.x) for p in paths])]))
    k = batch.values_np.shape[1]
    for c in range(k):
        assert same_bits(batch.values_np[:, c], np.concatenate([p.associated_value_np(c) for p in paths]))
    if not with_values:
        assert k == 0


OPERATIONS = {
    "resample_count_cubic": lambda o: o.resampled_path(ResamplingMethod.by_number_points(17),
                                                       InterpolationMethod.Cubic),
    "resample_distance_linear": lambda o: o.resampled_path(ResamplingMethod.by_sampling_distance(0.7, False)),
    "resample_distance_cubic": lambda o: o.resampled_path(ResamplingMethod.by_sampling_distance(0.3),
                                                          InterpolationMethod.Cubic, 0.2),
    "repair": lambda o: o.repair_corrupted_point_order(),
    "repair_wide": lambda o: o.repair_corrupted_point_order(1.0),
}


@pytest.mark.parametrize("k", [0, 1, 2])
@pytest.mark.parametrize("name", OPERATIONS)
def test_operations_equal_the_path_loop_bit_for_bit(name, k):
    batch = random_batch(list(OPERATIONS).index(name) + 10 * k, k)
    op = OPERATIONS[name]
    try:
        expected = [op(p) for p in batch]
    except BaseException as exc:  # a path the method refuses: the batch refuses it alike
        with pytest.raises(type(exc), match=str(exc)):
            op(batch)
        return
    assert_batch_is(op(batch), expected)


def test_a_refused_path_makes_the_batch_raise_as_the_path_does():
    batch = PathBatch([[0, 0], [1, 1], [np.nan, 2], [3, 3]], [0, 2, 4])
    method = ResamplingMethod.by_number_points(5)
    with pytest.raises(BaseException) as from_path:
        batch[1].resampled_path(method, InterpolationMethod.Cubic)
    with pytest.raises(BaseException) as from_batch:
        batch.resampled_path(method, InterpolationMethod.Cubic)
    assert is_panic(from_batch.value) and str(from_batch.value) == str(from_path.value)


@pytest.mark.parametrize("iterations", [0, 1, 3])
def test_chaikin_equals_the_loop_and_carries_no_values(iterations):
    batch = random_batch(5, 2)
    result = batch.smoothed_path_chaikin(iterations)
    assert_batch_is(result, [p.smoothed_path_chaikin(iterations) for p in batch], with_values=False)


@pytest.mark.parametrize("sus_angle", [2.8, 0.5])
def test_detection_flags_batch_indices(sus_angle):
    batch = random_batch(9, 0)
    flagged = batch.detect_corrupted_point_order(sus_angle)
    expected = [off + i for off, p in zip(batch.offsets, batch) for i in p.detect_corrupted_point_order(sus_angle)]
    assert flagged.dtype == np.int64 and flagged.tolist() == expected


@pytest.mark.parametrize("max_rmse", [0.15, 2.0])
def test_circle_fit_curvature_is_flat(max_rmse):
    batch = random_batch(11, 1)
    expected = np.concatenate([p.compute_circle_fit_curvature(max_rmse) for p in batch])
    assert same_bits(batch.compute_circle_fit_curvature(max_rmse), expected)


@pytest.mark.parametrize("name", ["path_length_per_point_np", "orientation_np",
                                  "unit_tangent_vector_np", "curvature_np"])
def test_attributes_are_aligned_with_the_coordinates(name):
    batch = random_batch(13, 0)
    expected = np.concatenate([getattr(p, name).ravel() for p in batch])
    assert same_bits(getattr(batch, name).ravel(), expected)
    assert same_bits(batch.lengths_np, [p.length for p in batch])


def test_reading_and_construction_routes_agree():
    batch = random_batch(17, 2)
    paths = list(batch)
    assert len(paths) == len(batch) and isinstance(batch[-1], Path2D)
    assert same_bits(batch[-1].points_np, paths[-1].points_np)
    with pytest.raises(IndexError):
        batch[len(batch)]
    assert_batch_is(PathBatch.from_paths(paths), paths)
    assert_batch_is(PathBatch.from_paths(iter(paths)), paths)
    # Returned arrays are new: changing one changes nothing else.
    batch.points_np[:] = 0
    batch.offsets[:] = 0
    assert_batch_is(batch, paths)
    assert repr(PathBatch.from_paths([])) == "PathBatch(paths=0, points=0, value_lists=0)"


COORDS = np.zeros((4, 2))
LAYOUT_ERRORS = [
    ((COORDS, []), ValueError, "offsets is empty"),
    ((COORDS, [1, 4]), ValueError, r"offsets\[0\] is 1, but must be 0"),
    ((COORDS, [0, 3, 2, 4]), ValueError, r"offsets\[2\] is 2, below offsets\[1\] \(3\)"),
    ((COORDS, [0, 5]), ValueError, r"offsets\[1\] is 5, beyond the 4 points"),
    ((COORDS, [0, 3]), ValueError, "the last offset is 3, but coords has 4 points"),
    ((np.zeros((4, 3)), [0, 4]), ValueError, r"coords must have shape \(N, 2\), not \(4, 3\)"),
    ((COORDS, [[0, 4]]), ValueError, r"offsets must have shape \(P \+ 1,\)"),
    ((COORDS, [0, 4], np.zeros((3, 1))), ValueError, "values has 3 rows, but coords has 4 points"),
    ((COORDS, [0, 4], np.zeros(4)), ValueError, r"values must have shape \(N, k\)"),
    (([[0, 0], [1]], [0, 2]), ValueError, "coords is not an array of numbers"),
    ((COORDS, [0.0, 4.0]), TypeError, "argument 'offsets': expected an array of integers"),
    ((["ab", "cd"], [0, 2]), TypeError, "argument 'coords': expected an array of numbers"),
    ((COORDS, [0, 4], [["a"]] * 4), TypeError, "argument 'values'"),
    ((COORDS,), TypeError, r"PathBatch.__new__\(\) missing 1 required positional argument: 'offsets'"),
]


@pytest.mark.parametrize("args, error, message", LAYOUT_ERRORS)
def test_layout_errors_name_the_problem(args, error, message):
    with pytest.raises(error, match=message):
        PathBatch(*args)


def test_from_paths_refuses_mixed_value_lists_and_other_objects():
    a, b = Path2D([[0, 0], [1, 1]]), Path2D([[0, 0], [1, 1]])
    a.add_associated_values([1, 2])
    with pytest.raises(ValueError, match=r"paths\[1\] has 0 associated value lists, but paths\[0\] has 1"):
        PathBatch.from_paths([a, b])
    with pytest.raises(TypeError, match="argument 'paths': 'int' object cannot be converted to 'Path2D'"):
        PathBatch.from_paths([a, 3])


@pytest.mark.parametrize("protocol", [3, 4, 5])
def test_pickle_is_compact_and_exact(protocol):
    batch = random_batch(19, 2)
    data = pickle.dumps(batch, protocol)
    eight_byte_numbers = 8 * (batch.points_np.size + batch.values_np.size + batch.offsets.size)
    assert len(data) <= 1.1 * eight_byte_numbers
    for loaded in (pickle.loads(data), copy.copy(batch), copy.deepcopy(batch)):
        assert type(loaded) is PathBatch and loaded is not batch
        assert_batch_is(loaded, list(batch))


def test_shapely_ragged_round_trip():
    shapely = pytest.importorskip("shapely")
    lines = np.array([shapely.LineString([[0, 0], [1, 2], [3, 3]]), shapely.LineString([[5, 5], [6, 5]])])
    kind, coords, (offsets,) = shapely.to_ragged_array(lines)
    batch = PathBatch(coords, offsets)
    back = shapely.from_ragged_array(kind, batch.points_np, (batch.offsets,))
    assert shapely.equals_exact(back, lines, tolerance=0).all()


# ---- locate_points ----


def oracle(points, queries):
    """Brute force over every segment: the nearest point, first of equal ones."""
    a, b = points[:-1], points[1:]
    d = b - a
    q = queries[:, None, :]
    dd = (d * d).sum(-1)
    with np.errstate(invalid="ignore", divide="ignore"):
        t = ((q - a) * d).sum(-1) / dd
    t = np.where(dd > 0, np.clip(t, 0, 1), 0.0)
    nearest = a + t[..., None] * d
    dist = np.sqrt(((q - nearest) ** 2).sum(-1))
    dist[:, ~np.isfinite(d).all(-1)] = np.inf
    seg = np.argmin(dist, axis=1)
    s = np.concatenate([[0], np.cumsum(np.sqrt(dd))])
    rows = np.arange(len(queries))
    second = np.partition(dist, 1, axis=1)[:, 1] if dist.shape[1] > 1 else np.full(len(queries), np.inf)
    return dist[rows, seg], s[seg] + t[rows, seg] * np.sqrt(dd[seg]), seg, second


TRACKS = {
    "u_turn": np.array([[0, 0], [10, 0], [10, 1], [0, 1]], float),
    "corner": np.array([[0, 0], [5, 0], [5, 5]], float),
    "random_walk": np.random.default_rng(3).normal(size=(200, 2)).cumsum(axis=0),
    "with_repeats_and_nan": np.array([[0, 0], [1, 0], [1, 0], [np.nan, 3], [2, 0], [3, 1]], float),
}


@pytest.mark.parametrize("name", TRACKS)
def test_locate_points_agrees_with_brute_force(name):
    points = TRACKS[name]
    rng = np.random.default_rng(1)
    lo, hi = np.nanmin(points, axis=0) - 3, np.nanmax(points, axis=0) + 3  # past the ends too
    queries = rng.uniform(lo, hi, size=(300, 2))
    found = wayforge.locate_points(Path2D(points), queries)
    distance, length, segment, second = oracle(points, queries)
    assert found.segment.dtype == np.int64 and found.point.shape == (300, 2)
    assert np.allclose(np.abs(found.offset), distance, rtol=1e-12, atol=1e-12)
    assert np.allclose(np.hypot(*(found.point - queries).T), distance, rtol=1e-12, atol=1e-12)
    unique = second > distance * (1 + 1e-9) + 1e-9
    finite = np.isfinite(length)
    assert np.allclose(found.length[unique & finite], length[unique & finite], rtol=1e-12, atol=1e-12)
    assert (found.segment[unique] == segment[unique]).all()


def test_locate_points_signs_ties_and_degenerate_paths():
    line = Path2D([[0, 0], [2, 0], [4, 0]])
    found = wayforge.locate_points(line, [[1, 1], [3, -1], [2, 5], [-1, 0], [np.nan, 0]])
    assert found.offset[:2].tolist() == [1.0, -1.0]
    assert found.segment.tolist() == [0, 1, 0, 0, -1]  # the vertex goes to the earlier segment
    assert found.length[:4].tolist() == [1.0, 3.0, 2.0, 0.0] and np.isnan(found.length[4])
    one = wayforge.locate_points(Path2D([[1, 1]]), [[4, 5]])
    assert (one.segment.tolist(), one.offset.tolist(), one.length.tolist()) == ([0], [5.0], [0.0])
    zero = wayforge.locate_points(Path2D([[1, 1], [1, 1]]), [[1, -2]])
    assert zero.offset.tolist() == [3.0]
    empty = wayforge.locate_points(Path2D([]), [[0, 0]])
    assert empty.segment.tolist() == [-1] and np.isnan(empty.point).all()
    assert wayforge.locate_points(line, np.empty((0, 2))).length.shape == (0,)


# ---- interpolate_at_lengths ----


def test_interpolate_at_lengths_is_numpy_interp_over_the_path_length():
    pts = TRACKS["random_walk"]
    path = Path2D(pts)
    path.add_associated_values(np.arange(len(pts)) ** 2.0)
    s = path.path_length_per_point_np
    lengths = np.concatenate([np.linspace(-1, s[-1] + 1, 500), s, [np.nan]])
    points, values = wayforge.interpolate_at_lengths(path, lengths)
    assert same_bits(points[:-1, 0], np.interp(lengths[:-1], s, pts[:, 0]))
    assert same_bits(points[:-1, 1], np.interp(lengths[:-1], s, pts[:, 1]))
    assert same_bits(values[:-1, 0], np.interp(lengths[:-1], s, path.associated_value_np(0)))
    assert np.isnan(points[-1]).all() and np.isnan(values[-1]).all()
    located = wayforge.locate_points(path, points[100:110])
    assert np.allclose(located.length, lengths[100:110])


def test_interpolate_at_lengths_on_short_paths():
    points, values = wayforge.interpolate_at_lengths(Path2D([]), [0.0, 1.0])
    assert np.isnan(points).all() and values.shape == (2, 0)
    points, _ = wayforge.interpolate_at_lengths(Path2D([[3, 4]]), [-1.0, 0.0, 5.0])
    assert points.tolist() == [[3, 4]] * 3
    with pytest.raises(ValueError, match=r"lengths must have shape \(m,\), not \(2, 2\)"):
        wayforge.interpolate_at_lengths(Path2D([[3, 4]]), [[1, 2], [3, 4]])


def test_new_names_follow_the_four_classes():
    assert wayforge.__all__[4:] == NEW_NAMES
    assert wayforge.locate_points.__module__ == "wayforge" and PathBatch.__module__ == "wayforge"
