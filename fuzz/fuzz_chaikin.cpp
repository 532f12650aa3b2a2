// Chaikin smoothing (built in place, from the back) against the plain
// definition: a fresh list per iteration.
#include <stdexcept>

#include "core/chaikin.hpp"
#include "fuzz/input.hpp"

using namespace wayforge;

namespace {

Points reference_chaikin(const Points& p, std::uint64_t iterations) {
    Points w = p;
    for (std::uint64_t k = 0; k < iterations; ++k) {
        Points next{p.front()};
        for (std::size_t i = 0; i + 1 < w.size(); ++i) {
            const Point a = w[i];
            const Point b = w[i + 1];
            next.push_back({(0.75 * a.x) + (0.25 * b.x), (0.75 * a.y) + (0.25 * b.y)});
            next.push_back({(0.25 * a.x) + (0.75 * b.x), (0.25 * a.y) + (0.75 * b.y)});
        }
        next.push_back(p.back());
        w = std::move(next);
    }
    return w;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Input in(data, size);
    Path2D path = in.path(100);
    if (in.flag()) {
        path.curvature();  // a filled cell, which a short path's copy keeps
    }
    const std::size_t n = path.size();
    // Up to 8 iterations normally; a count whose result cannot exist must be
    // refused before anything is allocated.
    const std::uint8_t choice = in.byte();
    const std::uint64_t iterations = choice < 240 ? choice % 9 : (std::uint64_t{58} + choice % 16) << (choice % 2);
    Path2D smoothed;
    try {
        smoothed = smoothed_path_chaikin(path, iterations);
    } catch (const std::length_error&) {
        FUZZ_CHECK(n >= 2 && iterations > 8);
        return 0;
    }
    fuzz::check_record(smoothed);
    if (n < 2) {
        FUZZ_CHECK(fuzz::same_bits(smoothed.points(), path.points()) && fuzz::same_bits(smoothed.x, path.x) &&
                   fuzz::same_bits(smoothed.y, path.y));
        FUZZ_CHECK(smoothed.associated_values.size() == path.associated_values.size());
        FUZZ_CHECK(smoothed.curvature_cell.filled() == path.curvature_cell.filled());
        return 0;
    }
    FUZZ_CHECK(iterations <= 8);
    FUZZ_CHECK(smoothed.size() == n << iterations);
    FUZZ_CHECK(smoothed.associated_values.empty());
    FUZZ_CHECK(fuzz::same_bits(smoothed.points(), reference_chaikin(path.points().to_points(), iterations)));
    return 0;
}
