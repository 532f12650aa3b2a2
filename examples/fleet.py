"""Fleets: a table of GPS fixes processed a partition at a time, one PathBatch per partition.

The fixes of a fleet arrive as rows (track, x, y, t). Each Dask partition holds
whole tracks, sorted by track, so one partition becomes one PathBatch: its
offsets come from where the track column changes, and the timestamps ride along
as the batch's value list. One call per operation then repairs the order of every
track, resamples them all every metre and fits their curvature, each call
releasing the interpreter lock once for the whole partition.

    python examples/fleet.py                      # a local Dask cluster, checked against a plain loop
    python examples/fleet.py tcp://host:8786      # ... on a running Dask scheduler

The cluster's workers need the same wayforge installed (pip install 'wayforge[dask]').
"""

from __future__ import annotations

import argparse
import sys
import time

import numpy as np
import pandas as pd

# Reached through the module: Dask ships the functions of a script by value, and a
# module travels by reference (see examples/batch.py).
import wayforge

SPACING = 1.0  # metres between resampled points
MAX_RMSE = 0.3  # metres: three times the fixes' noise (see "Real tracks" in the README)

# What process_fixes returns, for Dask to know without running it.
META = pd.DataFrame({"track": pd.Series(dtype="int64"), "x": pd.Series(dtype="float64"),
                     "y": pd.Series(dtype="float64"), "t": pd.Series(dtype="float64"),
                     "curvature": pd.Series(dtype="float64")})


def resampling() -> wayforge.ResamplingMethod:
    return wayforge.ResamplingMethod.by_sampling_distance(SPACING, drop_last=False)


def process_fixes(fixes: pd.DataFrame) -> pd.DataFrame:
    """One partition: fixes sorted by track, each track's fixes in the order logged.
    Linear resampling keeps the timestamps increasing."""
    ids, counts = np.unique(fixes["track"].to_numpy(), return_counts=True)
    batch = wayforge.PathBatch(fixes[["x", "y"]].to_numpy(), np.r_[0, np.cumsum(counts)], fixes[["t"]].to_numpy())
    out = batch.repair_corrupted_point_order().resampled_path(resampling())
    return pd.DataFrame({"track": np.repeat(ids, np.diff(out.offsets)), "x": out.x_np, "y": out.y_np,
                         "t": out.values_np[:, 0], "curvature": out.compute_circle_fit_curvature(MAX_RMSE)})


def process_loop(fixes: pd.DataFrame) -> pd.DataFrame:
    """The same, a Path2D per track."""
    parts = []
    for track, rows in fixes.groupby("track", sort=True):
        path = wayforge.Path2D(points=rows[["x", "y"]].to_numpy())
        t = path.add_associated_values(rows["t"].to_numpy())
        out = path.repair_corrupted_point_order().resampled_path(resampling())
        parts.append(pd.DataFrame({"track": track, "x": out.x_np, "y": out.y_np, "t": out.associated_value_np(t),
                                   "curvature": out.compute_circle_fit_curvature(MAX_RMSE)}))
    return pd.concat(parts, ignore_index=True).astype(META.dtypes)


def run_dask(fixes: pd.DataFrame, client, npartitions: int = 8) -> pd.DataFrame:
    """Partitions of whole tracks: divisions on the sorted track index never split
    a track, and a frame already sorted by track keeps each track's order.
    `client` is a distributed.Client; the result comes back sorted by track."""
    import dask.dataframe as dd

    table = dd.from_pandas(fixes.set_index("track"), npartitions=npartitions, sort=True)
    result = table.reset_index().map_partitions(process_fixes, meta=META)
    return client.compute(result).result().sort_values("track", kind="stable", ignore_index=True)


def make_fleet(count: int, seed: int = 1) -> pd.DataFrame:
    """Synthetic fixes sorted by track: 50 to 300 per track, one a second, 1 to 3 m
    apart on smoothly turning headings with 0.1 m of noise; every third track has a
    pair of fixes whose positions were logged in swapped order."""
    rng = np.random.default_rng(seed)
    parts = []
    for track in range(count):
        n = int(rng.integers(50, 301))
        heading = rng.uniform(-np.pi, np.pi) + np.cumsum(rng.normal(0.0, 0.05, n))
        step = rng.uniform(1.0, 3.0, n)
        xy = np.column_stack([np.cumsum(step * np.cos(heading)), np.cumsum(step * np.sin(heading))])
        xy += rng.normal(0.0, 0.1, xy.shape) + rng.uniform(-5000.0, 5000.0, 2)
        if track % 3 == 0:
            i = int(rng.integers(5, n - 6))
            xy[[i, i + 1]] = xy[[i + 1, i]]
        t = rng.uniform(0.0, 3600.0) + np.arange(n)
        parts.append(pd.DataFrame({"track": track, "x": xy[:, 0], "y": xy[:, 1], "t": t}))
    return pd.concat(parts, ignore_index=True)


def main(argv: list[str] | None = None) -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("scheduler", nargs="?", help="address of a running Dask scheduler (default: a local cluster)")
    parser.add_argument("--tracks", type=int, default=300, help="number of synthetic tracks")
    parser.add_argument("--workers", type=int, default=2, help="worker processes of the local cluster")
    args = parser.parse_args(argv)
    from distributed import Client, LocalCluster

    fixes = make_fleet(args.tracks)
    start = time.perf_counter()
    if args.scheduler:
        with Client(args.scheduler) as client:
            result = run_dask(fixes, client)
    else:
        # One thread per worker: a partition's batch is one call, and processes are what scale it.
        with LocalCluster(n_workers=args.workers, threads_per_worker=1, dashboard_address=None) as cluster, \
                Client(cluster) as client:
            result = run_dask(fixes, client)
    print(f"dask: {len(fixes)} fixes of {args.tracks} tracks -> {len(result)} points "
          f"in {time.perf_counter() - start:.2f} s")
    expected = process_loop(fixes)
    same = all(np.array_equal(result[c], expected[c], equal_nan=True) for c in META.columns)
    print(f"same as a loop over Path2D: {same}")
    return 0 if same else 1


if __name__ == "__main__":
    sys.exit(main())
