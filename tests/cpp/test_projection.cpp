#include <cmath>
#include <limits>

#include "check.hpp"
#include "core/projection.hpp"
#include "core/sub_path.hpp"

using namespace wayforge;

TEST(total_order_key_orders_signed_zeros_and_nans) {
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double ordered[] = {-nan, -inf, -1.0, -0.0, 0.0, 1e-300, 1.0, inf, nan};
    for (std::size_t i = 0; i + 1 < std::size(ordered); ++i) {
        CHECK(total_order_key(ordered[i]) < total_order_key(ordered[i + 1]));
    }
    CHECK_EQ(total_order_key(0.5), total_order_key(0.5));
}

TEST(equal_distances_keep_the_earlier_segment) {
    // (1.5, 0.5) lies 0.5 from segment 0 and 0.5 from segment 1.
    const Path2D p = Path2D::from_points({{0, 0}, {2, 0}, {2, 2}});
    const auto r = nearest_projection(p, {1.5, 0.5}, 0.01);
    CHECK(r.has_value());
    CHECK_EQ(r->index, 0u);
    CHECK(r->point == (Point{1.5, 0.0}));
    CHECK_EQ(r->distance, 0.5);
}

TEST(a_later_strictly_nearer_segment_wins) {
    const Path2D p = Path2D::from_points({{0, 0}, {2, 0}, {2, 2}});
    const auto r = nearest_projection(p, {1.8, 1.0}, 0.01);
    CHECK(r.has_value());
    CHECK_EQ(r->index, 1u);
    CHECK(r->point == (Point{2.0, 1.0}));
    CHECK_NEAR(r->distance, 0.2, 1e-15);
    CHECK_NEAR(r->offset, 1.0, 1e-15);
}

TEST(end_point_matches_are_per_coordinate_and_first_before_last) {
    const Path2D closed = Path2D::from_points({{0, 0}, {1, 0}, {1, 1}, {0, 0}});
    const auto r = nearest_projection(closed, {0.01, -0.01}, 0.01);
    CHECK(r.has_value());
    CHECK_EQ(r->index, 0u);
    CHECK_EQ(r->fraction, 0.0);
    // A negative or NaN epsilon disables both end-point matches.
    const Path2D line = Path2D::from_points({{0, 0}, {1, 0}});
    CHECK(!nearest_projection(line, {1, 0}, -1.0).has_value());
    CHECK(!nearest_projection(line, {1, 0}, std::nan("")).has_value());
    CHECK_EQ(nearest_projection(line, {0, 0}, -1.0)->index, 0u);  // the scan takes t = 0
}

TEST(zero_length_segments_are_never_candidates) {
    const Path2D p = Path2D::from_points({{0, 0}, {1, 0}, {1, 0}, {2, 0}});
    const auto r = nearest_projection(p, {1.0, 0.5}, 0.01);
    CHECK(r.has_value());
    CHECK_EQ(r->index, 2u);  // segment 1 has length 0, segment 0 ends before 1
}

TEST(path_length_from_a_point_on_a_repeated_first_point_is_zero) {
    Path2D p = Path2D::from_points({{0, 0}, {0, 0}, {1, 0}});
    const auto s = path_length_from_point(p, {0.005, 0.0}, 0.01);
    CHECK(s.has_value());
    CHECK_EQ(*s, 0.0);
    CHECK(p.path_length_per_point_cell.filled());
}

TEST(path_length_keeps_the_signed_offset_of_a_first_point_match) {
    Path2D p = Path2D::from_points({{0, 0}, {1, 0}, {2, 0}});
    CHECK_EQ(*path_length_from_point(p, {-0.005, 0.0}, 0.01), -0.005);
    CHECK_EQ(*path_length_from_point(p, {2.005, 0.005}, 0.01), 2.0);
    Path2D single = Path2D::from_points({{3, 4}});
    CHECK_EQ(*path_length_from_point(single, {3, 4}, 0.0), 0.0);
}

TEST(sub_path_at_the_last_point_keeps_the_last_value) {
    Path2D p = Path2D::from_points({{0, 0}, {1, 0}, {2, 0}});
    CHECK(p.add_associated_values({10, 20, 30}).index() == 0);
    const auto r = sub_path(p, Point{2, 0}, Point{2.001, 0}, 0.01);
    CHECK(r.has_value());
    CHECK(r->points() == (Points{{2, 0}}));
    CHECK(r->associated_values == (std::vector<Values>{{30}}));
}
