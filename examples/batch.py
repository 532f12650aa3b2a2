"""Many paths: a batch across processes on one machine, or across a Dask cluster.

Every wayforge call holds the interpreter lock for its whole run, so threads do
not run two calls at once: parallel work comes from processes. Path2D objects
and the method values pickle, so they travel as they are: each track goes out
as a Path2D carrying its timestamps as associated values, the resampling method
goes along, and every result comes back as a Path2D (its timestamps resampled
alike) with a few numbers.

    python examples/batch.py                       # a process pool on this machine
    python examples/batch.py --dask                # the same function on a local Dask cluster
    python examples/batch.py --dask tcp://host:8786  # ... on a running Dask scheduler

The cluster's workers need the same wayforge installed (pip install 'wayforge[dask]').
"""

from __future__ import annotations

import argparse
import functools
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
# copied by value too (and fail). A module is shipped by reference and imported again
# on the worker. Path2D objects and method values themselves pickle by reference to
# wayforge's own loader, wherever they are passed.
import wayforge

TIME = 0  # handle of the timestamps on every track (the first value list added)


def process_track(path: wayforge.Path2D, method: wayforge.ResamplingMethod) -> dict:
    """Repairs one track, resamples it (cubic) and estimates its curvature by
    circle fitting. The resampled path comes back with its timestamps."""
    repaired = path.repair_corrupted_point_order()
    resampled = repaired.resampled_path(method, wayforge.InterpolationMethod.Cubic)
    curvature = resampled.compute_circle_fit_curvature()
    return {
        "removed": len(path.points) - len(repaired.points),
        "length": repaired.length,
        "path": resampled,  # a Path2D pickles as float64 bytes: compact and exact
        "max_curvature": max(curvature, default=0.0),
    }


def process_chunk(chunk: Sequence[wayforge.Path2D], method: wayforge.ResamplingMethod) -> list[dict]:
    """One task per chunk of tracks keeps the per-task overhead small."""
    return [process_track(path, method) for path in chunk]


def chunks(tracks: Sequence[wayforge.Path2D], size: int) -> list[Sequence[wayforge.Path2D]]:
    return [tracks[i : i + size] for i in range(0, len(tracks), size)]


def default_method(spacing: float = 1.0) -> wayforge.ResamplingMethod:
    """Every `spacing` length units, keeping the end point."""
    return wayforge.ResamplingMethod.by_sampling_distance(spacing, drop_last=False)


def run_local(tracks: Sequence[wayforge.Path2D], workers: int | None = None, chunk_size: int = 32,
              method: wayforge.ResamplingMethod | None = None) -> list[dict]:
    """The batch on this machine: one process per core by default."""
    task = functools.partial(process_chunk, method=method or default_method())
    # Workers start as fresh interpreters: forking a process in which BLAS or Dask
    # threads run can deadlock the child.
    spawn = multiprocessing.get_context("spawn")
    with ProcessPoolExecutor(max_workers=workers, mp_context=spawn) as pool:
        return [r for part in pool.map(task, chunks(tracks, chunk_size)) for r in part]


def run_dask(tracks: Sequence[wayforge.Path2D], client, chunk_size: int = 32,
             method: wayforge.ResamplingMethod | None = None) -> list[dict]:
    """The same function mapped over a Dask cluster (`client` is a distributed.Client)."""
    futures = client.map(process_chunk, chunks(tracks, chunk_size), method=method or default_method(), pure=False)
    return [r for part in client.gather(futures) for r in part]


def make_tracks(count: int, seed: int = 1) -> list[wayforge.Path2D]:
    """Synthetic tracks: smooth random headings, 1-3 m steps, noise, one swapped
    pair each, and a timestamp per fix (handle TIME)."""
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
        track = wayforge.Path2D(points=xy)  # an (n, 2) array is accepted as it is
        track.add_associated_values(np.arange(n) * 0.25)  # a fix every 0.25 s
        tracks.append(track)
    return tracks


def summarize(results: Iterable[dict]) -> str:
    results = list(results)
    points = sum(len(r["path"].points) for r in results)
    removed = sum(r["removed"] for r in results)
    length = sum(r["length"] for r in results)
    return f"{len(results)} tracks, {length / 1000:.1f} km, {removed} fixes removed, {points} resampled points"


def same_paths(a: wayforge.Path2D, b: wayforge.Path2D) -> bool:
    return np.array_equal(a.points_np, b.points_np) and np.array_equal(
        a.associated_value_np(TIME), b.associated_value_np(TIME))


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
        same = all(same_paths(a["path"], b["path"]) for a, b in zip(local, remote))
        print(f"same results as the process pool: {same}")
        if not same:
            return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
