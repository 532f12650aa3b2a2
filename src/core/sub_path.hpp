// The part of a path between two query points, with its associated values.
#pragma once

#include <optional>

#include "core/path2d.hpp"

namespace wayforge {

// Projects start (default: the first point) and end (default: the last point)
// onto the path; the projected points become the new end points and the points
// between them are kept. Each associated value list is cut alike, with values
// interpolated at the new end points, under the same handles. No result when
// the path is empty, a query has no projection, or start lies after end.
std::optional<Path2D> sub_path(const Path2D& path, std::optional<Point> start,
                               std::optional<Point> end, double epsilon);

}  // namespace wayforge
