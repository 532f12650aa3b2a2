// The path record: points, coordinate lists, four lazily computed per-point
// attributes and the caller's associated value lists.
#pragma once

#include <atomic>
#include <cstddef>
#include <memory>
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
// Several threads may read and fill the same cell at once (the Python layer
// computes attributes of large paths without the interpreter lock): the value
// is computed completely outside the cell and published with one
// compare-exchange of a pointer, so a reader sees either no value or a whole
// one. When two computations race, the first store wins and the other result
// is discarded; a computation that throws leaves the cell empty.
template <class T>
class LazyCell {
public:
    LazyCell() noexcept = default;
    // Copying is deep: a filled cell copies its value.
    LazyCell(const LazyCell& other) : value_(clone(other)) {}
    LazyCell(LazyCell&& other) noexcept : value_(other.value_.exchange(nullptr)) {}
    LazyCell& operator=(const LazyCell& other) {
        if (this != &other) {
            reset(clone(other));
        }
        return *this;
    }
    LazyCell& operator=(LazyCell&& other) noexcept {
        if (this != &other) {
            reset(other.value_.exchange(nullptr));
        }
        return *this;
    }
    ~LazyCell() { delete value_.load(std::memory_order_relaxed); }

    bool filled() const noexcept { return get() != nullptr; }
    const T* get() const noexcept { return value_.load(std::memory_order_acquire); }

    template <class F>
    const T& get_or_init(F&& compute) {
        if (const T* value = get()) {
            return *value;
        }
        auto computed = std::make_unique<T>(compute());
        T* expected = nullptr;
        if (value_.compare_exchange_strong(expected, computed.get(), std::memory_order_acq_rel,
                                           std::memory_order_acquire)) {
            return *computed.release();
        }
        // Another thread stored first; its value is the one every reader sees.
        return *expected;
    }

private:
    static T* clone(const LazyCell& other) {
        const T* value = other.get();
        return value != nullptr ? new T(*value) : nullptr;
    }
    void reset(T* value) noexcept { delete value_.exchange(value, std::memory_order_acq_rel); }

    std::atomic<T*> value_{nullptr};
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
