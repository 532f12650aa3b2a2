"""The batch example: the same results from a process pool, from Dask and from a
plain loop, with Path2D objects and method values crossing process boundaries."""

import pickle

import numpy as np
import pytest

import wayforge
from conftest import example


@pytest.fixture(scope="module")
def batch():
    with example("batch") as module:
        yield module


@pytest.fixture(scope="module")
def tracks(batch):
    return batch.make_tracks(12, seed=5)


@pytest.fixture(scope="module")
def expected(batch, tracks):
    return batch.process_chunk(tracks, batch.default_method())


def assert_same(results, expected):
    assert len(results) == len(expected)
    for got, want in zip(results, expected):
        assert got["removed"] == want["removed"] and got["length"] == want["length"]
        assert got["max_curvature"] == want["max_curvature"]
        np.testing.assert_array_equal(got["path"].points_np, want["path"].points_np)
        np.testing.assert_array_equal(got["path"].associated_value_np(0), want["path"].associated_value_np(0))


def test_track_result_carries_a_path_with_its_timestamps(batch, tracks, expected):
    first = expected[0]
    assert first["removed"] == 2  # the one swapped pair
    path = first["path"]
    assert type(path) is wayforge.Path2D
    assert path.points[0] == tracks[0].points[0]  # resampling keeps the start
    times = path.associated_value_np(batch.TIME)
    assert len(times) == len(path.points) and times[0] == 0.0 and np.all(np.diff(times) > 0)
    assert pickle.loads(pickle.dumps(expected))[0]["path"].points == path.points


def test_paths_and_method_values_pickle_by_reference_to_wayforge():
    """Why the example can ship the objects themselves: their pickles name
    wayforge's loader, never the classes (which report "builtins")."""
    for obj in (wayforge.Path2D(points=[[0, 0], [1, 0]]), wayforge.InterpolationMethod.Cubic,
                wayforge.ResamplingMethod.by_number_points(3)):
        data = pickle.dumps(obj, protocol=0)
        assert b"wayforge" in data and b"_restore" in data and b"builtins" not in data


def test_process_pool_matches_a_plain_loop(batch, tracks, expected):
    assert_same(batch.run_local(tracks, workers=2, chunk_size=5), expected)


def test_a_method_value_travels_to_the_workers(batch, tracks):
    method = wayforge.ResamplingMethod.by_number_points(11)
    for result in batch.run_local(tracks[:3], workers=1, method=method):
        assert len(result["path"].points) == 11


def test_worker_function_ships_by_value(batch, tracks, expected):
    """Dask sends functions defined in a script by value (cloudpickle), with their globals."""
    cloudpickle = pytest.importorskip("cloudpickle")
    cloudpickle.register_pickle_by_value(batch)
    try:
        shipped = cloudpickle.loads(cloudpickle.dumps(batch.process_chunk))
    finally:
        cloudpickle.unregister_pickle_by_value(batch)
    assert_same(shipped(tracks[:3], batch.default_method()), expected[:3])


def test_dask_matches_a_plain_loop(batch, tracks, expected):
    distributed = pytest.importorskip("distributed")
    with distributed.LocalCluster(n_workers=1, threads_per_worker=2, processes=False,
                                  dashboard_address=None) as cluster:
        with distributed.Client(cluster) as client:
            assert_same(batch.run_dask(tracks, client, chunk_size=4), expected)


def test_command_line(batch, capsys):
    assert batch.main(["--tracks", "6", "--workers", "2"]) == 0
    assert "process pool (2 workers): 6 tracks" in capsys.readouterr().out
