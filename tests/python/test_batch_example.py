"""The batch example: the same results from a process pool, from Dask and from a
plain loop, with only plain data crossing process boundaries."""

import pickle
import sys
from pathlib import Path

import numpy as np
import pytest

import wayforge

EXAMPLES = Path(__file__).resolve().parents[2] / "examples"


@pytest.fixture(scope="module")
def batch():
    # Kept on the path while the module's tests run: spawned workers import it by name.
    sys.path.insert(0, str(EXAMPLES))
    try:
        import batch

        yield batch
    finally:
        sys.path.remove(str(EXAMPLES))


@pytest.fixture(scope="module")
def tracks(batch):
    return batch.make_tracks(12, seed=5)


@pytest.fixture(scope="module")
def expected(batch, tracks):
    return batch.process_chunk(tracks)


def assert_same(results, expected):
    assert len(results) == len(expected)
    for got, want in zip(results, expected):
        assert got["removed"] == want["removed"] and got["length"] == want["length"]
        assert got["max_curvature"] == want["max_curvature"]
        np.testing.assert_array_equal(got["points"], want["points"])


def test_track_result_is_plain_data(batch, tracks, expected):
    first = expected[0]
    assert first["removed"] == 2  # the one swapped pair
    assert first["points"].dtype == np.float64 and first["points"].shape[1] == 2
    np.testing.assert_array_equal(first["points"][0], tracks[0][0])  # resampling keeps the start
    assert pickle.loads(pickle.dumps(expected))[0]["length"] == first["length"]


def test_paths_and_method_values_do_not_pickle():
    """Why the example ships arrays: the objects themselves cannot travel."""
    for obj in (wayforge.Path2D(points=[[0, 0], [1, 0]]), wayforge.InterpolationMethod.Cubic,
                wayforge.ResamplingMethod.by_number_points(3)):
        with pytest.raises(TypeError, match="cannot pickle"):
            pickle.dumps(obj)


def test_process_pool_matches_a_plain_loop(batch, tracks, expected):
    assert_same(batch.run_local(tracks, workers=2, chunk_size=5), expected)


def test_worker_function_ships_by_value(batch, tracks, expected):
    """Dask sends functions defined in a script by value (cloudpickle), with their globals."""
    cloudpickle = pytest.importorskip("cloudpickle")
    cloudpickle.register_pickle_by_value(batch)
    try:
        shipped = cloudpickle.loads(cloudpickle.dumps(batch.process_chunk))
    finally:
        cloudpickle.unregister_pickle_by_value(batch)
    assert_same(shipped(tracks[:3]), expected[:3])


def test_dask_matches_a_plain_loop(batch, tracks, expected):
    distributed = pytest.importorskip("distributed")
    with distributed.LocalCluster(n_workers=1, threads_per_worker=2, processes=False,
                                  dashboard_address=None) as cluster:
        with distributed.Client(cluster) as client:
            assert_same(batch.run_dask(tracks, client, chunk_size=4), expected)


def test_command_line(batch, capsys):
    assert batch.main(["--tracks", "6", "--workers", "2"]) == 0
    assert "process pool (2 workers): 6 tracks" in capsys.readouterr().out
