#include "core/chaikin.hpp"

#include <stdexcept>

namespace wayforge {

namespace {

// n * 2^k, or std::length_error when that many points cannot be held in one
// list (the shift would overflow, or the list would exceed its maximum size).
std::size_t result_size(std::size_t n, std::uint64_t k, std::size_t max_size) {
    if (k >= 64 || n > (max_size >> k)) {
        throw std::length_error("smoothed_path_chaikin: too many points");
    }
    return n << k;
}

}  // namespace

Path2D smoothed_path_chaikin(const Path2D& path, std::uint64_t num_iterations) {
    const Points& p = path.points;
    const std::size_t n = p.size();
    if (n < 2) {
        return Path2D(path);
    }
    Points w;
    const std::size_t total = result_size(n, num_iterations, w.max_size());

    // Every buffer of the result is reserved before the first iteration, so a
    // size that cannot be allocated fails before any work is done.
    w.reserve(total);
    Values x;
    Values y;
    x.reserve(total);
    y.reserve(total);

    w.assign(p.begin(), p.end());
    const Point first = p.front();
    const Point last = p.back();
    for (std::uint64_t iteration = 0; iteration < num_iterations; ++iteration) {
        // The new list is built in place, from the back: the pair of segment i
        // lands at 2i+1 and 2i+2, never below i+1, so points i and i+1 are
        // still unchanged when segment i is cut.
        const std::size_t m = w.size();
        w.resize(2 * m);
        w[2 * m - 1] = last;
        for (std::size_t i = m - 1; i-- > 0;) {
            const Point a = w[i];
            const Point b = w[i + 1];
            w[2 * i + 1] = Point{(0.75 * a.x) + (0.25 * b.x), (0.75 * a.y) + (0.25 * b.y)};
            w[2 * i + 2] = Point{(0.25 * a.x) + (0.75 * b.x), (0.25 * a.y) + (0.75 * b.y)};
        }
        w[0] = first;
    }

    // The record from_points builds, filled into the reserved buffers.
    Path2D result;
    for (const Point& point : w) {
        x.push_back(point.x);
        y.push_back(point.y);
    }
    result.points = std::move(w);
    result.x = std::move(x);
    result.y = std::move(y);
    return result;
}

}  // namespace wayforge
