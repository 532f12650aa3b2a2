#include "core/projection.hpp"

#include <cmath>

namespace wayforge {

std::optional<Projection> nearest_projection(const Path2D& path, Point q, double epsilon) {
    const PointsView p = path.points();
    const std::size_t n = p.size();
    if (n == 0) {
        return std::nullopt;
    }
    if (points_within(q, p[0], epsilon)) {
        return Projection{0, p[0], 0.0, 0.0, 0.0};
    }
    if (points_within(q, p[n - 1], epsilon)) {
        return Projection{n - 1, p[n - 1], 0.0, 0.0, 0.0};
    }

    std::optional<Projection> best;
    std::uint64_t best_key = 0;
    // Each segment's end is the next one's start: read once, from x and y.
    const double* x = p.x();
    const double* y = p.y();
    Point a = p[0];
    for (std::size_t k = 0; k + 1 < n; ++k) {
        const Point b{x[k + 1], y[k + 1]};
        const double mx = b.x - a.x;
        const double my = b.y - a.y;
        const double squared_length = mx * mx + my * my;
        const double t = ((q.x - a.x) * mx + (q.y - a.y) * my) / squared_length;
        // The segment end belongs to the next segment as its start; a
        // zero-length segment gives NaN and is never a candidate.
        if (0.0 <= t && t < 1.0) {
            const Point point{a.x + mx * t, a.y + my * t};
            const double dx = point.x - q.x;
            const double dy = point.y - q.y;
            const double distance = std::sqrt(dx * dx + dy * dy);
            const std::uint64_t key = total_order_key(distance);
            if (!best || key < best_key) {
                best = Projection{k, point, t, std::sqrt(squared_length) * t, distance};
                best_key = key;
            }
        }
        a = b;
    }
    return best;
}

std::optional<double> path_length_from_point(Path2D& path, Point q, double epsilon) {
    const std::optional<Projection> projection = nearest_projection(path, q, epsilon);
    if (!projection) {
        return std::nullopt;
    }
    const Values& s = path.path_length_per_point();
    const PointsView p = path.points();
    const std::size_t i = projection->index;
    if (i + 1 >= p.size()) {
        return s[i];
    }
    const Point a = p[i];
    const double mx = p[i + 1].x - a.x;
    const double my = p[i + 1].y - a.y;
    const double squared_length = mx * mx + my * my;
    // Only a first-point match can land on a zero-length segment (the scan
    // never takes one). It adds no length; dividing by zero would give NaN.
    if (squared_length == 0.0) {
        return s[i];
    }
    // q's own position along the segment: after a first-point match it may
    // lie slightly before or after the first point.
    const double t = ((q.x - a.x) * mx + (q.y - a.y) * my) / squared_length;
    return s[i] + std::sqrt(squared_length) * t;
}

}  // namespace wayforge
