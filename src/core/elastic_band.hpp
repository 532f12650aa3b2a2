// Elastic band smoothing: moves the interior points so that the sum of the
// squared second differences of their coordinates is as small as possible,
// with both end points fixed and every interior point kept near its origin.
#pragma once

#include <optional>

#include "core/method_values.hpp"
#include "core/path2d.hpp"
#include "qp/solver.hpp"

namespace wayforge {

// The smoothed path, or nothing when the solver reports no solution. The
// deviation of each interior point is limited by a box of half-width
// max_deviation (SquareBounds) or to max_deviation along the path's normal
// (OrthogonalBounds). Reads (and caches) the path's orientation. An empty
// path is an internal error: its end points do not exist.
std::optional<Path2D> smoothed_path_elastic_band(Path2D& path, double max_deviation,
                                                 ElasticBandMethod method, qp::Solver& solver);

}  // namespace wayforge
