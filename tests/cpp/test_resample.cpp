#include <cmath>
#include <limits>
#include <new>
#include <stdexcept>
#include <string>

#include "check.hpp"
#include "core/panic.hpp"
#include "core/resample.hpp"

using namespace wayforge;

namespace {

constexpr auto Linear = InterpolationMethod::Linear;
constexpr auto Cubic = InterpolationMethod::Cubic;

ResamplingMethod points(std::size_t n) { return ResamplingMethod::by_number_points(n); }
ResamplingMethod every(double d, bool drop_last) {
    return ResamplingMethod::by_sampling_distance(d, drop_last);
}

// A straight path along x, so that the result's x are its sampling positions.
Path2D straight(double length) { return Path2D::from_points({{0, 0}, {length, 0}}); }

Values xs(Path2D source, const ResamplingMethod& m, double epsilon = 0.01) {
    return resampled_path(source, m, Linear, epsilon).x;
}

std::string panic_message(Path2D source, const ResamplingMethod& m) {
    try {
        (void)resampled_path(source, m, Linear, 0.01);
    } catch (const Panic& e) {
        return e.message();
    }
    return "<no panic>";
}

}  // namespace

TEST(two_point_path_by_number_of_points) {
    Path2D p = straight(10);
    CHECK(resampled_path(p, points(5), Linear, 0.01).x == (Values{0, 2.5, 5, 7.5, 10}));
    // The pads shape even a straight two-point path.
    const Path2D c = resampled_path(p, points(5), Cubic, 0.01);
    const Values expected{0, 2.3726274, 4.8876124, 7.4587912, 10};
    CHECK_EQ(c.x.front(), 0.0);
    CHECK_EQ(c.x.back(), 10.0);
    for (int i = 1; i < 4; ++i) CHECK_NEAR(c.x[i], expected[i], 1e-7);
    for (const Point& q : c.points()) CHECK_EQ(q.y, 0.0);
}

TEST(corner_path_with_nine_points) {
    Path2D p = Path2D::from_points({{0, 0}, {1, 0}, {2, 0}, {2, 1}, {2, 2}});
    const Path2D c = resampled_path(p, points(9), Cubic, 0.01);
    CHECK_EQ(c.size(), 9u);
    CHECK(c.points()[3] == (Point{1.5625, -0.0625}));
    CHECK(c.points()[5] == (Point{2.0625, 0.4375}));
    const Path2D l = resampled_path(p, points(9), Linear, 0.01);
    CHECK(l.points()[3] == (Point{1.5, 0}));
    CHECK(l.points()[5] == (Point{2, 0.5}));
    // x, y and points agree.
    for (std::size_t i = 0; i < c.size(); ++i) CHECK(c.points()[i] == (Point{c.x[i], c.y[i]}));
}

TEST(one_and_two_points_and_exact_end_points) {
    Path2D p = Path2D::from_points({{0.1, 0.7}, {1.3, 2.9}, {4.7, 3.1}});
    for (auto kind : {Linear, Cubic}) {
        const Path2D one = resampled_path(p, points(1), kind, 0.01);
        CHECK(one.points() == (Points{{4.7, 3.1}}));
        CHECK(resampled_path(p, points(2), kind, 0.01).points() == (Points{{0.1, 0.7}, {4.7, 3.1}}));
        const Path2D many = resampled_path(p, points(17), kind, 0.01);
        CHECK(many.points().front() == p.points().front());
        CHECK(many.points().back() == p.points().back());
        CHECK(resampled_path(p, every(0.3, true), kind, 0.01).points().front() == p.points().front());
    }
}

TEST(sampling_distance_grid_and_last_point) {
    CHECK(xs(straight(10), every(3, true)) == (Values{0, 3, 6, 9}));
    CHECK(xs(straight(10), every(3, false)) == (Values{0, 3, 6, 9, 10}));
    CHECK(xs(straight(10), every(2.5, true)) == (Values{0, 2.5, 5, 7.5, 10}));
    CHECK(xs(straight(10), every(2.5, false)) == (Values{0, 2.5, 5, 7.5, 10}));
    // The end counts as reached within epsilon (strictly greater appends).
    CHECK_EQ(xs(straight(10.005), every(2.5, false)).back(), 10.0);
    CHECK_EQ(xs(straight(10.005), every(2.5, false), 0.001).back(), 10.005);
    // A negative epsilon appends the end even when the grid already reached it.
    CHECK(xs(straight(10), every(2.5, false), -1) == (Values{0, 2.5, 5, 7.5, 10, 10}));
    // A distance longer than the path.
    CHECK(xs(straight(4), every(5, true)) == (Values{0}));
    CHECK(xs(straight(4), every(5, false)) == (Values{0, 4}));
}

TEST(sampling_distance_floor_has_no_tolerance) {
    // 0.3 / 0.1 is 2.9999999999999996, so the grid stops at 0.2.
    CHECK_EQ(xs(straight(0.3), every(0.1, true)).size(), 3u);
    const Values with_end = xs(straight(0.3), every(0.1, false));
    CHECK_EQ(with_end.size(), 4u);
    CHECK_EQ(with_end.back(), 0.3);
}

TEST(coincident_points) {
    Path2D p = Path2D::from_points({{1, 2}, {1, 2}, {1, 2}});
    for (auto kind : {Linear, Cubic}) {
        CHECK(resampled_path(p, every(0.5, false), kind, 0.01).points() == (Points{{1, 2}}));
        CHECK(resampled_path(p, points(3), kind, 0.01).points() == (Points{{1, 2}, {1, 2}, {1, 2}}));
    }
}

TEST(fewer_than_two_points_are_copied_whatever_the_method) {
    Path2D one = Path2D::from_points({{3, 4}});
    (void)one.curvature();
    CHECK(std::get<std::size_t>(one.add_associated_values({7})) == 0u);
    for (const auto& m : {points(0), every(0, true), every(-1, false)}) {
        const Path2D copy = resampled_path(one, m, Cubic, 0.01);
        CHECK(copy.points() == one.points());
        CHECK(copy.curvature_cell.filled());
        CHECK(copy.associated_values == std::vector<Values>{{7}});
    }
    Path2D empty;
    CHECK_EQ(resampled_path(empty, points(0), Linear, 0.01).size(), 0u);
}

TEST(associated_values_follow_the_coordinates) {
    Path2D p = Path2D::from_points({{0, 0}, {1, 0}, {2, 0}, {2, 1}, {2, 2}});
    CHECK(std::get<std::size_t>(p.add_associated_values({0, 1, 2, 2, 2})) == 0u);  // equals x
    CHECK(std::get<std::size_t>(p.add_associated_values({0, 0, 0, 1, 2})) == 1u);  // equals y
    for (auto kind : {Linear, Cubic}) {
        for (const auto& m : {points(9), every(0.3, false)}) {
            const Path2D r = resampled_path(p, m, kind, 0.01);
            CHECK_EQ(r.associated_values.size(), 2u);
            CHECK(r.associated_values[0] == r.x);
            CHECK(r.associated_values[1] == r.y);
        }
    }
    CHECK(resampled_path(p, points(2), Linear, 0.01).associated_values ==
          (std::vector<Values>{{0, 2}, {0, 2}}));
}

TEST(receiver_only_gains_its_path_length) {
    Path2D p = Path2D::from_points({{0, 0}, {3, 4}, {6, 8}});
    const Path2D before = p;
    (void)resampled_path(p, points(4), Cubic, 0.01);
    CHECK(p.points() == before.points());
    CHECK(p.path_length_per_point_cell.filled());
    CHECK(!p.orientation_cell.filled());
}

TEST(sampling_distance_must_be_positive) {
    // A negative distance would place its one position beyond the pads.
    CHECK_EQ(panic_message(straight(10), every(-3, false)),
             std::string("sampling distance must be positive, got -3"));
    CHECK_EQ(panic_message(straight(10), every(0, true)),
             std::string("sampling distance must be positive, got 0"));
    CHECK_EQ(panic_message(straight(0), every(-0.5, true)),
             std::string("sampling distance must be positive, got -0.5"));
    CHECK(panic_message(straight(10), every(std::nan(""), true)) != "<no panic>");
}

TEST(grids_that_cannot_exist_are_internal_errors) {
    CHECK(panic_message(straight(10), points(0)) != "<no panic>");
    CHECK(panic_message(straight(10), points(std::size_t{1} << 60)) != "<no panic>");
    // floor(10 / 1e-300) saturates and the count wraps to zero.
    CHECK(panic_message(straight(10), every(1e-300, true)) != "<no panic>");
    // NaN path lengths put NaN into the grid.
    CHECK(panic_message(Path2D::from_points({{0, 0}, {std::nan(""), 0}, {2, 0}}), points(3)) !=
          "<no panic>");
}

TEST(grids_too_large_to_allocate_fail_as_allocation_errors) {
#ifndef __SANITIZE_ADDRESS__
    for (const auto& m : {points(std::size_t{1} << 59), every(1e-17, true)}) {
        bool failed = false;
        try {
            Path2D p = straight(10);
            (void)resampled_path(p, m, Linear, 0.01);
        } catch (const std::bad_alloc&) {
            failed = true;
        } catch (const std::length_error&) {
            failed = true;
        }
        CHECK(failed);
    }
#endif
}
