// Decomposition of a path into circular arcs within an RMSE bound, and the
// per-point curvature of those arcs.
#pragma once

#include <cstddef>
#include <vector>

#include "core/path2d.hpp"

namespace wayforge {

// The half-open point range [first, end) and the curvature 1 / radius of the
// circle fitted to it (0.0 for fewer than three points).
struct CircleSegment {
    std::size_t first;
    std::size_t end;
    double curvature;
    friend bool operator==(const CircleSegment&, const CircleSegment&) = default;
};

// Segments tiling [start, end) in order, each fitted with an rmse of at most
// max_rmse, found by bisection with one merge attempt at each seam. A range of
// fewer than three points is returned as one segment without looking at the
// path; a reversed range or one beyond the coordinates is an internal error.
std::vector<CircleSegment> find_circle_segments(const Path2D& path, std::size_t start,
                                                std::size_t end, double max_rmse);

// The curvature of the segment holding each point, one value per x value.
Values compute_circle_fit_curvature(const Path2D& path, double max_rmse);

}  // namespace wayforge
