// One-dimensional splines over a parameter (a path length): evenly spaced
// grids, padded spline construction and sampling, linear or Catmull-Rom.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "core/path2d.hpp"

namespace wayforge {

enum class SplineInterpolation : std::uint8_t { Linear, CatmullRom };

struct SplineKey {
    double t;
    double value;
    // The kind used on the segment that starts at this key.
    SplineInterpolation interpolation;
};

// Keys in ascending order of t; keys with equal t keep the order of adding.
struct Spline {
    std::vector<SplineKey> keys;
};

// n evenly spaced values from first to end, each computed when read: value
// i is i * step + first, except that the last is exactly end (for n == 1 the
// single value is end).
struct LinspaceGrid {
    double first = 0.0;
    double end = 0.0;
    double step = 0.0;
    std::size_t n = 0;

    std::size_t size() const noexcept { return n; }
    double operator[](std::size_t i) const noexcept {
        if (i + 1 == n) {
            return end;
        }
        return i == 0 ? first : static_cast<double>(i) * step + first;
    }
};

// The grid of linspace without its list. Panics for n == 0 and n >= 2^60.
LinspaceGrid linspace_grid(std::int32_t start, double end, std::size_t n);

// n values from start to end; the first is start and the last is exactly end
// (for n == 1 the single value is end). Panics for n == 0 and n >= 2^60.
Values linspace(std::int32_t start, double end, std::size_t n);

// Keys (t_values[i], values[i]) for the common length, stably sorted by t, plus
// a start pad one unit before at t = -1 and two end pads 0.01 and 0.02 after
// the last parameter, repeating the first and last value. Where an end pad
// would round onto the last parameter or onto the first pad (parameters of
// about 2^47 and more) it is the next representable parameter instead. Panics
// when either list is empty.
Spline make_spline(const Values& t_values, const Values& values, SplineInterpolation kind);

// The value at s and the index of the key that starts the segment used, or
// nothing where the spline is not defined. Panics on a NaN s and on a NaN key
// parameter met by the binary search.
std::optional<std::pair<double, std::size_t>> sample_with_key(const Spline& spline, double s);

// Samples one spline at a sequence of parameters, giving exactly what
// sample_with_key gives. For ascending parameters it walks the keys from the
// previous position instead of searching afresh; a spline with a NaN key
// parameter is always searched, so that the same inputs panic.
class SplineSampler {
public:
    explicit SplineSampler(const Spline& spline);

    std::optional<std::pair<double, std::size_t>> operator()(double s);

    // Samples at each parameter of `at` in order and writes each value to
    // out[i], or `missing` where the spline has no value.
    void sample_values(std::span<const double> at, double missing, double* out);

    // Samples this spline and `other` at each parameter of the grid with one
    // search per parameter, writing out[i] and other_out[i]. The keys of
    // `other` must have the same parameters in the same order, as
    // make_spline gives for one parameter list and any values; each value is
    // what sampling that spline alone gives.
    void sample_pair(const Spline& other, const LinspaceGrid& at, double missing, double* out,
                     double* other_out);

private:
    // The number of keys with t <= s, as sample_with_key finds it (with the
    // same panics), or nothing when the spline has fewer than two keys.
    std::optional<std::size_t> locate(double s);

    const Spline& spline_;
    bool can_walk_;
    // The number of keys with t <= the previous parameter.
    std::size_t keys_at_or_before_ = 0;
};

}  // namespace wayforge
