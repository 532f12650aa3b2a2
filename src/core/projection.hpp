// Projection of a query point onto a path: the segment it lies in front of,
// the projected point, and the path length from the first point up to it.
#pragma once

#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "core/path2d.hpp"

namespace wayforge {

struct Projection {
    // Start point of the segment holding the projected point; n-1 only for a
    // match with the last point.
    std::size_t index = 0;
    Point point;
    // Position on the segment (0 at its start), the distance from the segment
    // start, and the distance from the query. All 0 for an end-point match.
    double fraction = 0.0;
    double offset = 0.0;
    double distance = 0.0;
};

// Two points match when they are within epsilon per coordinate (a square, not
// a circle). NaN never matches, and a negative epsilon matches nothing.
inline bool points_within(Point u, Point w, double epsilon) noexcept {
    return std::fabs(u.x - w.x) <= epsilon && std::fabs(u.y - w.y) <= epsilon;
}

// A key whose unsigned order is the IEEE 754 total order of the doubles:
// -NaN < -inf < ... < -0.0 < +0.0 < ... < +inf < +NaN.
inline std::uint64_t total_order_key(double value) noexcept {
    const auto bits = std::bit_cast<std::uint64_t>(value);
    constexpr std::uint64_t sign = std::uint64_t{1} << 63;
    return (bits & sign) ? ~bits : (bits | sign);
}

// The nearest projection of q onto the segments of the path, or the first or
// last point when q lies within epsilon of it (the first is tested first).
// A segment takes q only when its parameter t lies in [0, 1); the smallest
// distance wins, the earlier segment on a tie. One pass, no allocation.
std::optional<Projection> nearest_projection(const Path2D& path, Point q, double epsilon);

// The path length from the first point to q's projection, measured with q's
// own position along the segment found. Fills the path length cell.
std::optional<double> path_length_from_point(Path2D& path, Point q, double epsilon);

}  // namespace wayforge
