"""Many paths: a batch across processes on one machine, or across a Dask cluster.

Every wayforge call holds the interpreter lock for its whole run, so threads do
not run two calls at once: parallel work comes from processes. Path2D objects
(and the method value objects) do not pickle, so what travels between processes
is plain data: each track goes out as an (n, 2) float64 array, every worker
builds its Path2D objects itself, and the results come back as NumPy arrays and
numbers.

    python examples/batch.py                       # a process pool on this machine
    python examples/batch.py --dask                # the same function on a local Dask cluster
    python examples/batch.py --dask tcp://host:8786  # ... on a running Dask scheduler

The cluster's workers need the same wayforge installed (pip install 'wayforge[dask]').
"""

from __future__ import annotations

import argparse
import multiprocessing
import os
import sys
import time
from concurrent.futures import ProcessPoolExecutor
from typing import Iterable, Sequence

import numpy as np

# The worker functions reach the classes through the module: Dask ships a function
# defined in a script (__main__) by value, together with the globals it uses, and the
# wayforge classes report __module__ "builtins", so a class imported by name would be
# copied by value too (and fail, as its members do not pickle). A module is shipped
# by reference and imported again on the worker.
import wayforge


def process_track(xy: np.ndarray, spacing: float = 1.0) -> dict:
    """Repairs one track, resamples it every `spacing` length units (cubic) and
    estimates its curvature by circle fitting. Only plain data goes in and out."""
    path = wayforge.Path2D(points=xy)  # an (n, 2) array is accepted as it is
    repaired = path.repair_corrupted_point_order()
    method = wayforge.ResamplingMethod.by_sampling_distance(spacing, drop_last=False)
    resampled = repaired.resampled_path(method, wayforge.InterpolationMethod.Cubic)
    curvature = resampled.compute_circle_fit_curvature()
    return {
        "removed": len(path.points) - len(repaired.points),
        "length": repaired.length,
        "points": resampled.points_np,  # float64 arrays pickle cheaply
        "max_curvature": max(curvature, default=0.0),
    }


def process_chunk(chunk: Sequence[np.ndarray], spacing: float = 1.0) -> list[dict]:
    """One task per chunk of tracks keeps the per-task overhead small."""
    return [process_track(xy, spacing) for xy in chunk]


def chunks(tracks: Sequence[np.ndarray], size: int) -> list[Sequence[np.ndarray]]:
    return [tracks[i : i + size] for i in range(0, len(tracks), size)]


def run_local(tracks: Sequence[np.ndarray], workers: int | None = None, chunk_size: int = 32) -> list[dict]:
    """The batch on this machine: one process per core by default."""
    # Workers start as fresh interpreters: forking a process in which BLAS or Dask
    # threads run can deadlock the child.
    spawn = multiprocessing.get_context("spawn")
    with ProcessPoolExecutor(max_workers=workers, mp_context=spawn) as pool:
        return [r for part in pool.map(process_chunk, chunks(tracks, chunk_size)) for r in part]


def run_dask(tracks: Sequence[np.ndarray], client, chunk_size: int = 32) -> list[dict]:
    """The same function mapped over a Dask cluster (`client` is a distributed.Client)."""
    futures = client.map(process_chunk, chunks(tracks, chunk_size), pure=False)
    return [r for part in client.gather(futures) for r in part]


def make_tracks(count: int, seed: int = 1) -> list[np.ndarray]:
    """Synthetic tracks: smooth random headings, 1-3 m steps, noise, one swapped pair each."""
    rng = np.random.default_rng(seed)
    tracks = []
    for _ in range(count):
        n = int(rng.integers(80, 200))
        heading = np.cumsum(rng.normal(0.0, 0.05, n))
        step = rng.uniform(1.0, 3.0, n)
        xy = np.column_stack([np.cumsum(step * np.cos(heading)), np.cumsum(step * np.sin(heading))])
        xy += rng.normal(0.0, 0.1, xy.shape)
        i = int(rng.integers(5, n - 6))
        xy[[i, i + 1]] = xy[[i + 1, i]]
        tracks.append(xy)
    return tracks


def summarize(results: Iterable[dict]) -> str:
    results = list(results)
    points = sum(len(r["points"]) for r in results)
    removed = sum(r["removed"] for r in results)
    length = sum(r["length"] for r in results)
    return f"{len(results)} tracks, {length / 1000:.1f} km, {removed} fixes removed, {points} resampled points"


def main(argv: list[str] | None = None) -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--tracks", type=int, default=400, help="number of synthetic tracks")
    parser.add_argument("--workers", type=int, default=os.cpu_count(), help="processes on this machine")
    parser.add_argument("--dask", nargs="?", const="local", metavar="SCHEDULER",
                        help="run on Dask: a local cluster, or the scheduler at this address")
    args = parser.parse_args(argv)
    tracks = make_tracks(args.tracks)

    start = time.perf_counter()
    local = run_local(tracks, args.workers)
    print(f"process pool ({args.workers} workers): {summarize(local)} in {time.perf_counter() - start:.2f} s")

    if args.dask:
        from distributed import Client, LocalCluster

        start = time.perf_counter()
        if args.dask == "local":
            with LocalCluster(n_workers=args.workers, threads_per_worker=1) as cluster, Client(cluster) as client:
                remote = run_dask(tracks, client)
        else:
            with Client(args.dask) as client:
                remote = run_dask(tracks, client)
        print(f"dask ({args.dask}): {summarize(remote)} in {time.perf_counter() - start:.2f} s")
        same = all(np.array_equal(a["points"], b["points"]) for a, b in zip(local, remote))
        print(f"same results as the process pool: {same}")
        if not same:
            return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
