#include "core/resample.hpp"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

#include "core/panic.hpp"
#include "core/spline.hpp"

namespace wayforge {

namespace {

// The path lengths at which the result's points are taken: an evenly spaced
// grid, possibly followed by the total length. The total length is kept aside
// rather than appended so that the grid is never copied to grow it.
struct SamplingGrid {
    LinspaceGrid positions;
    bool append_length = false;
    double length = 0.0;

    std::size_t size() const noexcept { return positions.size() + (append_length ? 1 : 0); }

    // Samples the spline at every position, in order; nothing gives 0.0.
    void sample(const Spline& spline, Values& out) const {
        out.resize(size());
        SplineSampler sampler(spline);
        for (std::size_t i = 0; i < positions.size(); ++i) {
            const auto value = sampler(positions[i]);
            out[i] = value ? value->first : 0.0;
        }
        if (append_length) {
            sampler.sample_values({&length, 1}, 0.0, out.data() + positions.size());
        }
    }

    // Samples two splines over the same path lengths (x and y) at every
    // position with one search per position.
    void sample_pair(const Spline& first, const Spline& second, Values& first_out,
                     Values& second_out) const {
        first_out.resize(size());
        second_out.resize(size());
        SplineSampler sampler(first);
        sampler.sample_pair(second, positions, 0.0, first_out.data(), second_out.data());
        if (append_length) {
            const LinspaceGrid end{length, length, 0.0, 1};
            sampler.sample_pair(second, end, 0.0, first_out.data() + positions.size(),
                                second_out.data() + positions.size());
        }
    }
};

// Converts a whole-numbered double to uint64, saturating: negative values and
// NaN give 0, values of 2^64 and above give the largest value.
std::uint64_t saturating_to_u64(double q) {
    if (!(q > 0.0)) {
        return 0;
    }
    if (q >= 18446744073709551616.0) {  // 2^64
        return std::numeric_limits<std::uint64_t>::max();
    }
    return static_cast<std::uint64_t>(q);
}

std::string shortest(double value) {
    char buffer[32];
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    return ec == std::errc{} ? std::string(buffer, end) : std::string("?");
}

SamplingGrid sampling_grid(const ResamplingMethod& method, double length, double epsilon) {
    SamplingGrid grid;
    grid.length = length;
    if (method.tag == ResamplingMethod::Tag::ByNumberPoints) {
        grid.positions = linspace_grid(0, length, method.number_points);
        return grid;
    }
    const double d = method.sampling_distance;
    // A negative distance would put the single grid position at or past the
    // end of the path, beyond the spline's pads, and make up a point at (0, 0);
    // a zero or NaN distance has no grid at all.
    if (!(d > 0.0)) {
        panic("sampling distance must be positive, got " + shortest(d));
    }
    // No tolerance: 0.3 / 0.1 floors to 2, so 0.3 is only reached by appending.
    const double q = std::floor(length / d);
    // Wraps to 0 when q saturates (a distance tiny against the length), which
    // linspace refuses.
    const std::uint64_t count = saturating_to_u64(q) + 1;
    const double end = d * q;
    grid.append_length = !method.drop_last && std::fabs(end - length) > epsilon;
    grid.positions = linspace_grid(0, end, count);
    return grid;
}

}  // namespace

Path2D resampled_path(Path2D& path, const ResamplingMethod& method, InterpolationMethod type,
                      double epsilon) {
    if (path.size() < 2) {
        return Path2D(path);
    }
    const Values& lengths = path.path_length_per_point();
    const SplineInterpolation kind = type == InterpolationMethod::Cubic
                                         ? SplineInterpolation::CatmullRom
                                         : SplineInterpolation::Linear;

    // The grid and every output list are allocated before any spline is built
    // or sampled, so a request too large to allocate fails at once.
    const SamplingGrid grid = sampling_grid(method, lengths.back(), epsilon);
    const std::size_t count = grid.size();
    Path2D result;
    result.x.reserve(count);
    result.y.reserve(count);
    result.associated_values.resize(path.associated_values.size());
    for (Values& values : result.associated_values) {
        values.reserve(count);
    }

    // The same record as construction from the sampled points. Both splines
    // are made over the same path lengths, so their keys share parameters.
    grid.sample_pair(make_spline(lengths, path.x, kind), make_spline(lengths, path.y, kind), result.x,
                     result.y);

    // One spline at a time, each list in its own position so handles hold.
    for (std::size_t k = 0; k < path.associated_values.size(); ++k) {
        grid.sample(make_spline(lengths, path.associated_values[k], kind),
                    result.associated_values[k]);
    }
    return result;
}

}  // namespace wayforge
