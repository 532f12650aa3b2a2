// The path record: points, coordinate lists, four lazily computed per-point
// attributes and the caller's associated value lists.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace wayforge {

struct Point {
    double x = 0.0;
    double y = 0.0;
    friend bool operator==(const Point&, const Point&) = default;
};

using Values = std::vector<double>;
using Points = std::vector<Point>;

// A cell that is filled at most once, on first read, and never cleared.
// The value is computed completely before it is stored, so a computation that
// throws leaves the cell empty.
template <class T>
class LazyCell {
public:
    bool filled() const noexcept { return value_.has_value(); }
    const T* get() const noexcept { return value_ ? &*value_ : nullptr; }

    template <class F>
    const T& get_or_init(F&& compute) {
        if (!value_) {
            T computed = compute();
            value_.emplace(std::move(computed));
        }
        return *value_;
    }

private:
    std::optional<T> value_;
};

class Path2D {
public:
    Points points;
    Values x;
    Values y;
    LazyCell<Values> path_length_per_point_cell;
    LazyCell<Values> orientation_cell;
    LazyCell<Points> unit_tangent_vector_cell;
    LazyCell<Values> curvature_cell;
    std::vector<Values> associated_values;

    // Takes the points; x and y are their coordinates.
    static Path2D from_points(Points points);
    // Takes both lists unchanged; the path has min(len x, len y) points and a
    // surplus of the longer list is kept (it never forms a point).
    static Path2D from_coordinates(Values x, Values y);

    // Copy construction is the deep copy: every list and every filled cell.
    Path2D() = default;
    Path2D(const Path2D&) = default;
    Path2D(Path2D&&) noexcept = default;
    Path2D& operator=(const Path2D&) = default;
    Path2D& operator=(Path2D&&) noexcept = default;

    std::size_t size() const noexcept { return points.size(); }

    // Lazily computed attributes: computed on first read, then cached.
    const Values& path_length_per_point();
    double length();
    const Values& orientation();
    const Points& unit_tangent_vector();
    const Values& curvature();

    // Appends a value list of one value per point and returns its handle, or
    // the error text when its length is not the number of points.
    std::variant<std::size_t, std::string> add_associated_values(Values values);
    // The value list with this handle, or nullptr when there is none.
    const Values* associated_value(std::size_t handle) const noexcept;
};

}  // namespace wayforge
