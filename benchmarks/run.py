"""wayforge beside what its users would pick instead.

Each operation runs beside its peers (NumPy, SciPy, Shapely, Clarabel, cvxpy)
in this one process, on the same data, at 1e2, 1e4 and 1e6 points (1e5 as
well where a peer is too slow for 1e6). Every contestant is timed in rounds in
which all contestants of an operation take turns, so that a busy machine slows
them alike; the table shows the median of the rounds. A round of a fast call
times a batch of calls and divides. Inputs that a call consumes (a fresh path
whose lazily computed attribute is to be timed) are made before the clock
starts.

Columns: median time; ratio = wayforge / peer (below 1: wayforge is faster);
peak memory = the highest resident set size during one call above the one
before it, after freed memory was handed back to the system (Linux only).

Run: make bench    or    python benchmarks/run.py [--quick] [--only WORD ...]
"""

import argparse
import ctypes
import gc
import math
import os
import platform
import statistics
import subprocess
import sys
import time
from dataclasses import dataclass, field
from typing import Callable

import numpy as np

import wayforge
from wayforge import ElasticBandMethod, InterpolationMethod, Path2D, ResamplingMethod

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import bench_chaikin  # noqa: E402  (the peers of the per-topic benchmarks)
import bench_circle_fit  # noqa: E402
try:
    import bench_elastic_band  # noqa: E402
except ImportError:  # clarabel: none is built for a free-threaded interpreter
    bench_elastic_band = None
import bench_pickle  # noqa: E402
import bench_projection  # noqa: E402
import libm_limit  # noqa: E402

SIZES = (100, 10_000, 1_000_000)
# Marks a peer that does only part of the task; it is shown but not a target.
REFERENCE = "(part) "
# Marks the plain C++ loop of the same C library calls: the limit for an
# operation that keeps the library's digits, not a peer to beat.
LIMIT = "(limit) "
SAMPLE_SECONDS = 0.002  # a batch of fast calls lasts at least this long


# ---- measuring ----

_libc = ctypes.CDLL(None)


def _status_kib(key):
    with open("/proc/self/status") as status:
        for line in status:
            if line.startswith(key + ":"):
                return int(line.split()[1])
    raise KeyError(key)


def _reset_peak():
    """Resets the kernel's high-water mark of the resident set; False when
    this system does not allow it."""
    try:
        with open("/proc/self/clear_refs", "w") as refs:
            refs.write("5")
        return True
    except OSError:
        return False


def settle():
    """Collects garbage and hands freed heap memory back to the system, so
    that the next allocation shows up in the resident set."""
    gc.collect()
    _libc.malloc_trim(0)


def resident_bytes():
    settle()
    return _status_kib("VmRSS") * 1024


def peak_bytes(run, prepare):
    """Peak resident memory of one call above the level before it, or None."""
    arg = prepare()
    settle()
    if not _reset_peak():
        return None
    before = _status_kib("VmRSS")
    result = run(arg)
    peak = _status_kib("VmHWM")
    del result, arg
    return max(0, peak - before) * 1024


@dataclass
class Contestant:
    label: str
    run: Callable  # run(arg) -> result
    prepare: Callable = lambda: None  # makes the argument of one call, untimed
    batch: int = 1
    samples: list = field(default_factory=list)


def calibrate(c):
    """Times one call and sizes the batch; returns the cost of one sample,
    preparation included."""
    start = time.perf_counter()
    arg = c.prepare()
    prepared = time.perf_counter()
    c.run(arg)
    done = time.perf_counter()
    c.batch = max(1, min(10_000, math.ceil(SAMPLE_SECONDS / max(done - prepared, 1e-7))))
    return c.batch * (done - start)


def sample(c):
    args = [c.prepare() for _ in range(c.batch)]
    gc.disable()
    try:
        start = time.perf_counter()
        for arg in args:
            c.run(arg)
        elapsed = time.perf_counter() - start
    finally:
        gc.enable()
    del args
    c.samples.append(elapsed / c.batch)


def measure(contestants, rounds, budget):
    """Times the contestants in turns, at least 3 and at most `rounds` rounds
    within about `budget` seconds; returns their median seconds per call."""
    round_cost = sum(calibrate(c) for c in contestants)
    rounds = max(3, min(rounds, int(budget / max(round_cost, 1e-9))))
    for r in range(rounds):
        # Each round starts with another contestant, so that none always
        # runs right after the others' allocations.
        for c in contestants[r % len(contestants):] + contestants[:r % len(contestants)]:
            sample(c)
    return [statistics.median(c.samples) for c in contestants]


# ---- data ----

def walk(n, seed=0):
    """A random walk of n points: no two consecutive points coincide."""
    return np.cumsum(np.random.default_rng(seed).normal(size=(n, 2)), axis=0)


def numpy_path_length(x, y):
    return np.concatenate(([0.0], np.cumsum(np.hypot(np.diff(x), np.diff(y)))))


def central(v):
    """compute_differences as a user writes it with slices: halved central
    differences inside, one-sided at the ends."""
    d = np.empty_like(v)
    d[1:-1] = (v[2:] - v[:-2]) * 0.5
    d[0] = v[1] - v[0]
    d[-1] = v[-1] - v[-2]
    return d


def numpy_orientation(x, y):
    """arctan2 of the central differences (not halved), one-sided at the ends."""
    dx = np.empty_like(x)
    dy = np.empty_like(y)
    dx[1:-1], dy[1:-1] = x[2:] - x[:-2], y[2:] - y[:-2]
    dx[0], dy[0] = x[1] - x[0], y[1] - y[0]
    dx[-1], dy[-1] = x[-1] - x[-2], y[-1] - y[-2]
    return np.arctan2(dy, dx)


def numpy_tangent(x, y):
    dx, dy = central(x), central(y)
    r = np.sqrt(dy * dy + dx * dx)
    return np.stack((dx / r, dy / r), axis=1)


def numpy_curvature(x, y):
    dx, dy = central(x), central(y)
    ddx, ddy = central(dx), central(dy)
    return (dx * ddy - ddx * dy) / (dx * dx + dy * dy) ** 1.5


def numpy_detect(x, y, sus_angle):
    """The turn at each inner point from arctan2 of the segments."""
    heading = np.arctan2(np.diff(y), np.diff(x))
    d = np.abs(heading[1:] - heading[:-1])
    d = np.where(np.pi < d, np.abs(2 * np.pi - d), d)
    return (np.flatnonzero(d >= sus_angle) + 1).tolist()


def limit_peers(name, x, y):
    """The plain C++ loop of the same C library calls, when a compiler is
    there to build it."""
    try:
        if libm_limit.load() is None:
            return []
    except (OSError, subprocess.CalledProcessError):
        return []
    return [Contestant(LIMIT + f"plain C++ {name} loop", libm_limit.loop(name, x, y))]


def numpy_resample_linear(x, y, n):
    s = numpy_path_length(x, y)
    grid = np.linspace(0.0, s[-1], n)
    return np.interp(grid, s, x), np.interp(grid, s, y)


def scipy_resample_cubic(points, n):
    from scipy.interpolate import CubicSpline

    s = numpy_path_length(points[:, 0], points[:, 1])
    return CubicSpline(s, points, axis=0)(np.linspace(0.0, s[-1], n))


# ---- the operations ----

@dataclass
class Case:
    name: str
    build: Callable  # build(n) -> (wayforge Contestant, [peer Contestants])
    sizes: tuple = SIZES
    peer_limit: int = 10**9  # peers run up to this size only
    growth: str = "n"  # the promised cost: "n" or "n log n"
    max_ratio: float = 1.0  # the target: wayforge / peer at the largest size
    notes: str = ""


def fresh(points):
    return lambda: Path2D(points=points)


def case_list():
    cases = []

    def add(name, **kw):
        def register(build):
            cases.append(Case(name, build, **kw))
            return build
        return register

    @add("construct from (n, 2) float64 array")
    def _(n):
        a = walk(n)
        import shapely
        return (Contestant("Path2D(points=a)", lambda _: Path2D(points=a)),
                [Contestant("np.array(a, copy=True)", lambda _: np.array(a, copy=True)),
                 Contestant("shapely.LineString(a)", lambda _: shapely.LineString(a))])

    @add("construct from (n, 2) float32 array")
    def _(n):
        a = walk(n).astype(np.float32)
        return (Contestant("Path2D(points=a)", lambda _: Path2D(points=a)),
                [Contestant("a.astype(np.float64)", lambda _: a.astype(np.float64))])

    @add("construct from x, y int64 arrays")
    def _(n):
        a = np.round(walk(n) * 100).astype(np.int64)
        x, y = a[:, 0], a[:, 1]  # strided views
        return (Contestant("Path2D(x=x, y=y)", lambda _: Path2D(x=x, y=y)),
                [Contestant("np.column_stack([x, y]).astype(float)",
                            lambda _: np.column_stack([x, y]).astype(float))])

    @add("construct from list of [x, y] lists", peer_limit=10**6)
    def _(n):
        lst = walk(n).tolist()
        return (Contestant("Path2D(points=lst)", lambda _: Path2D(points=lst)),
                [Contestant("np.asarray(lst, dtype=float)", lambda _: np.asarray(lst, dtype=float))])

    @add("points (list of [x, y] lists)")
    def _(n):
        a = walk(n)
        p = Path2D(points=a)
        return (Contestant("p.points", lambda _: p.points),
                [Contestant("a.tolist()", lambda _: a.tolist())])

    @add("x (list of floats)")
    def _(n):
        a = walk(n)
        x = a[:, 0].copy()
        p = Path2D(points=a)
        return (Contestant("p.x", lambda _: p.x), [Contestant("x.tolist()", lambda _: x.tolist())])

    @add("points_np")
    def _(n):
        a = walk(n)
        p = Path2D(points=a)
        return (Contestant("p.points_np", lambda _: p.points_np),
                [Contestant("a.copy()", lambda _: a.copy())])

    @add("x_np")
    def _(n):
        a = walk(n)
        x = a[:, 0].copy()
        p = Path2D(points=a)
        return (Contestant("p.x_np", lambda _: p.x_np), [Contestant("x.copy()", lambda _: x.copy())])

    @add("path_length_per_point (first read)")
    def _(n):
        a = walk(n)
        x, y = a[:, 0].copy(), a[:, 1].copy()
        return (Contestant("p.path_length_per_point_np", lambda p: p.path_length_per_point_np, fresh(a)),
                [Contestant("hypot/diff/cumsum", lambda _: numpy_path_length(x, y))])

    @add("orientation (first read)")
    def _(n):
        a = walk(n)
        x, y = a[:, 0].copy(), a[:, 1].copy()
        return (Contestant("p.orientation_np", lambda p: p.orientation_np, fresh(a)),
                [Contestant("arctan2 of sliced central differences", lambda _: numpy_orientation(x, y))]
                + limit_peers("atan2_central", x, y))

    @add("unit_tangent_vector (first read)")
    def _(n):
        a = walk(n)
        x, y = a[:, 0].copy(), a[:, 1].copy()
        return (Contestant("p.unit_tangent_vector_np", lambda p: p.unit_tangent_vector_np, fresh(a)),
                [Contestant("sliced central differences / sqrt", lambda _: numpy_tangent(x, y))])

    @add("curvature (first read)")
    def _(n):
        a = walk(n)
        x, y = a[:, 0].copy(), a[:, 1].copy()
        return (Contestant("p.curvature_np", lambda p: p.curvature_np, fresh(a)),
                [Contestant("sliced central differences, ** 1.5", lambda _: numpy_curvature(x, y))]
                + limit_peers("pow_central", x, y))

    @add("detect_corrupted_point_order")
    def _(n):
        a = walk(n)
        x, y = a[:, 0].copy(), a[:, 1].copy()
        p = Path2D(points=a)
        return (Contestant("p.detect_corrupted_point_order()", lambda _: p.detect_corrupted_point_order()),
                [Contestant("arctan2 of segments, turn test", lambda _: numpy_detect(x, y, 2.8))]
                + limit_peers("atan2_segments", x, y))

    @add("resampled_path linear, n -> n points", growth="n log n")
    def _(n):
        a = walk(n)
        x, y = a[:, 0].copy(), a[:, 1].copy()
        method, linear = ResamplingMethod.by_number_points(n), InterpolationMethod.Linear
        return (Contestant("p.resampled_path(.., Linear)", lambda p: p.resampled_path(method, linear), fresh(a)),
                [Contestant("np.interp over cumulative length", lambda _: numpy_resample_linear(x, y, n))])

    @add("resampled_path cubic, n -> n points", growth="n log n")
    def _(n):
        a = walk(n)
        method, cubic = ResamplingMethod.by_number_points(n), InterpolationMethod.Cubic
        return (Contestant("p.resampled_path(.., Cubic)", lambda p: p.resampled_path(method, cubic), fresh(a)),
                [Contestant("scipy CubicSpline", lambda _: scipy_resample_cubic(a, n))])

    def projection_setup(n):
        import shapely
        a = bench_projection.spiral(n)
        q = bench_projection.queries(a, 1, np.random.default_rng(7))[0]
        p = Path2D(points=a)
        p.length  # the cumulative lengths are kept on the path after the first query
        line = shapely.LineString(a)
        return a, q.tolist(), p, line, shapely.Point(q)

    @add("index_from_point (one query)")
    def _(n):
        import shapely
        _, q, p, line, point = projection_setup(n)
        return (Contestant("p.index_from_point(q)", lambda _: p.index_from_point(q)),
                [Contestant("shapely.line_locate_point", lambda _: shapely.line_locate_point(line, point))])

    @add("path_length_from_point (one query)")
    def _(n):
        import shapely
        _, q, p, line, point = projection_setup(n)
        return (Contestant("p.path_length_from_point(q)", lambda _: p.path_length_from_point(q)),
                [Contestant("shapely.line_locate_point", lambda _: shapely.line_locate_point(line, point))])

    @add("sub_path, 25% to 75% of the length")
    def _(n):
        import shapely
        from shapely.ops import substring
        a = bench_projection.spiral(n)
        p = Path2D(points=a)
        p.length
        line = shapely.LineString(a)
        start, end = a[n // 4].tolist(), a[3 * n // 4].tolist()
        p0, p1 = shapely.Point(start), shapely.Point(end)

        def shapely_sub(_):
            return substring(line, shapely.line_locate_point(line, p0), shapely.line_locate_point(line, p1))

        return (Contestant("p.sub_path(start, end)", lambda _: p.sub_path(start, end)),
                [Contestant("line_locate_point x2 + ops.substring", shapely_sub)])

    @add("smoothed_path_chaikin, 2 iterations")
    def _(n):
        a = walk(n)
        p = Path2D(points=a)
        return (Contestant("p.smoothed_path_chaikin(2)", lambda _: p.smoothed_path_chaikin(2)),
                [Contestant("vectorised NumPy", lambda _: bench_chaikin.chaikin_numpy(a, 2))])

    @add("compute_circle_fit_curvature", sizes=(100, 10_000, 100_000, 1_000_000), peer_limit=100_000,
         growth="n log n")
    def _(n):
        x, y = bench_circle_fit.noisy_path(n)
        p = Path2D(x=x, y=y)
        rmse = bench_circle_fit.MAX_RMSE
        return (Contestant("p.compute_circle_fit_curvature()", lambda _: p.compute_circle_fit_curvature(rmse)),
                [Contestant("NumPy, np.linalg.svd per fit",
                            lambda _: bench_circle_fit.numpy_curvature(x, y, rmse))])

    for method_name, method in (("orthogonal", ElasticBandMethod.OrthogonalBounds),
                                ("square", ElasticBandMethod.SquareBounds))[:2 if bench_elastic_band else 0]:
        @add(f"smoothed_path_elastic_band, {method_name} bounds", sizes=(100, 1000, 10_000))
        def _(n, method_name=method_name, method=method):
            a = bench_elastic_band.noisy_path(n)
            p = Path2D(points=a)
            m = 0.1
            peers = [Contestant("SciPy build + clarabel direct",
                                lambda _: bench_elastic_band.solve_direct(
                                    *bench_elastic_band.scipy_problem(a, m, method_name)))]
            problem = bench_elastic_band.scipy_problem(a, m, method_name)
            peers.append(Contestant(REFERENCE + "clarabel alone on ready matrices",
                                    lambda _: bench_elastic_band.solve_direct(*problem)))
            try:
                import cvxpy as cp
            except ImportError:
                cp = None
            if cp is not None:
                peers.append(Contestant("cvxpy (CLARABEL)",
                                        lambda _: bench_elastic_band.solve_cvxpy(cp, a, m, method_name)))
            return Contestant("p.smoothed_path_elastic_band(0.1)",
                              lambda _: p.smoothed_path_elastic_band(m, method)), peers

    cases.extend(bench_pickle.run_cases(Case, Contestant))
    return cases


# ---- reporting ----

def fmt_time(seconds):
    if seconds is None:
        return "-"
    if seconds < 1e-3:
        return f"{seconds * 1e6:.1f} µs"
    if seconds < 1:
        return f"{seconds * 1e3:.2f} ms"
    return f"{seconds:.2f} s"


def fmt_mib(nbytes):
    return "-" if nbytes is None else f"{nbytes / 2**20:.1f}"


def fmt_n(n):
    return f"1e{round(math.log10(n))}" if n >= 100 and 10 ** round(math.log10(n)) == n else str(n)


def machine():
    lines = [f"- nproc: {os.cpu_count()}"]
    try:
        with open("/proc/cpuinfo") as info:
            model = next(line.split(":", 1)[1].strip() for line in info if line.startswith("model name"))
        lines.append(f"- CPU: {model}")
    except (OSError, StopIteration):
        pass
    lines.append(f"- Python {platform.python_version()}, NumPy {np.__version__}")
    versions = []
    for name in ("scipy", "shapely", "clarabel", "cvxpy"):
        try:
            versions.append(f"{name} {__import__(name).__version__}")
        except ImportError:
            versions.append(f"{name} not installed")
    lines.append("- " + ", ".join(versions))
    env = {k: os.environ[k] for k in ("OPENBLAS_CORETYPE", "OPENBLAS_L2_SIZE") if k in os.environ}
    lines.append(f"- OpenBLAS variables: {env or 'none set'}")
    try:
        import threadpoolctl

        np.ones((4, 4)) @ np.ones((4, 4))  # loads NumPy's BLAS
        for pool in threadpoolctl.threadpool_info():
            lines.append(f"- BLAS: {pool.get('internal_api')} {pool.get('version')}, kernel "
                         f"{pool.get('architecture')}, {pool.get('num_threads')} threads "
                         f"({os.path.basename(pool.get('filepath', ''))})")
    except ImportError:
        lines.append("- BLAS: threadpoolctl not installed")
    return "\n".join(lines)


@dataclass
class Row:
    case: str
    n: int
    ours: float
    ours_peak: int
    peer: str
    peer_time: float
    peer_peak: int


def run_case(case, args):
    rows = []
    for n in case.sizes:
        ours, peers = case.build(n)
        if n > case.peer_limit:
            peers = []
        contestants = [ours] + peers
        budget = args.budget * (3 if n >= 10**6 else 1)
        times = measure(contestants, args.rounds, budget)
        peaks = [peak_bytes(c.run, c.prepare) for c in contestants]
        if not peers:
            rows.append(Row(case.name, n, times[0], peaks[0], "(peer too slow at this size)", None, None))
        for c, t, peak in zip(peers, times[1:], peaks[1:]):
            rows.append(Row(case.name, n, times[0], peaks[0], c.label, t, peak))
        del ours, peers, contestants
        settle()
        if args.verbose:
            print(f"  {case.name} at {fmt_n(n)} done", file=sys.stderr)
    return rows


def table(rows):
    out = ["| operation | n | wayforge | peer | peer time | ratio | wayforge peak MiB | peer peak MiB |",
           "|---|---|---|---|---|---|---|---|"]
    previous = None
    for r in rows:
        first = (r.case, r.n) != previous
        previous = (r.case, r.n)
        ratio = f"{r.ours / r.peer_time:.2f}" if r.peer_time else "-"
        out.append(f"| {r.case if first else ''} | {fmt_n(r.n) if first else ''} | "
                   f"{fmt_time(r.ours) if first else ''} | {r.peer} | {fmt_time(r.peer_time)} | {ratio} | "
                   f"{fmt_mib(r.ours_peak) if first else ''} | {fmt_mib(r.peer_peak)} |")
    return "\n".join(out)


# ---- targets ----

def held_memory(n):
    """(bytes held by a path of n points with its four derived attributes
    computed, the peak while building it and reading them, and the bytes of
    the seven float64 lists a path with every coordinate held twice would
    have: points, x, y, length, orientation, tangents, curvature).

    Measured in a fresh interpreter: the module keeps freed large blocks for
    reuse, so in this process earlier cases would have left blocks behind
    that the path reuses without growing the resident set."""
    import json
    import subprocess

    code = f"import json, run; print(json.dumps(run.held_memory_here({int(n)})))"
    done = subprocess.run([sys.executable, "-c", code], cwd=os.path.dirname(os.path.abspath(__file__)),
                          capture_output=True, text=True, check=True)
    return tuple(json.loads(done.stdout.strip().splitlines()[-1]))


def held_memory_here(n):
    """held_memory(n) in this process."""
    a = walk(n)
    before = resident_bytes()
    reset = _reset_peak()
    p = Path2D(points=a)
    p.length, p.orientation_np, p.unit_tangent_vector_np, p.curvature_np  # results dropped
    peak = _status_kib("VmHWM") * 1024 - before if reset else None
    held = resident_bytes() - before
    lists = n * 8 * (2 + 1 + 1 + 1 + 1 + 2 + 1)
    del p
    return held, peak, lists


def elastic_split(n=1000, m=0.1):
    """wayforge's own work, Clarabel's setup and solve, and cvxpy's time, for
    the orthogonal bounds at n points (medians of interleaved rounds)."""
    a = bench_elastic_band.noisy_path(n)
    p = Path2D(points=a)
    method = ElasticBandMethod.OrthogonalBounds
    own, setup, solve = [], [], []
    for _ in range(11):
        o, s, v = bench_elastic_band.split_wayforge(p, m, method)
        own.append(o)
        setup.append(s)
        solve.append(v)
    try:
        import cvxpy as cp

        cvx = statistics.median(_timed(lambda: bench_elastic_band.solve_cvxpy(cp, a, m, "orthogonal"))
                                for _ in range(5))
    except ImportError:
        cvx = None
    whole = statistics.median(_timed(lambda: p.smoothed_path_elastic_band(m, method)) for _ in range(11))
    return statistics.median(own), statistics.median(setup), statistics.median(solve), whole, cvx


def _timed(fn):
    start = time.perf_counter()
    fn()
    return time.perf_counter() - start


def growth(rows, cases):
    """Per operation: (name, promised cost, wayforge's time at 1e6 over its
    time at 1e4, the same for its first peer or None). Linear work grows
    100-fold and n log n work 150-fold; on top of that, 1e4 points fit in
    the CPU caches and 1e6 do not, which slows any memory-bound work, the
    peers' alike."""
    out = []
    by_case = {c.name: c for c in cases}
    for name in dict.fromkeys(r.case for r in rows):
        at = {r.n: r for r in rows if r.case == name}
        if 10_000 in at and 1_000_000 in at:
            ours = at[1_000_000].ours / at[10_000].ours
            peers = [(a, b) for a in rows if a.case == name and a.n == 10_000 and a.peer_time
                     for b in rows if b.case == name and b.n == 1_000_000 and b.peer == a.peer and b.peer_time]
            peer = peers[0][1].peer_time / peers[0][0].peer_time if peers else None
            out.append((name, by_case[name].growth, ours, peer))
    return out


def targets(rows, cases, args):
    lines = ["| target | figure | met |", "|---|---|---|"]

    def verdict(ok):
        return "met" if ok else "**missed**"

    largest = {}
    for r in rows:
        if r.peer_time is not None and not r.peer.startswith((REFERENCE, LIMIT)) and r.n >= largest.get(r.case, 0):
            largest[r.case] = r.n
    for name, n in largest.items():
        worst = max((r for r in rows if r.case == name and r.n == n and r.peer_time
                     and not r.peer.startswith((REFERENCE, LIMIT))),
                    key=lambda r: r.ours / r.peer_time)
        ratio = worst.ours / worst.peer_time
        limit = next(c.max_ratio for c in cases if c.name == name)
        lines.append(f"| {name} at {fmt_n(n)}: ratio <= {limit} against every peer | {ratio:.2f} "
                     f"(slowest against {worst.peer}) | {verdict(ratio <= limit)} |")
    def ratio_to(case, peer_prefix):
        for r in rows:
            if r.case.startswith(case) and r.n == 10**6 and r.peer.startswith(peer_prefix) and r.peer_time:
                return r.ours / r.peer_time
        return None

    for case, peer, limit, text in (
            ("construct from (n, 2) float64", "np.array", 1.5, "construction from a float64 array <= 1.5x np.array(a, copy=True)"),
            ("curvature", "sliced", 1.3, "curvature_np <= 1.3x the NumPy formula"),
            ("resampled_path linear", "np.interp", 0.9, "linear resampled_path <= 0.9x np.interp over the cumulative length"),
            ("orientation", LIMIT, 1.1, "orientation_np <= 1.1x the plain atan2 loop"),
            ("detect_corrupted_point_order", LIMIT, 1.1, "detect_corrupted_point_order <= 1.1x the plain atan2 loop"),
            ("curvature", LIMIT, None, "curvature_np beside the plain pow loop (shown)")):
        ratio = ratio_to(case, peer)
        if ratio is not None:
            met = "-" if limit is None else verdict(ratio <= limit)
            lines.append(f"| {text} at 1e6 | {ratio:.2f} | {met} |")
    for name in ("points (list of [x, y] lists)", "x (list of floats)"):
        for r in rows:
            if r.case == name and r.n == 10**6:
                ratio = r.ours / r.peer_time
                lines.append(f"| {name} no slower than tolist() at 1e6 | {ratio:.2f} | {verdict(ratio <= 1.0)} |")
    if bench_elastic_band is not None and (not args.only or any("elastic" in w for w in args.only)):
        own, setup, solve, whole, cvx = elastic_split()
        lines.append(f"| elastic band at 1e3: own work < 25% of Clarabel's solve | own {fmt_time(own)}, "
                     f"solve {fmt_time(solve)} (setup {fmt_time(setup)}, whole call {fmt_time(whole)}): "
                     f"{own / solve:.0%} | {verdict(own < 0.25 * solve)} |")
        if cvx is not None:
            lines.append(f"| elastic band at 1e3: >= 10x faster than cvxpy | cvxpy {fmt_time(cvx)} / "
                         f"wayforge {fmt_time(whole)} = {cvx / whole:.1f}x | {verdict(cvx >= 10 * whole)} |")
        else:
            lines.append("| elastic band at 1e3: >= 10x faster than cvxpy | cvxpy not installed | - |")
    held, peak, lists = held_memory(10**6)
    lines.append(f"| 1e6-point path with its four derived attributes holds <= 0.8x the 72 B/pt of its "
                 f"seven lists | {held / 2**20:.1f} MiB for {lists / 2**20:.1f} MiB = {held / lists:.2f}x "
                 f"(peak while building it and reading them: {peak / lists:.2f}x) | {verdict(held <= 0.8 * lists)} |")
    for name, promised, factor, peer in growth(rows, cases):
        expected = 100.0 if promised == "n" else 150.0
        # A quadratic cost would grow 10000-fold: the check is for that kind
        # of fault. Cache effects are allowed for: up to 3x the promise, or
        # up to 1.5x the growth of the peer, which meets the same caches.
        ok = factor <= 3 * expected or (peer is not None and factor <= 1.5 * peer)
        peer_text = f", peer x{peer:.0f}" if peer is not None else ""
        lines.append(f"| {name}: cost grows as {promised} (1e4 -> 1e6, promised x{expected:.0f}) | "
                     f"wayforge x{factor:.0f}{peer_text} | {verdict(ok)} |")
    return "\n".join(lines)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--quick", action="store_true", help="fewer rounds (noisier)")
    parser.add_argument("--only", nargs="*", default=[], help="run operations whose name holds a word")
    parser.add_argument("--verbose", action="store_true", help="report progress on stderr")
    args = parser.parse_args()
    args.rounds = 5 if args.quick else 21
    args.budget = 0.5 if args.quick else 2.0

    cases = [c for c in case_list() if not args.only or any(w in c.name for w in args.only)]
    for name in ("scipy.interpolate", "scipy.sparse", "shapely", "clarabel", "cvxpy"):
        try:
            __import__(name)  # loads every BLAS library before the limit below
        except ImportError:
            pass
    try:
        # Idle OpenBLAS workers spin on a small machine and slow everything
        # else; no operation here gains from BLAS threads (the circle fits
        # decompose n x 3 matrices).
        import threadpoolctl

        threadpoolctl.threadpool_limits(1)
    except ImportError:
        pass
    print("## Machine\n")
    print(machine())
    print(f"\n## Times (median of interleaved rounds; ratio = wayforge / peer, below 1: wayforge is faster)\n")
    rows = []
    for case in cases:
        rows.extend(run_case(case, args))
    print(table(rows))
    print("\n## Targets\n")
    print(targets(rows, cases, args))


if __name__ == "__main__":
    main()
