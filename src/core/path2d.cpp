#include "core/path2d.hpp"

#include <algorithm>
#include <ranges>

#include "core/attributes.hpp"

namespace wayforge {

Path2D Path2D::from_points(Points points) {
    Path2D path;
    // Each list is built from a view of one coordinate, in one allocation and
    // one pass, without first writing zeros over it.
    const auto xs = points | std::views::transform(&Point::x);
    const auto ys = points | std::views::transform(&Point::y);
    path.x.assign(xs.begin(), xs.end());
    path.y.assign(ys.begin(), ys.end());
    return path;
}

Path2D Path2D::from_coordinates(Values x, Values y) {
    Path2D path;
    path.x = std::move(x);
    path.y = std::move(y);
    return path;
}

const Values& Path2D::path_length_per_point() {
    return path_length_per_point_cell.get_or_init(
        [&] { return compute_path_length_per_point(points()); });
}

double Path2D::length() {
    const Values& s = path_length_per_point();
    return s.empty() ? 0.0 : s.back();
}

const Values& Path2D::orientation() {
    return orientation_cell.get_or_init([&] { return compute_orientation(points()); });
}

const Points& Path2D::unit_tangent_vector() {
    return unit_tangent_vector_cell.get_or_init([&] { return compute_unit_tangent_vector(x, y); });
}

const Values& Path2D::curvature() {
    return curvature_cell.get_or_init([&] { return compute_curvature(x, y, size()); });
}

const SegmentIndex& Path2D::segment_index() {
    return segment_index_cell.get_or_init(
        [&] { return SegmentIndex::build(x.data(), y.data(), size()); });
}

std::variant<std::size_t, std::string> Path2D::add_associated_values(Values values) {
    if (values.size() != size()) {
        return "The associated value has length " + std::to_string(values.size()) +
               ", although " + std::to_string(size()) + " was expected";
    }
    associated_values.push_back(std::move(values));
    return associated_values.size() - 1;
}

const Values* Path2D::associated_value(std::size_t handle) const noexcept {
    return handle < associated_values.size() ? &associated_values[handle] : nullptr;
}

}  // namespace wayforge
