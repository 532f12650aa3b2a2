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

// Cuts the corners of one coordinate list in place. The coordinates of a
// point never mix, so running this over x and over y gives the points that
// cutting the point list would, each coordinate computed alike.
void cut_corners(Values& w, std::uint64_t num_iterations) {
    const double first = w.front();
    const double last = w.back();
    for (std::uint64_t iteration = 0; iteration < num_iterations; ++iteration) {
        // The new list is built in place, from the back: the pair of segment i
        // lands at 2i+1 and 2i+2, never below i+1, so values i and i+1 are
        // still unchanged when segment i is cut.
        const std::size_t m = w.size();
        w.resize(2 * m);
        w[2 * m - 1] = last;
        for (std::size_t i = m - 1; i-- > 0;) {
            const double a = w[i];
            const double b = w[i + 1];
            w[2 * i + 1] = (0.75 * a) + (0.25 * b);
            w[2 * i + 2] = (0.25 * a) + (0.75 * b);
        }
        w[0] = first;
    }
}

}  // namespace

Path2D smoothed_path_chaikin(const Path2D& path, std::uint64_t num_iterations) {
    const std::size_t n = path.size();
    if (n < 2) {
        return Path2D(path);
    }
    Path2D result;
    Values& x = result.x;
    Values& y = result.y;
    const std::size_t total = result_size(n, num_iterations, x.max_size());

    // Both lists of the result are reserved before the first iteration, so a
    // size that cannot be allocated fails before any work is done.
    x.reserve(total);
    y.reserve(total);
    // The first n values: a surplus of the longer list never forms a point.
    x.assign(path.x.begin(), path.x.begin() + static_cast<std::ptrdiff_t>(n));
    y.assign(path.y.begin(), path.y.begin() + static_cast<std::ptrdiff_t>(n));
    cut_corners(x, num_iterations);
    cut_corners(y, num_iterations);
    return result;
}

}  // namespace wayforge
