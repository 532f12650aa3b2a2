// Per-point attributes derived from a path's coordinates. All differences use
// a sample spacing of 1; no path length enters tangent or curvature.
#pragma once

#include <cstddef>

#include "core/path2d.hpp"

namespace wayforge {

// Halved central differences inside, one-sided differences at both ends.
Values compute_differences(const Values& values);

// Cumulative Euclidean distance along the points, starting at 0.0.
Values compute_path_length_per_point(PointsView points);

// Heading per point from atan2 of forward, central and backward differences.
Values compute_orientation(PointsView points);

// Unit tangent per point; min(len x, len y) entries, (NaN, NaN) where the
// differences vanish.
Points compute_unit_tangent_vector(const Values& x, const Values& y);
// The same over columns of mx and my values read in place.
Points compute_unit_tangent_vector(const double* x, std::size_t mx, const double* y, std::size_t my);

// Signed curvature of the first n points; NaN where the differences vanish.
Values compute_curvature(const Values& x, const Values& y, std::size_t n);
// The same over columns of mx and my values read in place.
Values compute_curvature(const double* x, std::size_t mx, const double* y, std::size_t my,
                         std::size_t n);

}  // namespace wayforge
