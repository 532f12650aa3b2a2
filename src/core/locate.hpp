// Vectorised queries against one path: the nearest point of the path for
// many query points, and the position and associated values at many path
// lengths. Both write into arrays the caller owns and keep no state between
// calls, so several threads may query the same path at once.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/path2d.hpp"

namespace wayforge {

// For each query (qx[i], qy[i]), i < m, the nearest point of the path over
// all segments, the smallest segment number among equally near ones: its
// path length from the first point, the segment, the signed distance
// (positive to the left of the direction of travel) and the point, written to
// length[i], segment[i], offset[i], point_xy[2i] and point_xy[2i + 1]. A
// one-point path answers with its point (segment 0, unsigned distance). A
// non-finite query, an empty path or one without a finite segment gives NaN
// and segment -1. Builds the path's segment index and path lengths once.
void locate_points(Path2D& path, const double* qx, const double* qy, std::size_t m,
                   double* length, std::int64_t* segment, double* offset, double* point_xy);

// For each path length lengths[i], i < m, the point and every associated
// value list, interpolated linearly over the path length per point exactly as
// numpy.interp(lengths, s, column) computes them (so lengths before 0 give the
// first point and lengths past the end the last). Writes points_xy[2i],
// points_xy[2i + 1] and values[i * k + c] for the k associated value lists. A
// NaN length, or an empty path, gives a row of NaN.
void interpolate_at_lengths(Path2D& path, const double* lengths, std::size_t m,
                            double* points_xy, double* values);

}  // namespace wayforge
