"""The rows of benchmarks/run.py for two builds of wayforge, side by side, in
one run on one machine.

The installed module is "after"; "before" is another build of the module (a
directory holding its extension file, for example one built from an earlier
commit). Python cannot load two modules named wayforge into one process, so
each measurement runs in a child process, and the children of the two builds
take turns: a busy machine slows both alike. Each child times wayforge beside
the same peers as run.py does, in the same way; the table shows, per row,
the median over the children of each build.

Run: python benchmarks/before_after.py --before DIR [--only WORD ...] [--repeats 3]
"""

import argparse
import json
import os
import statistics
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))

# The rows the lean record and the fused kernels are about, and the
# neighbours that must not get slower.
DEFAULT_ROWS = (
    "construct from (n, 2) float64 array",
    "construct from list of [x, y] lists",
    "points (list of [x, y] lists)",
    "points_np",
    "path_length_per_point (first read)",
    "orientation (first read)",
    "unit_tangent_vector (first read)",
    "curvature (first read)",
    "detect_corrupted_point_order",
    "resampled_path linear, n -> n points",
    "resampled_path cubic, n -> n points",
    "index_from_point (one query)",
    "path_length_from_point (one query)",
    "sub_path, 25% to 75% of the length",
    "smoothed_path_chaikin, 2 iterations",
)


def child(names, n, rounds, budget):
    sys.path.insert(0, HERE)
    import run

    import wayforge

    out = {"module": wayforge.__file__, "rows": []}
    args = argparse.Namespace(rounds=rounds, budget=budget, verbose=False)
    for case in run.case_list():
        if case.name not in names:
            continue
        saved = case.sizes
        case.sizes = (n,)
        try:
            for r in run.run_case(case, args):
                out["rows"].append([r.case, r.peer, r.ours, r.peer_time, r.ours_peak, r.peer_peak])
        finally:
            case.sizes = saved
    held, peak, lists = run.held_memory(n)
    out["memory"] = [held, peak, lists]
    print(json.dumps(out))


def spawn(before_dir, names, n, rounds, budget):
    env = dict(os.environ)
    if before_dir is not None:
        env["PYTHONPATH"] = os.path.abspath(before_dir) + (os.pathsep + env["PYTHONPATH"] if env.get("PYTHONPATH") else "")
    cmd = [sys.executable, os.path.abspath(__file__), "--child", "--n", str(n), "--rounds", str(rounds),
           "--budget", str(budget), "--only", *names]
    done = subprocess.run(cmd, env=env, capture_output=True, text=True, check=True)
    return json.loads(done.stdout.strip().splitlines()[-1])


def fmt_time(seconds):
    if seconds is None:
        return "-"
    if seconds < 1e-3:
        return f"{seconds * 1e6:.1f} µs"
    return f"{seconds * 1e3:.2f} ms"


def median_rows(results):
    """{(case, peer): (ours, peer_time, ours_peak, peer_peak)} medians."""
    table = {}
    for result in results:
        for case, peer, ours, peer_time, ours_peak, peer_peak in result["rows"]:
            table.setdefault((case, peer), []).append((ours, peer_time, ours_peak, peer_peak))

    def med(values):
        values = [v for v in values if v is not None]
        return statistics.median(values) if values else None

    return {key: tuple(med(column) for column in zip(*samples)) for key, samples in table.items()}


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--before", help="directory holding the earlier build of the module")
    parser.add_argument("--only", nargs="*", default=None, help="operations by their full name in run.py")
    parser.add_argument("--n", type=int, default=10**6)
    parser.add_argument("--repeats", type=int, default=3, help="children per build, taking turns")
    parser.add_argument("--rounds", type=int, default=11)
    parser.add_argument("--budget", type=float, default=1.0)
    parser.add_argument("--child", action="store_true", help=argparse.SUPPRESS)
    args = parser.parse_args()
    names = tuple(args.only) if args.only else DEFAULT_ROWS
    if args.child:
        child(names, args.n, args.rounds, args.budget)
        return
    if not args.before:
        parser.error("--before DIR is required")

    load_start = os.getloadavg()
    results = {"before": [], "after": []}
    modules = {}
    for _ in range(args.repeats):
        for label, directory in (("before", args.before), ("after", None)):
            result = spawn(directory, names, args.n, args.rounds, args.budget)
            modules[label] = result["module"]
            results[label].append(result)
    load_end = os.getloadavg()

    print(f"## Before and after at n = {args.n:,}\n")
    print(f"- before: {modules['before']}")
    print(f"- after: {modules['after']}")
    print(f"- {args.repeats} child processes per build, taking turns; medians over them")
    print(f"- load average (1, 5, 15 min): {load_start[0]:.2f} {load_start[1]:.2f} {load_start[2]:.2f} at the start, "
          f"{load_end[0]:.2f} {load_end[1]:.2f} {load_end[2]:.2f} at the end\n")
    before, after = median_rows(results["before"]), median_rows(results["after"])
    print("| operation | peer | before | after | peer time | ratio before | ratio after | peak MiB before | peak MiB after |")
    print("|---|---|---|---|---|---|---|---|---|")
    for key in after:
        case, peer = key
        b = before.get(key, (None, None, None, None))
        a = after[key]
        # Each build's ratio is taken against the peer timed in its own
        # children; the peer time shown is that of the later build.
        peer_time = a[1]

        def ratio(row):
            return f"{row[0] / row[1]:.2f}" if row[0] and row[1] else "-"

        def mib(value):
            return "-" if value is None else f"{value / 2**20:.1f}"

        print(f"| {case} | {peer} | {fmt_time(b[0])} | {fmt_time(a[0])} | {fmt_time(peer_time)} | "
              f"{ratio(b)} | {ratio(a)} | {mib(b[2])} | {mib(a[2])} |")
    for label in ("before", "after"):
        held = statistics.median(r["memory"][0] for r in results[label])
        peak = statistics.median(r["memory"][1] for r in results[label])
        lists = results[label][0]["memory"][2]
        print(f"\n{label}: a path with its four attributes read holds {held / 2**20:.1f} MiB = "
              f"{held / lists:.2f}x the 72 B/pt of seven lists (peak {peak / lists:.2f}x)", end="")
    print()


if __name__ == "__main__":
    main()
