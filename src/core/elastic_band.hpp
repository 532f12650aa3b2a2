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
//
// The solver is handed the problem in coordinates relative to the first
// point. Its answer is checked against the problem (finite, end points in
// place, every point within its bound, within the solver's tolerance relative
// to the problem's magnitude); when the solve fails or the answer does not
// hold, the problem is solved once more scaled to unit magnitude and checked
// again, and nothing is returned when that fails too.
std::optional<Path2D> smoothed_path_elastic_band(Path2D& path, double max_deviation,
                                                 ElasticBandMethod method, qp::Solver& solver);

}  // namespace wayforge
