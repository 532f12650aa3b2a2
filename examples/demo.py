"""A tour of wayforge on a built-in sample path: a noisy vehicle track."""

import math
import random

import wayforge
from wayforge import Path2D


def sample_track(n=60, seed=3):
    """A gentle S-curve with a little noise, as a GPS track might look."""
    rng = random.Random(seed)
    points = []
    for i in range(n):
        s = i * 1.5
        x = s
        y = 8.0 * math.sin(s / 25.0)
        points.append([x + rng.gauss(0, 0.08), y + rng.gauss(0, 0.08)])
    return points


def main():
    points = sample_track()
    path = Path2D(points=points)
    print(f"wayforge: {wayforge.__doc__}")
    print(f"sample track: {len(path.points)} points, length {path.length:.2f} m")
    heading = path.orientation
    print(f"heading at start {math.degrees(heading[0]):.1f} deg, at end {math.degrees(heading[-1]):.1f} deg")
    curvature = path.curvature
    print(f"largest |curvature| (noisy, finite differences): {max(abs(k) for k in curvature):.3f} 1/m")


if __name__ == "__main__":
    main()
