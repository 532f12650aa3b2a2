#include <cmath>
#include <limits>
#include <optional>
#include <vector>

#include "check.hpp"
#include "core/circle_fit.hpp"
#include "core/lapack.hpp"
#include "core/panic.hpp"

using namespace wayforge;

namespace {

std::optional<CircleFit> fit(const std::vector<double>& x, const std::vector<double>& y) {
    return taubin_circle_fit(x, y);
}

bool same_bits(const CircleFit& a, const CircleFit& b) {
    return a.center_x == b.center_x && a.center_y == b.center_y && a.radius == b.radius &&
           a.rmse == b.rmse;
}

}  // namespace

TEST(lapack_is_loaded_once) {
    CHECK(lapack::loaded());
    const lapack::Functions* first = &lapack::functions();
    // Once loaded, a later load keeps what is there, whatever it is given.
    lapack::load("/nonexistent/libnothing.so");
    CHECK(&lapack::functions() == first);
    CHECK(first->dgesvd != nullptr && first->set_num_threads != nullptr);
}

TEST(circle_fit_recovers_a_circle_from_five_points) {
    std::vector<double> x, y;
    for (double angle : {0.1, 0.7, 1.3, 2.0, 2.9}) {
        x.push_back(2 + 5 * std::cos(angle));
        y.push_back(3 + 5 * std::sin(angle));
    }
    const auto c = fit(x, y);
    CHECK(c.has_value());
    CHECK_NEAR(c->center_x, 2.0, 1e-12);
    CHECK_NEAR(c->center_y, 3.0, 1e-12);
    CHECK_NEAR(c->radius, 5.0, 1e-12);
    CHECK(c->rmse >= 0.0 && c->rmse < 1e-13);
}

TEST(circle_fit_is_exact_through_three_and_four_concyclic_points) {
    const auto three = fit({0, 1, 2}, {0, 1, 0});
    CHECK(three.has_value());
    CHECK_NEAR(three->center_x, 1.0, 1e-12);
    CHECK_NEAR(three->center_y, 0.0, 1e-12);
    CHECK_NEAR(three->radius, 1.0, 1e-12);
    CHECK_NEAR(three->rmse, 0.0, 1e-13);

    const auto four = fit({0, 1, 2, 3}, {0, 1, 1, 0});
    CHECK(four.has_value());
    CHECK_NEAR(four->center_x, 1.5, 1e-12);
    CHECK_NEAR(four->center_y, -0.5, 1e-12);
    CHECK_NEAR(four->radius, std::sqrt(2.5), 1e-12);
    CHECK_NEAR(four->rmse, 0.0, 1e-13);
}

TEST(circle_fit_rmse_measures_the_radial_error) {
    // Points alternately at radius 1.1 and 0.9: by symmetry the centre is the
    // origin, and the rmse follows from the fitted radius r.
    std::vector<double> x, y;
    for (int i = 0; i < 8; ++i) {
        const double r = i % 2 == 0 ? 1.1 : 0.9;
        x.push_back(r * std::cos(i * M_PI / 4));
        y.push_back(r * std::sin(i * M_PI / 4));
    }
    const auto c = fit(x, y);
    CHECK(c.has_value());
    CHECK_NEAR(c->center_x, 0.0, 1e-12);
    CHECK_NEAR(c->center_y, 0.0, 1e-12);
    const double r = c->radius;
    CHECK_NEAR(c->rmse, std::sqrt(((1.1 - r) * (1.1 - r) + (0.9 - r) * (0.9 - r)) / 2), 1e-12);
    CHECK(c->rmse >= 0.1 - 1e-12);
}

TEST(circle_fit_of_empty_lists_has_no_result) {
    CHECK(!fit({}, {}).has_value());
    CHECK(!fit({}, {1.0}).has_value());
    CHECK(!fit({1.0}, {}).has_value());
}

TEST(circle_fit_of_collinear_points_has_an_unbounded_radius) {
    const auto c = fit({0, 1, 2}, {0, 0, 0});
    CHECK(c.has_value());
    CHECK(c->radius > 1e10);
    // Exactly straight gives an infinite radius, whose rmse is NaN and so
    // fails every bound.
    if (std::isinf(c->radius)) CHECK(std::isnan(c->rmse));
}

TEST(circle_fit_of_coincident_or_non_finite_points_is_nan) {
    // These would hand LAPACK a NaN matrix; every field comes back NaN.
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::vector<std::vector<double>> xs = {{1, 1, 1, 1}, {0, 1, inf}, {0, nan, 2}, {0, 1e200, 2}};
    const std::vector<std::vector<double>> ys = {{2, 2, 2, 2}, {0, 1, 0}, {0, 1, 0}, {0, 1, 0}};
    for (std::size_t i = 0; i < xs.size(); ++i) {
        const auto c = fit(xs[i], ys[i]);
        CHECK(c.has_value());
        CHECK(std::isnan(c->center_x) && std::isnan(c->center_y));
        CHECK(std::isnan(c->radius) && std::isnan(c->rmse));
    }
}

TEST(circle_fit_of_unequal_lists_is_an_internal_error) {
    CHECK_THROWS(fit({0, 1, 2}, {0, 1}), Panic);
    CHECK_THROWS(fit({0, 1}, {0, 1, 2}), Panic);
}

TEST(circle_fitter_reuse_matches_fresh_fits) {
    // Sizes below and above LAPACK's QR threshold, repeated, shrinking and
    // growing, so that cached workspace sizes and reused storage are both hit.
    std::vector<double> x, y;
    for (int i = 0; i < 500; ++i) {
        x.push_back(3 * std::cos(0.013 * i) + 0.01 * std::sin(7.0 * i));
        y.push_back(3 * std::sin(0.013 * i) + 0.01 * std::cos(5.0 * i));
    }
    const std::span<const double> xs(x), ys(y);
    CircleFitter fitter;
    for (std::size_t count : {3u, 500u, 4u, 5u, 3u, 37u, 6u, 500u, 4u, 120u, 3u}) {
        for (std::size_t first : {0u, 100u, 400u}) {
            const std::size_t n = std::min(count, x.size() - first);
            const auto reused = fitter.fit(xs.subspan(first, n), ys.subspan(first, n));
            const auto fresh = taubin_circle_fit(xs.subspan(first, n), ys.subspan(first, n));
            CHECK(reused.has_value() && fresh.has_value());
            CHECK(same_bits(*reused, *fresh));
        }
    }
    CHECK(!fitter.fit({}, {}).has_value());
    const auto after_empty = fitter.fit(xs.subspan(0, 7), ys.subspan(0, 7));
    CHECK(same_bits(*after_empty, *taubin_circle_fit(xs.subspan(0, 7), ys.subspan(0, 7))));
}
