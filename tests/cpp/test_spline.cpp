#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <new>
#include <random>
#include <stdexcept>
#include <utility>
#include <vector>

#include "check.hpp"
#include "core/panic.hpp"
#include "core/spline.hpp"

using namespace wayforge;

namespace {

constexpr auto Linear = SplineInterpolation::Linear;
constexpr auto CatmullRom = SplineInterpolation::CatmullRom;
const double kNaN = std::numeric_limits<double>::quiet_NaN();

std::vector<std::pair<double, double>> key_pairs(const Spline& s) {
    std::vector<std::pair<double, double>> out;
    for (const SplineKey& k : s.keys) out.emplace_back(k.t, k.value);
    return out;
}

// Keys over t = 0, 1, 2, 3 with the values 0, 1, 2, 3 (plus the pads).
Spline ramp(SplineInterpolation kind) { return make_spline({0, 1, 2, 3}, {0, 1, 2, 3}, kind); }

bool panics(const Spline& s, double at) {
    try {
        (void)sample_with_key(s, at);
    } catch (const Panic&) {
        return true;
    }
    return false;
}

}  // namespace

TEST(linspace_first_and_last_are_exact) {
    CHECK(linspace(0, 10, 1) == Values{10.0});
    CHECK(linspace(0, 10, 2) == (Values{0.0, 10.0}));
    CHECK(linspace(0, 1, 5) == (Values{0.0, 0.25, 0.5, 0.75, 1.0}));
    CHECK(linspace(2, 3, 3) == (Values{2.0, 2.5, 3.0}));
    // 3 * 0.1 is 0.30000000000000004; the last element is end itself.
    const Values v = linspace(0, 0.3, 4);
    CHECK_EQ(v.back(), 0.3);
}

TEST(linspace_refuses_empty_and_oversized_grids) {
    CHECK_THROWS(linspace(0, 1, 0), Panic);
    CHECK_THROWS(linspace(0, 1, std::size_t{1} << 60), Panic);
#ifndef __SANITIZE_ADDRESS__
    // Below the limit an impossible size is an allocation failure, not a crash.
    bool failed = false;
    try {
        (void)linspace(0, 1, (std::size_t{1} << 60) - 1);
    } catch (const std::bad_alloc&) {
        failed = true;
    } catch (const std::length_error&) {
        failed = true;
    }
    CHECK(failed);
#endif
}

TEST(make_spline_pads_both_ends) {
    const Spline s = make_spline({0, 1, 2}, {5, 6, 8}, Linear);
    CHECK(key_pairs(s) == (std::vector<std::pair<double, double>>{
                              {-1, 5}, {0, 5}, {1, 6}, {2, 8}, {2.01, 8}, {2.02, 8}}));
    for (const SplineKey& k : s.keys) CHECK(k.interpolation == Linear);
    CHECK(make_spline({0, 1}, {5, 6}, CatmullRom).keys[4].interpolation == CatmullRom);
}

TEST(make_spline_with_lists_of_different_lengths) {
    // Keys for the common length; end pads from the last elements of the whole lists.
    CHECK(key_pairs(make_spline({0, 1, 2, 3}, {5, 6}, Linear)) ==
          (std::vector<std::pair<double, double>>{{-1, 5}, {0, 5}, {1, 6}, {3.01, 6}, {3.02, 6}}));
    CHECK(key_pairs(make_spline({0, 1}, {5, 6, 7}, Linear)) ==
          (std::vector<std::pair<double, double>>{{-1, 5}, {0, 5}, {1, 6}, {1.01, 7}, {1.02, 7}}));
}

TEST(make_spline_sorts_stably_and_pads_go_after_equal_keys) {
    CHECK(key_pairs(make_spline({1, 0, 1}, {1, 2, 3}, Linear)) ==
          (std::vector<std::pair<double, double>>{
              {-1, 1}, {0, 2}, {1, 1}, {1, 3}, {1.01, 3}, {1.02, 3}}));
    // The start pad lands behind an existing key at -1.
    CHECK(key_pairs(make_spline({-2, -1, 0}, {1, 2, 3}, Linear)) ==
          (std::vector<std::pair<double, double>>{
              {-2, 1}, {-1, 2}, {-1, 1}, {0, 3}, {0.01, 3}, {0.02, 3}}));
}

TEST(end_pads_that_would_round_onto_the_end_take_the_next_parameters) {
    // 2^46 + 0.01 and + 0.02 are still distinct (the spacing there is 2^-6);
    // from 2^47 on a pad rounds onto the end or onto the other pad.
    for (int exponent = 46; exponent <= 60; ++exponent) {
        const double end = std::ldexp(1.0, exponent);
        const double up = std::numeric_limits<double>::infinity();
        for (SplineInterpolation kind : {Linear, CatmullRom}) {
            const Spline s = make_spline({0, end / 2, end}, {1, 2, 3}, kind);
            const double pad1 = s.keys[4].t;
            const double pad2 = s.keys[5].t;
            CHECK_EQ(pad1, std::max(end + 0.01, std::nextafter(end, up)));
            CHECK_EQ(pad2, std::max(end + 0.02, std::nextafter(pad1, up)));
            const auto at_end = sample_with_key(s, end);
            CHECK(at_end && at_end->first == 3.0 && at_end->second == 3u);
        }
    }
}

TEST(make_spline_refuses_empty_lists) {
    CHECK_THROWS(make_spline({}, {1}, Linear), Panic);
    CHECK_THROWS(make_spline({1}, {}, Linear), Panic);
}

TEST(sample_ramp_linear_and_catmull_rom) {
    const Spline lin = ramp(Linear);
    const Spline cr = ramp(CatmullRom);
    CHECK(sample_with_key(lin, 0.5) == std::pair(0.5, std::size_t{1}));
    // The start pad flattens the first tangent to 0.5.
    CHECK(sample_with_key(cr, 0.5) == std::pair(0.4375, std::size_t{1}));
    CHECK(sample_with_key(cr, 1.5) == std::pair(1.5, std::size_t{2}));
    // The first end pad makes the last tangent 1 / 1.01.
    CHECK_NEAR(sample_with_key(cr, 2.5)->first, 2.5012376237623764, 1e-15);
    CHECK_NEAR(sample_with_key(cr, 3.005)->first, 3.0012376237623763, 1e-12);
    CHECK_EQ(sample_with_key(cr, 3.005)->second, 4u);
}

TEST(sample_past_the_ends) {
    const Spline lin = ramp(Linear);
    const Spline cr = ramp(CatmullRom);
    CHECK(!sample_with_key(cr, 3.01));
    CHECK(!sample_with_key(cr, 3.015));
    CHECK_EQ(sample_with_key(lin, 3.015)->first, 3.0);
    CHECK(!sample_with_key(lin, 3.02));
    CHECK(!sample_with_key(lin, 100));
    CHECK_EQ(sample_with_key(lin, -0.5)->first, 0.0);
    CHECK(!sample_with_key(cr, -0.5));
    CHECK(!sample_with_key(lin, -1.5));
    CHECK(!sample_with_key(Spline{{{0, 1, Linear}}}, 0));
}

TEST(sample_at_keys_returns_their_values) {
    const Values t{0, 0.5, 2, 2.25};
    const Values v{3, -1, 7, 4};
    for (auto kind : {Linear, CatmullRom}) {
        const Spline s = make_spline(t, v, kind);
        for (std::size_t i = 0; i < t.size(); ++i) CHECK_EQ(sample_with_key(s, t[i])->first, v[i]);
    }
}

TEST(repeated_parameter_uses_the_later_key) {
    // A repeated path point: no division by zero, the later key starts the segment.
    for (auto kind : {Linear, CatmullRom}) {
        const Spline s = make_spline({0, 1, 1, 2}, {0, 1, 5, 6}, kind);
        const auto at_one = sample_with_key(s, 1.0);
        CHECK(at_one == std::pair(5.0, std::size_t{3}));
        CHECK(std::isfinite(sample_with_key(s, 1.5)->first));
        CHECK(std::isfinite(sample_with_key(s, 0.5)->first));
    }
    CHECK_EQ(sample_with_key(make_spline({0, 1, 1, 2}, {0, 1, 5, 6}, Linear), 1.5)->first, 5.5);
}

TEST(nan_parameters_are_internal_errors) {
    CHECK(panics(ramp(Linear), kNaN));
    CHECK(panics(ramp(CatmullRom), kNaN));
    // Path lengths after a NaN coordinate are all NaN: the search meets one.
    const Spline s = make_spline({0, kNaN, kNaN}, {0, 1, 2}, Linear);
    CHECK(panics(s, 0.5));
}

TEST(sampler_matches_sample_with_key) {
    std::mt19937_64 rng(7);
    std::uniform_real_distribution<double> step(0.0, 1.0);
    Values t{0};
    Values v{0};
    for (int i = 0; i < 200; ++i) {
        // Some repeated parameters, as coincident path points give.
        t.push_back(t.back() + (i % 17 == 0 ? 0.0 : step(rng)));
        v.push_back(step(rng) * 10 - 5);
    }
    Values at;
    for (double s = -1.5; s < t.back() + 0.05; s += 0.037) at.push_back(s);
    at.push_back(t.back());
    at.push_back(3.0);  // a step backwards
    at.push_back(t.back() + 0.015);
    at.push_back(-3.0);
    at.push_back(t[17]);
    for (auto kind : {Linear, CatmullRom}) {
        const Spline s = make_spline(t, v, kind);
        SplineSampler sampler(s);
        for (double x : at) CHECK(sampler(x) == sample_with_key(s, x));
    }
}

TEST(sampler_panics_where_sample_with_key_panics) {
    const Spline s = make_spline({0, 1, 2, kNaN}, {0, 1, 2, 3}, Linear);
    SplineSampler sampler(s);
    for (double x : {0.0, 0.5, 1.5, 2.5, -2.0}) {
        bool sampler_panicked = false;
        try {
            (void)sampler(x);
        } catch (const Panic&) {
            sampler_panicked = true;
        }
        CHECK_EQ(sampler_panicked, panics(s, x));
    }
    const Spline r = ramp(Linear);
    SplineSampler clean(r);
    CHECK_THROWS(clean(kNaN), Panic);
}

// Resampling samples x and y with one search per position: that relies on the
// keys' parameters depending on the parameter list only, never on the values.
TEST(paired_sampling_matches_each_spline_alone) {
    const double kInf = std::numeric_limits<double>::infinity();
    const std::vector<Values> parameter_lists = {
        {0, 1, 1, 2.5, 4},             // ascending, one repeat
        {3, 1, 2, 0},                  // out of order: sorted
        {0, 1e300, 1e300},             // the end pads round onto the last parameter
        {0, 1, kInf},                  // an infinite length
    };
    for (const Values& t : parameter_lists) {
        // x has a surplus value beyond the last parameter, which the end pads repeat.
        const Values x{0.5, -2, 7, 1, 3, 9};
        const Values y{4, 4, -1, 0.25, 8};
        for (auto kind : {Linear, CatmullRom}) {
            const Spline sx = make_spline(t, x, kind);
            const Spline sy = make_spline(t, y, kind);
            CHECK_EQ(sx.keys.size(), sy.keys.size());
            for (std::size_t i = 0; i < sx.keys.size() && i < sy.keys.size(); ++i) {
                CHECK_EQ(std::bit_cast<std::uint64_t>(sx.keys[i].t), std::bit_cast<std::uint64_t>(sy.keys[i].t));
            }
            const LinspaceGrid grid = linspace_grid(0, t.back() + 0.03, 23);
            Values px(grid.size());
            Values py(grid.size());
            SplineSampler(sx).sample_pair(sy, grid, -7.0, px.data(), py.data());
            SplineSampler ax(sx);
            SplineSampler ay(sy);
            for (std::size_t i = 0; i < grid.size(); ++i) {
                const auto ex = ax(grid[i]);
                const auto ey = ay(grid[i]);
                const double want_x = ex ? ex->first : -7.0;
                const double want_y = ey ? ey->first : -7.0;
                CHECK(std::bit_cast<std::uint64_t>(px[i]) == std::bit_cast<std::uint64_t>(want_x) ||
                      (std::isnan(px[i]) && std::isnan(want_x)));
                CHECK(std::bit_cast<std::uint64_t>(py[i]) == std::bit_cast<std::uint64_t>(want_y) ||
                      (std::isnan(py[i]) && std::isnan(want_y)));
            }
        }
    }
}
