#include <limits>
#include <new>
#include <stdexcept>

#include "check.hpp"
#include "core/chaikin.hpp"

using namespace wayforge;

namespace {

// One iteration written with a separate output list, as a reference for the
// in-place construction.
Points chaikin_reference(const Points& w, Point first, Point last) {
    Points out{first};
    for (std::size_t i = 0; i + 1 < w.size(); ++i) {
        const Point a = w[i];
        const Point b = w[i + 1];
        out.push_back({(0.75 * a.x) + (0.25 * b.x), (0.75 * a.y) + (0.25 * b.y)});
        out.push_back({(0.25 * a.x) + (0.75 * b.x), (0.25 * a.y) + (0.75 * b.y)});
    }
    out.push_back(last);
    return out;
}

}  // namespace

TEST(in_place_iterations_match_a_separate_list) {
    Points pts;
    for (int i = 0; i < 37; ++i) {
        pts.push_back({0.1 * i * i - 3.0 * i, std::sin(0.7 * i) * 5.0});
    }
    Points expected = pts;
    for (int k = 0; k < 4; ++k) {
        expected = chaikin_reference(expected, pts.front(), pts.back());
    }
    const Path2D r = smoothed_path_chaikin(Path2D::from_points(pts), 4);
    CHECK(r.points() == expected);
    CHECK_EQ(r.x.size(), expected.size());
    CHECK_EQ(r.y.back(), pts.back().y);
    CHECK(!r.path_length_per_point_cell.filled());
}

TEST(sizes_that_cannot_be_represented_throw_length_error) {
    const Path2D two = Path2D::from_points({{0, 0}, {1, 0}});
    CHECK_THROWS(smoothed_path_chaikin(two, 64), std::length_error);
    CHECK_THROWS(smoothed_path_chaikin(two, 70), std::length_error);
    CHECK_THROWS(smoothed_path_chaikin(two, std::numeric_limits<std::uint64_t>::max()),
                 std::length_error);
    // 2 * 2^62 points does not fit in a list of 16-byte points.
    CHECK_THROWS(smoothed_path_chaikin(two, 62), std::length_error);
}

TEST(sizes_that_cannot_be_allocated_throw_before_any_work) {
    Points pts(1000);
    for (std::size_t i = 0; i < pts.size(); ++i) pts[i] = {double(i), 0.0};
    bool thrown = false;
    try {
        (void)smoothed_path_chaikin(Path2D::from_points(pts), 40);
    } catch (const std::bad_alloc&) {
        thrown = true;
    } catch (const std::length_error&) {
        thrown = true;
    }
    CHECK(thrown);
}

TEST(fewer_than_two_points_is_a_deep_copy_for_any_count) {
    Path2D one = Path2D::from_points({{2, 3}});
    (void)one.path_length_per_point();
    CHECK(one.add_associated_values({7}).index() == 0);
    const Path2D r = smoothed_path_chaikin(one, std::numeric_limits<std::uint64_t>::max());
    CHECK(r.points() == one.points());
    CHECK(r.path_length_per_point_cell.filled());
    CHECK_EQ(r.associated_values.size(), 1u);
}
