// Chaikin corner cutting.
#pragma once

#include <cstdint>

#include "core/path2d.hpp"

namespace wayforge {

// Each iteration replaces every segment by its points at one and three
// quarters and re-inserts the path's first and last points, doubling the point
// count: n points give n * 2^num_iterations. A path of fewer than two points
// is returned as a deep copy. A size that cannot be represented or allocated
// throws std::length_error or std::bad_alloc before any work is done.
Path2D smoothed_path_chaikin(const Path2D& path, std::uint64_t num_iterations);

}  // namespace wayforge
