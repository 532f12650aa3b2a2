// Interpolation primitives and resampling: the batch sampler against the
// one-at-a-time binary search, make_spline against a plain stable sort, and
// the resampled path against the splines sampled on its grid.
#include <algorithm>
#include <cmath>
#include <optional>

#include "core/panic.hpp"
#include "core/projection.hpp"
#include "core/resample.hpp"
#include "core/spline.hpp"
#include "fuzz/input.hpp"

using namespace wayforge;

namespace {

using Sample = std::optional<std::pair<double, std::size_t>>;

// The sample, or a marker for the internal error.
struct Outcome {
    bool panicked = false;
    Sample sample;
    bool operator==(const Outcome& o) const {
        if (panicked || o.panicked) {
            return panicked == o.panicked;
        }
        if (sample.has_value() != o.sample.has_value()) {
            return false;
        }
        return !sample || (fuzz::same_bits(sample->first, o.sample->first) && sample->second == o.sample->second);
    }
};

template <class F>
Outcome outcome(F&& f) {
    try {
        return {false, f()};
    } catch (const Panic&) {
        return {true, std::nullopt};
    }
}

// make_spline as written: keys in order, stable sort, then each pad appended
// and the keys sorted again. Only used on parameters without NaN, where the
// order is total and any stable sort gives the same keys.
std::vector<SplineKey> reference_keys(const Values& t, const Values& v, SplineInterpolation kind) {
    const auto before = [](const SplineKey& a, const SplineKey& b) { return !(a.t >= b.t); };
    std::vector<SplineKey> keys;
    for (std::size_t i = 0; i < std::min(t.size(), v.size()); ++i) {
        keys.push_back({t[i], v[i], kind});
    }
    std::stable_sort(keys.begin(), keys.end(), before);
    for (const SplineKey pad : {SplineKey{-1.0, v.front(), kind}, SplineKey{t.back() + 0.01, v.back(), kind},
                                SplineKey{t.back() + 0.02, v.back(), kind}}) {
        keys.push_back(pad);
        std::stable_sort(keys.begin(), keys.end(), before);
    }
    return keys;
}

void splines(fuzz::Input& in) {
    const std::size_t n = in.size(40);
    Values t = in.numbers(n);
    if (in.flag()) {
        // ascending, as path lengths are (NaN at either end)
        std::sort(t.begin(), t.end(), [](double a, double b) { return total_order_key(a) < total_order_key(b); });
    }
    const Values v = in.numbers(n + (in.flag() ? in.size(2) : 0));
    const auto kind = in.flag() ? SplineInterpolation::CatmullRom : SplineInterpolation::Linear;
    if (t.empty() || v.empty()) {
        bool refused = false;
        try {
            make_spline(t, v, kind);
        } catch (const Panic&) {
            refused = true;
        }
        FUZZ_CHECK(refused);
        return;
    }
    const Spline spline = make_spline(t, v, kind);
    FUZZ_CHECK(spline.keys.size() == std::min(t.size(), v.size()) + 3);
    if (std::none_of(t.begin(), t.end(), [](double x) { return std::isnan(x); })) {
        const std::vector<SplineKey> expected = reference_keys(t, v, kind);
        for (std::size_t i = 0; i < expected.size(); ++i) {
            FUZZ_CHECK(fuzz::same_bits(spline.keys[i].t, expected[i].t));
            FUZZ_CHECK(fuzz::same_bits(spline.keys[i].value, expected[i].value));
        }
    }
    // The walking sampler gives what the binary search gives, for any order
    // of parameters (mostly ascending, as resampling asks).
    SplineSampler sampler(spline);
    double s = in.number();
    for (std::size_t k = in.size(60); k > 0; --k) {
        const Outcome walked = outcome([&] { return sampler(s); });
        const Outcome searched = outcome([&] { return sample_with_key(spline, s); });
        FUZZ_CHECK(walked == searched);
        s = in.flag() ? in.number() : s + std::fabs(in.number()) * 0.1;
    }
}

void grids(fuzz::Input& in) {
    const double end = in.number();
    const std::size_t n = in.size(2000);
    if (n == 0) {
        return;  // refused by linspace; covered by the tests
    }
    const Values g = linspace(0, end, n);
    FUZZ_CHECK(g.size() == n);
    FUZZ_CHECK(fuzz::same_bits(g.back(), end));
    if (n >= 2) {
        FUZZ_CHECK(g.front() == 0.0);
    }
}

// A distance that asks for a grid of 1e5 to 2^60 positions: resampling
// would allocate it (beyond what this harness samples); smaller grids are
// sampled, larger ones and every degenerate distance are refused up front.
bool too_large(const ResamplingMethod& m, double length) {
    if (m.tag != ResamplingMethod::Tag::BySamplingDistance || !(m.sampling_distance > 0.0)) {
        return false;
    }
    const double q = std::floor(length / m.sampling_distance);
    return q >= 1e5 && q < 0x1p60;
}

// The number of points of a successful resampling, as the grid gives it.
std::size_t grid_size(const ResamplingMethod& m, double length, double epsilon) {
    if (m.tag == ResamplingMethod::Tag::ByNumberPoints) {
        return m.number_points;
    }
    const double d = m.sampling_distance;
    const double q = std::floor(length / d);
    const std::size_t count = static_cast<std::size_t>(q) + 1;
    return count + ((!m.drop_last && std::fabs(d * q - length) > epsilon) ? 1 : 0);
}

void resampling(fuzz::Input& in) {
    Path2D path = in.path(200);
    const ResamplingMethod method = in.flag()
                                        ? ResamplingMethod::by_number_points(in.size(3000))
                                        : ResamplingMethod::by_sampling_distance(in.number(), in.flag());
    const auto type = in.flag() ? InterpolationMethod::Cubic : InterpolationMethod::Linear;
    const double epsilon = in.number();
    const double length = path.length();
    if (path.size() >= 2 && too_large(method, length)) {
        return;
    }
    Path2D result;
    try {
        result = resampled_path(path, method, type, epsilon);
    } catch (const Panic&) {
        FUZZ_CHECK(path.size() >= 2);
        return;
    }
    fuzz::check_record(result);
    FUZZ_CHECK(result.associated_values.size() == path.associated_values.size());
    if (path.size() < 2) {
        FUZZ_CHECK(fuzz::same_bits(result.points(), path.points()) && fuzz::same_bits(result.x, path.x));
        return;
    }
    FUZZ_CHECK(result.size() == grid_size(method, length, epsilon));
    // Every point is the x and y spline sampled at its grid position (0.0
    // where a spline has no value).
    const Values& lengths = path.path_length_per_point();
    const auto kind = type == InterpolationMethod::Cubic ? SplineInterpolation::CatmullRom : SplineInterpolation::Linear;
    const Spline sx = make_spline(lengths, path.x, kind);
    const Spline sy = make_spline(lengths, path.y, kind);
    Values positions;
    if (method.tag == ResamplingMethod::Tag::ByNumberPoints) {
        positions = linspace(0, length, method.number_points);
    } else {
        const double q = std::floor(length / method.sampling_distance);
        positions = linspace(0, method.sampling_distance * q, static_cast<std::size_t>(q > 0.0 ? q : 0.0) + 1);
        if (positions.size() < result.size()) {
            positions.push_back(length);
        }
    }
    const auto at = [](const Spline& s, double p) {
        const Sample v = sample_with_key(s, p);
        return v ? v->first : 0.0;
    };
    for (std::size_t i = 0; i < result.size(); ++i) {
        FUZZ_CHECK(fuzz::same_bits(result.points()[i].x, at(sx, positions[i])));
        FUZZ_CHECK(fuzz::same_bits(result.points()[i].y, at(sy, positions[i])));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Input in(data, size);
    switch (in.byte() % 3) {
    case 0:
        splines(in);
        break;
    case 1:
        grids(in);
        break;
    default:
        resampling(in);
        break;
    }
    return 0;
}
