// Resampling of a path at evenly spaced path lengths.
#pragma once

#include "core/method_values.hpp"
#include "core/path2d.hpp"

namespace wayforge {

// A new path whose points lie at evenly spaced path lengths along `path`,
// interpolated linearly or with Catmull-Rom cubics over the path length; every
// associated value list is resampled alike and keeps its handle. A path of
// fewer than two points is copied whole. Only the cached path length per
// point of `path` may change.
//
// ByNumberPoints(k) samples k positions from 0 to the total length L.
// BySamplingDistance(d, drop_last) samples 0, d, 2d, ... up to the last whole
// multiple of d not beyond L, and then L itself unless drop_last is set or
// the last position is within epsilon of L. A sampling distance that is not
// positive is an internal error.
Path2D resampled_path(Path2D& path, const ResamplingMethod& method, InterpolationMethod type,
                      double epsilon);

}  // namespace wayforge
