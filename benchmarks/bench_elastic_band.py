"""Elastic band smoothing of a noisy 1000-point path: wayforge beside the same
quadratic program written directly for clarabel (NumPy/SciPy) and in cvxpy.

Run: PYTHONPATH=<build dir> python benchmarks/bench_elastic_band.py [points] [max_deviation]
"""

import sys
import time
import types

import numpy as np
import scipy.sparse as sp

import clarabel
import wayforge

REPEATS = 10
SETTINGS = dict(verbose=False, max_iter=1000, tol_gap_abs=1e-4, tol_gap_rel=1e-4, tol_feas=1e-4,
                iterative_refinement_reltol=1e-4, iterative_refinement_abstol=1e-4,
                direct_solve_method="qdldl")


def best_of(fn, repeats=REPEATS):
    best, result = float("inf"), None
    for _ in range(repeats):
        start = time.perf_counter()
        result = fn()
        best = min(best, time.perf_counter() - start)
    return best, result


def noisy_path(n, seed=1):
    rng = np.random.default_rng(seed)
    t = np.linspace(0.0, 20.0, n)
    return np.column_stack([t + rng.normal(0, 0.05, n), np.sin(t) + rng.normal(0, 0.05, n)])


def orientation(points):
    d = np.gradient(points, axis=0)  # one-sided at the ends, halved central inside
    return np.arctan2(d[:, 1], d[:, 0])


def second_difference(n):
    return sp.diags([np.ones(n - 2), -2.0 * np.ones(n - 2), np.ones(n - 2)], [0, 1, 2],
                    shape=(n - 2, n), format="csc")


def end_point_rows(n, blocks):
    rows = sp.lil_matrix((4, blocks * n))
    for r, col in enumerate([0, n, n - 1, 2 * n - 1]):
        rows[r, col] = 1.0
    return rows.tocsc()


def scipy_problem(points, m, method):
    """P, q, A, b and cone sizes written with SciPy's sparse constructors."""
    n = len(points)
    x0, y0 = points[:, 0], points[:, 1]
    dtd = (second_difference(n).T @ second_difference(n)).tocsc()
    ends = np.array([x0[0], y0[0], x0[-1], y0[-1]])
    if method == "square":
        P = 2.0 * sp.block_diag([dtd, dtd], format="csc")
        pick = sp.eye(n, format="csc")[1:-1]
        box = sp.block_diag([pick, pick], format="csc")
        A = sp.vstack([end_point_rows(n, 2), box, -box], format="csc")
        centre = np.concatenate([x0[1:-1], y0[1:-1]])
        b = np.concatenate([ends, centre + m, -(centre - m)])
        cones = (4, A.shape[0] - 4)
    else:
        k = n - 2
        P = 2.0 * sp.block_diag([dtd, dtd, sp.csc_matrix((k, k))], format="csc")
        s, c = np.sin(orientation(points)[1:-1]), np.cos(orientation(points)[1:-1])
        pick = sp.eye(n, format="csc")[1:-1]
        zero = sp.csc_matrix((k, n))
        along = sp.vstack([sp.hstack([pick, zero, -sp.diags(m * s)]),
                           sp.hstack([zero, pick, -sp.diags(-m * c)])])
        offsets = sp.hstack([sp.csc_matrix((k, 2 * n)), sp.eye(k)])
        ends_rows = sp.hstack([end_point_rows(n, 2), sp.csc_matrix((4, k))])
        A = sp.vstack([ends_rows, along, offsets, -offsets], format="csc")
        b = np.concatenate([ends, x0[1:-1], y0[1:-1], np.ones(2 * k)])
        cones = (4 + 2 * k, 2 * k)
    return sp.triu(P, format="csc"), np.zeros(P.shape[0]), A, b, cones


def solve_direct(P, q, A, b, cones):
    settings = clarabel.DefaultSettings()
    for name, value in SETTINGS.items():
        setattr(settings, name, value)
    cone_list = [clarabel.ZeroConeT(cones[0]), clarabel.NonnegativeConeT(cones[1])]
    solution = clarabel.DefaultSolver(P, q, A, b, cone_list, settings).solve()
    assert str(solution.status) == "Solved", solution.status
    return np.array(solution.x)


def solve_cvxpy(cp, points, m, method):
    n = len(points)
    x, y = cp.Variable(n), cp.Variable(n)
    x0, y0 = points[:, 0], points[:, 1]
    objective = cp.sum_squares(cp.diff(x, 2)) + cp.sum_squares(cp.diff(y, 2))
    constraints = [x[0] == x0[0], y[0] == y0[0], x[-1] == x0[-1], y[-1] == y0[-1]]
    if method == "square":
        constraints += [cp.abs(x[1:-1] - x0[1:-1]) <= m, cp.abs(y[1:-1] - y0[1:-1]) <= m]
    else:
        theta = orientation(points)[1:-1]
        d = cp.Variable(n - 2)
        constraints += [x[1:-1] == x0[1:-1] + cp.multiply(m * np.sin(theta), d),
                        y[1:-1] == y0[1:-1] + cp.multiply(-m * np.cos(theta), d),
                        cp.abs(d) <= 1]
    problem = cp.Problem(cp.Minimize(objective), constraints)
    problem.solve(solver=cp.CLARABEL, **{k: v for k, v in SETTINGS.items() if k != "verbose"})
    assert problem.status == "optimal", problem.status
    return np.column_stack([x.value, y.value])


class TimedClarabel(types.ModuleType):
    """Stands in for clarabel and measures the time spent inside it. With
    instant=True it answers at once without solving, so that a call measures
    wayforge's own work alone."""

    def __init__(self, instant=False):
        super().__init__("clarabel")
        self.instant = instant
        self.setup = self.solve = 0.0

    def __getattr__(self, name):
        return getattr(clarabel, name)

    def DefaultSolver(self, *args):  # noqa: N802 (clarabel's name)
        outer = self
        if self.instant:
            class Instant:
                def solve(self):
                    return types.SimpleNamespace(status="MaxIterations")

            return Instant()
        start = time.perf_counter()
        solver = clarabel.DefaultSolver(*args)
        self.setup = time.perf_counter() - start

        class Timed:
            def solve(self):
                start = time.perf_counter()
                solution = solver.solve()
                outer.solve = time.perf_counter() - start
                return solution

        return Timed()


def with_clarabel(module, fn):
    sys.modules["clarabel"] = module
    try:
        return fn()
    finally:
        sys.modules["clarabel"] = clarabel


def split_wayforge(path, m, method_value):
    """(own work, clarabel setup, clarabel solve), each the best of its runs."""
    call = lambda: path.smoothed_path_elastic_band(m, method_value)  # noqa: E731
    own, _ = with_clarabel(TimedClarabel(instant=True), lambda: best_of(call, 4 * REPEATS))
    setups, solves = [], []
    for _ in range(REPEATS):
        timed = TimedClarabel()
        with_clarabel(timed, call)
        setups.append(timed.setup)
        solves.append(timed.solve)
    return own, min(setups), min(solves)


def main():
    n = int(sys.argv[1]) if len(sys.argv) > 1 else 1000
    m = float(sys.argv[2]) if len(sys.argv) > 2 else 0.1
    points = noisy_path(n)
    try:
        import cvxpy as cp
    except ImportError:
        cp = None
    print(f"elastic band smoothing, {n} noisy points, max_deviation {m}, best of {REPEATS}")
    print(f"clarabel {clarabel.__version__}" + (f", cvxpy {cp.__version__}" if cp else ", cvxpy not installed"))
    header = f"{'method':<11} {'variant':<44} {'time [ms]':>10} {'vs wayforge':>12}"
    print(header)
    print("-" * len(header))
    methods = {"square": wayforge.ElasticBandMethod.SquareBounds,
               "orthogonal": wayforge.ElasticBandMethod.OrthogonalBounds}
    for name, value in methods.items():
        path = wayforge.Path2D(points=points.tolist())
        t_wf, result = best_of(lambda: path.smoothed_path_elastic_band(m, value))
        ours = np.array(result.points)
        t_build, problem = best_of(lambda: scipy_problem(points, m, name))
        t_direct, z = best_of(lambda: solve_direct(*problem))
        direct = np.column_stack([z[:n], z[n:2 * n]])
        rows = [("wayforge smoothed_path_elastic_band", t_wf),
                ("SciPy build of P, q, A, b", t_build),
                ("clarabel on the SciPy problem", t_direct),
                ("SciPy build + clarabel", t_build + t_direct)]
        differences = [("direct", np.abs(ours - direct).max())]
        if cp is not None:
            t_cvx, cvx = best_of(lambda: solve_cvxpy(cp, points, m, name), repeats=3)
            rows.append(("cvxpy (CLARABEL), modelling + solve", t_cvx))
            differences.append(("cvxpy", np.abs(ours - cvx).max()))
        for label, t in rows:
            print(f"{name:<11} {label:<44} {1e3 * t:>10.2f} {t / t_wf:>11.2f}x")
        own, setup, solve = split_wayforge(path, m, value)
        # The share of wayforge's time that each part takes.
        for label, t in [("  own: modelling, assembly, hand-over", own),
                         ("  clarabel setup: reads arrays, factors", setup),
                         ("  clarabel solve()", solve)]:
            print(f"{name:<11} {label:<44} {1e3 * t:>10.2f} {t / t_wf:>11.0%}")
        print(f"{name:<11} max |difference| to " +
              ", ".join(f"{label} {value:.1e}" for label, value in differences))


if __name__ == "__main__":
    main()
