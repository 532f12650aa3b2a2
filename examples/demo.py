"""A tour of wayforge on a built-in sample: a noisy vehicle track.

The track is a road of straights and two curves (radius 30 m to the left, 20 m to
the right), logged by a GPS receiver every 0.25 s with 0.25 m of noise, three pairs
of neighbouring fixes swapped, and the vehicle's speed at every fix. The tour
repairs the point order, resamples, smooths, estimates the curvature, cuts a
sub-path and projects a query point, prints a short report and draws a figure.

    python examples/demo.py [--output build/demo.png]

The report needs only wayforge and NumPy; the figure needs matplotlib (the
`demo` extra) and is skipped with a note when it is missing.
"""

from __future__ import annotations

import argparse
import math
import sys
from pathlib import Path

import numpy as np

import wayforge
from wayforge import ElasticBandMethod, InterpolationMethod, Path2D, ResamplingMethod

DEFAULT_OUTPUT = Path(__file__).resolve().parent.parent / "build" / "demo.png"

# The road: (length in m, signed curvature in 1/m); left turns are positive.
ROAD = [(60.0, 0.0), (30.0 * math.pi / 2, 1 / 30), (40.0, 0.0), (20.0 * math.pi / 2, -1 / 20), (50.0, 0.0)]
GPS_PERIOD = 0.25  # s between fixes
GPS_NOISE = 0.25  # m, standard deviation per coordinate
SWAPPED = [14, 40, 70]  # fix i and i + 1 are logged in the wrong order
QUERY = (118.0, 38.0)  # a point beside the road, say a parked car


def road_curvature(s: np.ndarray) -> np.ndarray:
    """The true curvature of the road at path lengths s."""
    ends = np.cumsum([length for length, _ in ROAD])
    kappa = np.array([k for _, k in ROAD])
    return kappa[np.minimum(np.searchsorted(ends, s, side="right"), len(ROAD) - 1)]


def road_point(s: float) -> tuple[float, float, float]:
    """Position and heading at path length s, integrating the road's pieces."""
    x = y = heading = 0.0
    for length, k in ROAD:
        step = min(s, length)
        if k == 0.0:
            x += step * math.cos(heading)
            y += step * math.sin(heading)
        else:
            x += (math.sin(heading + k * step) - math.sin(heading)) / k
            y -= (math.cos(heading + k * step) - math.cos(heading)) / k
        heading += k * step
        s -= step
        if s <= 0.0:
            break
    return x, y, heading


def speed_at(s: float) -> float:
    """Cruise at 13 m/s, slow to sqrt(2.5 m/s² · R) in curves, easing over 20 m."""
    window = np.linspace(s - 20.0, s + 20.0, 41)
    kappa = np.abs(road_curvature(np.clip(window, 0.0, None)))
    limit = np.where(kappa > 0, np.sqrt(2.5 / np.maximum(kappa, 1e-12)), 13.0)
    return float(np.mean(np.minimum(limit, 13.0)))


def sample_track(seed: int = 7) -> tuple[np.ndarray, np.ndarray, np.ndarray]:
    """GPS fixes (x, y) and speeds along the road, noisy, with swapped neighbours."""
    rng = np.random.default_rng(seed)
    total = sum(length for length, _ in ROAD)
    s, positions, speeds = 0.0, [], []
    while s <= total:
        v = speed_at(s)
        positions.append(road_point(s)[:2])
        speeds.append(v)
        s += v * GPS_PERIOD
    xy = np.array(positions) + rng.normal(0.0, GPS_NOISE, (len(positions), 2))
    speeds = np.array(speeds) + rng.normal(0.0, 0.1, len(speeds))
    for i in SWAPPED:
        xy[[i, i + 1]] = xy[[i + 1, i]]
        speeds[[i, i + 1]] = speeds[[i + 1, i]]
    return xy[:, 0], xy[:, 1], speeds


def rms(values: np.ndarray) -> float:
    values = values[np.isfinite(values)]
    return float(np.sqrt(np.mean(values * values)))


def tour() -> dict:
    """Runs every operation on the sample and returns what the report and figure show."""
    x, y, speeds = sample_track()
    raw = Path2D(x=x, y=y)  # NumPy arrays are accepted wherever a sequence is
    speed = raw.add_associated_values(speeds)  # a handle; the values travel with the path
    r: dict = {"raw": raw, "speed": speed}

    # Point order: the swapped fixes turn the path back on itself.
    r["suspicious"] = raw.detect_corrupted_point_order()  # default sus_angle 2.8 rad
    repaired = raw.repair_corrupted_point_order()
    r["repaired"] = repaired

    # Resampling over path length: every 2 m, and to a fixed count.
    every_2m = ResamplingMethod.by_sampling_distance(2.0, drop_last=False)
    r["linear"] = repaired.resampled_path(every_2m)  # InterpolationMethod.Linear by default
    r["cubic"] = repaired.resampled_path(every_2m, InterpolationMethod.Cubic)
    r["count"] = repaired.resampled_path(ResamplingMethod.by_number_points(100), InterpolationMethod.Cubic)

    # Smoothing: an elastic band within 0.6 m of the resampled points, and Chaikin.
    r["band"] = r["cubic"].smoothed_path_elastic_band(0.6, ElasticBandMethod.OrthogonalBounds)
    r["chaikin"] = repaired.smoothed_path_chaikin(3)

    # Curvature: finite differences amplify the noise; circle fitting does not.
    smooth = r["band"] if r["band"] is not None else r["cubic"]
    r["smooth"] = smooth
    r["fit_curvature"] = np.array(smooth.compute_circle_fit_curvature(max_rmse=0.15))
    r["segments"] = smooth.find_circle_segments(0, len(smooth.points), max_rmse=0.15)

    # The first curve alone, and where a query point lies along the track.
    start = road_point(55.0)[:2]
    end = road_point(60.0 + 30.0 * math.pi / 2 + 5.0)[:2]
    r["curve"] = repaired.sub_path(start=start, end=end)
    r["query_index"] = repaired.index_from_point(QUERY)
    r["query_length"] = repaired.path_length_from_point(QUERY)
    return r


def report(r: dict) -> None:
    raw, repaired, speed = r["raw"], r["repaired"], r["speed"]
    print(f"wayforge: {wayforge.__doc__}")
    print(f"sample track: {len(raw.points)} GPS fixes over {raw.length:.1f} m, speeds as associated values #{speed}")
    print(f"repair: suspicious fixes {r['suspicious']} (turns of at least 2.8 rad);")
    print(f"        removed {len(raw.points) - len(repaired.points)}, length {repaired.length:.1f} m, "
          f"speeds kept for {len(repaired.associated_values(speed))} fixes")
    for name, label in [("linear", "every 2 m, linear"), ("cubic", "every 2 m, cubic"), ("count", "100 points, cubic")]:
        p = r[name]
        gaps = np.hypot(*np.diff(p.points_np, axis=0).T)
        print(f"resampled {label:18s}: {len(p.points):4d} points, length {p.length:6.1f} m, "
              f"chords {gaps.min():.2f}..{gaps.max():.2f} m, speed at the end {p.associated_values(speed)[-1]:.1f} m/s")
    band = r["band"]
    if band is None:
        print("elastic band: the solver did not converge (None); continuing with the cubic resampling")
    else:
        moved = np.hypot(*(band.points_np - r["cubic"].points_np).T)
        print(f"elastic band (0.6 m, orthogonal bounds): points moved by {moved.mean():.2f} m on average, "
              f"at most {moved.max():.2f} m")
    chaikin = r["chaikin"]
    print(f"Chaikin, 3 iterations: {len(repaired.points)} -> {len(chaikin.points)} points, length {chaikin.length:.1f} m")

    smooth = r["smooth"]
    s = smooth.path_length_per_point_np
    truth = road_curvature(s)
    finite = r["repaired"].curvature_np
    truth_raw = road_curvature(r["repaired"].path_length_per_point_np)
    curved = [(a, b, k) for a, b, k in r["segments"] if k > 0.01]
    print(f"curvature error (rms, 1/m): finite differences on the repaired fixes {rms(finite - truth_raw):.3f}, "
          f"on the smoothed path {rms(smooth.curvature_np - truth):.3f}, "
          f"circle fit {rms(r['fit_curvature'] - np.abs(truth)):.3f}")
    print(f"circle segments (max_rmse 0.15): {len(r['segments'])}, curved ones (radius in m): "
          + ", ".join(f"{1 / k:.0f} over {s[min(b, len(s)) - 1] - s[a]:.0f} m" for a, b, k in curved))
    curve = r["curve"]
    if curve is None:
        print("sub-path of the first curve: None (a query point was not on the track)")
    else:
        v = curve.associated_values(speed)
        print(f"sub-path of the first curve: {len(curve.points)} points, {curve.length:.1f} m, "
              f"speed {min(v):.1f}..{max(v):.1f} m/s")
    if r["query_index"] is None:
        print(f"query {QUERY}: beyond the track (None)")
    else:
        print(f"query {QUERY}: in front of fix {r['query_index']}, {r['query_length']:.1f} m along the track")


def figure(r: dict, output: Path) -> bool:
    """Draws the paths and the curvatures; False when matplotlib is missing."""
    try:
        import matplotlib

        matplotlib.use("Agg")
        import matplotlib.pyplot as plt
    except ImportError:
        return False

    raw, repaired, smooth, speed = r["raw"], r["repaired"], r["smooth"], r["speed"]
    fig = plt.figure(figsize=(12, 10), layout="constrained")
    grid = fig.add_gridspec(3, 3, height_ratios=[1.5, 1, 0.8])
    ax_map = fig.add_subplot(grid[0, :2])
    zooms = grid[0, 2].subgridspec(2, 1)
    ax_zoom = fig.add_subplot(zooms[0])
    ax_bend = fig.add_subplot(zooms[1])
    ax_k = fig.add_subplot(grid[1, :])
    ax_v = fig.add_subplot(grid[2, :], sharex=ax_k)

    def draw_paths(ax):
        ax.plot(*raw.points_np.T, ".", color="0.55", ms=4, label="GPS fixes")
        ax.plot(*raw.points_np.T, "-", color="crimson", lw=0.6, alpha=0.6, label="in logged order")
        bad = raw.points_np[r["suspicious"]]
        ax.plot(*bad.T, "x", color="crimson", ms=8, mew=2, label="swapped (detected)")
        ax.plot(*repaired.points_np.T, "-", color="0.3", lw=0.8, label="repaired")
        ax.plot(*r["cubic"].points_np.T, "-", color="tab:blue", lw=1.2, label="resampled every 2 m, cubic")
        if r["band"] is not None:
            ax.plot(*r["band"].points_np.T, "-", color="tab:green", lw=1.8, label="elastic band, 0.6 m")
        ax.plot(*r["chaikin"].points_np.T, "--", color="tab:orange", lw=1.2, label="Chaikin, 3 iterations")
        if r["curve"] is not None:
            ax.plot(*r["curve"].points_np.T, "-", color="tab:purple", lw=7, alpha=0.25, label="sub-path: first curve")
        ax.set_aspect("equal")
        ax.grid(alpha=0.3)

    draw_paths(ax_map)
    ax_map.plot(*QUERY, "*", color="black", ms=12, label="query point")
    if r["query_index"] is not None:
        i = r["query_index"]
        a, b = repaired.points_np[i], repaired.points_np[i + 1]
        t = np.dot(np.subtract(QUERY, a), b - a) / np.dot(b - a, b - a)
        foot = a + t * (b - a)
        ax_map.plot([QUERY[0], foot[0]], [QUERY[1], foot[1]], ":", color="black")
        ax_map.annotate(f"{r['query_length']:.1f} m along", foot, xytext=(12, -14), textcoords="offset points")
    ax_map.set_title("Noisy vehicle track: repair, resampling, smoothing")
    ax_map.set_xlabel("x (m)")
    ax_map.set_ylabel("y (m)")
    ax_map.legend(loc="upper left", fontsize=8)

    draw_paths(ax_zoom)
    first = SWAPPED[0]
    cx, cy = raw.points_np[first]
    for i in range(first - 2, first + 4):
        ax_zoom.annotate(str(i), raw.points_np[i], xytext=(-3, 7), textcoords="offset points", fontsize=8)
    ax_zoom.set_xlim(cx - 7, cx + 7)
    ax_zoom.set_ylim(cy - 3, cy + 3)
    ax_zoom.set_title(f"Fixes {first} and {first + 1} logged swapped", fontsize=10)

    draw_paths(ax_bend)
    bx, by, _ = road_point(60.0 + 30.0 * math.pi / 2 + 40.0 + 20.0 * math.pi / 4)
    ax_bend.set_xlim(bx - 8, bx + 8)
    ax_bend.set_ylim(by - 6, by + 6)
    ax_bend.set_title("Second curve (radius 20 m)", fontsize=10)

    s_raw = repaired.path_length_per_point_np
    s = smooth.path_length_per_point_np
    dense = np.linspace(0.0, s[-1], 2000)
    # Circle-fit curvature is unsigned, so every curve is drawn as a magnitude.
    ax_k.plot(s_raw, np.abs(repaired.curvature_np), color="0.6", lw=0.8, label="finite differences, repaired fixes")
    ax_k.plot(s, np.abs(smooth.curvature_np), color="tab:green", lw=1.2, label="finite differences, elastic band")
    ax_k.plot(s, r["fit_curvature"], color="crimson", lw=2.2, label="circle fit, elastic band")
    ax_k.plot(dense, np.abs(road_curvature(dense)), "k--", lw=1.2, label="the road")
    ax_k.set_ylim(0, 0.1)
    ax_k.set_ylabel("|curvature| (1/m)")
    ax_k.set_title("Curvature along the track", fontsize=10)
    ax_k.legend(fontsize=8, loc="upper right", ncol=2)
    ax_k.grid(alpha=0.3)

    ax_v.plot(s_raw, repaired.associated_value_np(speed), ".", color="0.5", ms=4, label="logged at the fixes")
    cubic = r["cubic"]
    ax_v.plot(cubic.path_length_per_point_np, cubic.associated_value_np(speed), color="tab:blue", lw=1,
              label="resampled with the path")
    if r["curve"] is not None:
        start = repaired.path_length_from_point(r["curve"].points[0])
        if start is not None:
            curve = r["curve"]
            ax_v.plot(curve.path_length_per_point_np + start, curve.associated_value_np(speed), color="tab:purple",
                      lw=5, alpha=0.3, label="carried into the sub-path")
    ax_v.set_xlabel("path length (m)")
    ax_v.set_ylabel("speed (m/s)")
    ax_v.set_title("Speeds travel as associated values", fontsize=10)
    ax_v.legend(fontsize=8, loc="lower left")
    ax_v.grid(alpha=0.3)

    output.parent.mkdir(parents=True, exist_ok=True)
    fig.savefig(output, dpi=110)
    plt.close(fig)
    return True


def main(argv: list[str] | None = None) -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--output", type=Path, default=DEFAULT_OUTPUT, help="where the figure goes (PNG)")
    args = parser.parse_args(argv)
    r = tour()
    report(r)
    if figure(r, args.output):
        print(f"figure: {args.output}")
    else:
        print("figure: skipped, matplotlib is not installed (pip install 'wayforge[demo]')")
    return 0


if __name__ == "__main__":
    sys.exit(main())
