#include <cmath>
#include <random>

#include "check.hpp"
#include "core/error_detection.hpp"

using namespace wayforge;

namespace {

// The repair written plainly: detect, erase flagged entries from the back,
// repeat.
Path2D repair_reference(const Path2D& path, double sus_angle) {
    Path2D r;
    r.x = path.x;
    r.y = path.y;
    r.associated_values = path.associated_values;
    for (auto f = detect_corrupted_point_order(r, sus_angle); !f.empty();
         f = detect_corrupted_point_order(r, sus_angle)) {
        for (auto it = f.rbegin(); it != f.rend(); ++it) {
            r.x.erase(r.x.begin() + *it);
            r.y.erase(r.y.begin() + *it);
            for (Values& v : r.associated_values) v.erase(v.begin() + *it);
        }
    }
    return r;
}

}  // namespace

TEST(linked_repair_matches_the_plain_repair_on_random_walks) {
    std::mt19937_64 rng(12345);
    std::uniform_real_distribution<double> step(-1.0, 1.0);
    std::uniform_int_distribution<int> coarse(-2, 2);
    for (int trial = 0; trial < 400; ++trial) {
        const std::size_t n = 3 + trial % 60;
        Points pts;
        Values values;
        double x = 0.0;
        for (std::size_t i = 0; i < n; ++i) {
            // Coarse steps repeat points and reverse exactly; fine ones jitter.
            x += (trial % 2) ? coarse(rng) : step(rng) + 0.3;
            pts.push_back({x, (trial % 3 == 0) ? double(coarse(rng)) : 0.0});
            values.push_back(double(i));
        }
        Path2D p = Path2D::from_points(pts);
        CHECK(p.add_associated_values(values).index() == 0);
        const double sus = (trial % 5 == 0) ? 1.0 : 2.8;
        const Path2D got = repair_corrupted_point_order(p, sus);
        const Path2D want = repair_reference(p, sus);
        CHECK(got.points() == want.points());
        CHECK(got.x == want.x && got.y == want.y);
        CHECK(got.associated_values == want.associated_values);
        CHECK(detect_corrupted_point_order(got, sus).empty());
    }
}

TEST(repair_starts_with_empty_cells_and_keeps_surplus_coordinates) {
    Path2D p = Path2D::from_coordinates({0, 1, 3, 2, 4, 99}, {0, 0, 0, 0, 0});
    (void)p.path_length_per_point();
    (void)p.curvature();
    const Path2D r = repair_corrupted_point_order(p, 2.8);
    CHECK(r.points() == (Points{{0, 0}, {1, 0}, {4, 0}}));
    CHECK(r.x == (Values{0, 1, 4, 99}));
    CHECK(r.y == (Values{0, 0, 0}));
    CHECK(!r.path_length_per_point_cell.filled());
    CHECK(!r.curvature_cell.filled());
}

TEST(headings_across_the_pi_seam_are_not_a_turn) {
    // Headings atan2(+0, -1) = pi and atan2(-0, -1) = -pi: d = 2pi, folded to 0.
    const Path2D p = Path2D::from_points({{2, 0}, {1, 0}, {0, -0.0}});
    CHECK(detect_corrupted_point_order(p, 0.1).empty());
    CHECK(detect_corrupted_point_order(p, 0.0) == (std::vector<std::size_t>{1}));
}
