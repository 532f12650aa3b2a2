// The path record: the coordinate lists (the points are derived from them),
// four lazily computed per-point attributes, an index over the segments and
// the caller's associated value lists.
#pragma once

#include <algorithm>
#include <atomic>
#include <compare>
#include <cstddef>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "core/segment_index.hpp"

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

// The points of a path, read from its two coordinate lists: point i is
// (x[i], y[i]) for i < n. Each coordinate is held once, in the lists; a point
// is made when it is read. Valid while the lists it was taken from are.
class PointsView {
public:
    class iterator {
    public:
        using iterator_category = std::random_access_iterator_tag;
        using value_type = Point;
        using difference_type = std::ptrdiff_t;
        using pointer = void;
        using reference = Point;

        iterator() = default;
        iterator(const double* x, const double* y, std::size_t i) : x_(x), y_(y), i_(i) {}
        Point operator*() const { return Point{x_[i_], y_[i_]}; }
        Point operator[](difference_type k) const { return *(*this + k); }
        iterator& operator++() { ++i_; return *this; }
        iterator operator++(int) { iterator old = *this; ++i_; return old; }
        iterator& operator--() { --i_; return *this; }
        iterator operator--(int) { iterator old = *this; --i_; return old; }
        iterator& operator+=(difference_type k) { i_ += static_cast<std::size_t>(k); return *this; }
        iterator& operator-=(difference_type k) { i_ -= static_cast<std::size_t>(k); return *this; }
        friend iterator operator+(iterator a, difference_type k) { return a += k; }
        friend iterator operator+(difference_type k, iterator a) { return a += k; }
        friend iterator operator-(iterator a, difference_type k) { return a -= k; }
        friend difference_type operator-(const iterator& a, const iterator& b) {
            return static_cast<difference_type>(a.i_) - static_cast<difference_type>(b.i_);
        }
        friend bool operator==(const iterator& a, const iterator& b) { return a.i_ == b.i_; }
        friend auto operator<=>(const iterator& a, const iterator& b) { return a.i_ <=> b.i_; }

    private:
        const double* x_ = nullptr;
        const double* y_ = nullptr;
        std::size_t i_ = 0;
    };

    PointsView() = default;
    PointsView(const double* x, const double* y, std::size_t n) noexcept : x_(x), y_(y), n_(n) {}

    std::size_t size() const noexcept { return n_; }
    bool empty() const noexcept { return n_ == 0; }
    Point operator[](std::size_t i) const noexcept { return Point{x_[i], y_[i]}; }
    Point front() const noexcept { return (*this)[0]; }
    Point back() const noexcept { return (*this)[n_ - 1]; }
    iterator begin() const noexcept { return iterator(x_, y_, 0); }
    iterator end() const noexcept { return iterator(x_, y_, n_); }
    // The coordinate columns, n values each.
    const double* x() const noexcept { return x_; }
    const double* y() const noexcept { return y_; }

    // A list of the points, for callers that need one of their own.
    Points to_points() const { return Points(begin(), end()); }

    friend bool operator==(const PointsView& a, const PointsView& b) {
        return std::equal(a.begin(), a.end(), b.begin(), b.end());
    }
    friend bool operator==(const PointsView& a, const Points& b) {
        return std::equal(a.begin(), a.end(), b.begin(), b.end());
    }

private:
    const double* x_ = nullptr;
    const double* y_ = nullptr;
    std::size_t n_ = 0;
};

class Path2D {
public:
    // The coordinate lists as given. The path has min(len x, len y) points;
    // a surplus of the longer list is kept and never forms a point.
    Values x;
    Values y;
    LazyCell<Values> path_length_per_point_cell;
    LazyCell<Values> orientation_cell;
    LazyCell<Points> unit_tangent_vector_cell;
    LazyCell<Values> curvature_cell;
    LazyCell<SegmentIndex> segment_index_cell;
    std::vector<Values> associated_values;

    // Takes the points apart into x and y, which then have one value a point.
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

    std::size_t size() const noexcept { return std::min(x.size(), y.size()); }
    // The points, read from x and y; valid until the record changes or ends.
    PointsView points() const noexcept { return PointsView(x.data(), y.data(), size()); }

    // Lazily computed attributes: computed on first read, then cached.
    const Values& path_length_per_point();
    double length();
    const Values& orientation();
    const Points& unit_tangent_vector();
    const Values& curvature();
    // The tree over the segments that nearest-point queries search.
    const SegmentIndex& segment_index();

    // Appends a value list of one value per point and returns its handle, or
    // the error text when its length is not the number of points.
    std::variant<std::size_t, std::string> add_associated_values(Values values);
    // The value list with this handle, or nullptr when there is none.
    const Values* associated_value(std::size_t handle) const noexcept;
};

}  // namespace wayforge
