// Detection and repair of a corrupted point order: places where the path
// turns back sharply, at points that progress in the wrong direction.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/path2d.hpp"

namespace wayforge {

// Inner points (ascending) at which the heading changes by at least
// sus_angle, the change folded into [0, pi]. A NaN turn is never flagged.
std::vector<std::size_t> detect_corrupted_point_order(const Path2D& path, double sus_angle);
std::vector<std::size_t> detect_corrupted_point_order(PointsView points, double sus_angle);

// The points that the repair removes, marked 1, one mark per point; empty
// when none is removed.
std::vector<std::uint8_t> points_out_of_order(PointsView points, double sus_angle);

// A copy of the path (derived attributes not carried over) from which the
// flagged points are removed, from points, x, y and every associated value
// list, again and again until no point is flagged.
Path2D repair_corrupted_point_order(const Path2D& path, double sus_angle);

}  // namespace wayforge
