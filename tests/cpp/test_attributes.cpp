#include <cmath>
#include <numbers>

#include "check.hpp"
#include "core/attributes.hpp"
#include "core/path2d.hpp"

using namespace wayforge;

TEST(differences_of_short_and_long_lists) {
    CHECK(compute_differences({}).empty());
    CHECK(compute_differences({5}) == Values{0.0});
    CHECK(compute_differences({2, 5}) == (Values{3.0, 3.0}));
    CHECK(compute_differences({1, 2, 4, 7}) == (Values{1.0, 1.5, 2.5, 3.0}));
}

TEST(from_coordinates_keeps_surplus_values) {
    Path2D p = Path2D::from_coordinates({0, 1, 2}, {0, 0});
    CHECK_EQ(p.size(), 2u);
    CHECK_EQ(p.x.size(), 3u);
    CHECK_EQ(p.y.size(), 2u);
    CHECK(p.points()[1] == (Point{1, 0}));
}

TEST(deep_copy_keeps_filled_cells_and_values) {
    Path2D p = Path2D::from_points({{0, 0}, {3, 4}, {3, 4}, {6, 8}});
    CHECK(p.path_length_per_point() == (Values{0, 5, 5, 10}));
    CHECK(std::get<std::size_t>(p.add_associated_values({1, 2, 3, 4})) == 0u);
    Path2D q = p;
    CHECK(q.path_length_per_point_cell.filled());
    CHECK(!q.orientation_cell.filled());
    CHECK_EQ(q.associated_values.size(), 1u);
    CHECK(q.path_length_per_point_cell.get() != p.path_length_per_point_cell.get());
}

TEST(associated_value_length_mismatch_changes_nothing) {
    Path2D p = Path2D::from_points({{0, 0}, {1, 0}, {2, 0}});
    auto r = p.add_associated_values({1, 2});
    CHECK(std::get<std::string>(r) == "The associated value has length 2, although 3 was expected");
    CHECK(p.associated_values.empty());
    CHECK(std::get<std::size_t>(p.add_associated_values({1, 2, 3})) == 0u);
}

TEST(curvature_of_a_circle_counter_clockwise_and_reversed) {
    Points pts;
    for (int i = 0; i < 12; ++i) {
        pts.push_back({10 * std::cos(0.3 * i), 10 * std::sin(0.3 * i)});
    }
    Path2D p = Path2D::from_points(pts);
    const Values& k = p.curvature();
    for (int i = 2; i < 10; ++i) CHECK_NEAR(k[i], 0.1, 1e-12);
    CHECK(k[0] > 0 && k[0] < 0.1);
    Points rev(pts.rbegin(), pts.rend());
    Path2D r = Path2D::from_points(rev);
    for (int i = 0; i < 12; ++i) CHECK_NEAR(r.curvature()[i], -k[11 - i], 1e-12);
}

TEST(degenerate_single_point) {
    Path2D p = Path2D::from_points({{2, 3}});
    CHECK(p.orientation() == Values{0.0});
    CHECK(std::isnan(p.unit_tangent_vector()[0].x));
    CHECK(std::isnan(p.curvature()[0]));
    CHECK_EQ(p.length(), 0.0);
}

TEST(orientation_turning_left) {
    Path2D p = Path2D::from_points({{0, 0}, {1, 0}, {1, 1}});
    const Values& o = p.orientation();
    CHECK_EQ(o[0], 0.0);
    CHECK_EQ(o[1], std::atan2(1.0, 1.0));
    CHECK_EQ(o[2], std::numbers::pi / 2);
}
