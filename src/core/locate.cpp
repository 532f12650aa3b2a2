#include "core/locate.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "core/segment_index.hpp"

namespace wayforge {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// The path length of a point found on segment j: the segment's end values
// exactly at its ends, and never past its end inside it.
inline double length_at(const Values& s, std::size_t j, double t) noexcept {
    if (t == 0.0) {
        return s[j];
    }
    if (t == 1.0) {
        return s[j + 1];
    }
    return std::min(s[j] + t * (s[j + 1] - s[j]), s[j + 1]);
}

// numpy.interp's search (binary_search_with_guess), step for step: the j with
// s[j] <= key < s[j + 1], -1 before s[0], n after s[n - 1] and n - 1 at it.
// Following it exactly picks numpy's entry among repeated path lengths, and
// numpy's answer where a NaN point has made s unsorted. The guess is the
// previous answer: lengths in order mostly cost two or three comparisons.
std::ptrdiff_t search_with_guess(double key, const double* s, std::ptrdiff_t n,
                                 std::ptrdiff_t guess) noexcept {
    constexpr std::ptrdiff_t kNear = 8;
    if (key > s[n - 1]) {
        return n;
    }
    if (key < s[0]) {
        return -1;
    }
    if (n <= 4) {
        std::ptrdiff_t i = 1;
        while (i < n && key >= s[i]) {
            ++i;
        }
        return i - 1;
    }
    guess = std::max<std::ptrdiff_t>(std::min(guess, n - 3), 1);
    std::ptrdiff_t low = 0;
    std::ptrdiff_t high = n;
    if (key < s[guess]) {
        if (key >= s[guess - 1]) {
            return guess - 1;
        }
        high = guess - 1;
        if (guess > kNear && key >= s[guess - kNear]) {
            low = guess - kNear;
        }
    } else {
        if (key < s[guess + 1]) {
            return guess;
        }
        if (key < s[guess + 2]) {
            return guess + 1;
        }
        low = guess + 2;
        if (guess < n - kNear - 1 && key < s[guess + kNear]) {
            high = guess + kNear;
        }
    }
    while (low < high) {
        const std::ptrdiff_t mid = low + ((high - low) >> 1);
        if (key >= s[mid]) {
            low = mid + 1;
        } else {
            high = mid;
        }
    }
    return low - 1;
}

// numpy.interp's value at length l for the interval j that search_with_guess
// found: the entry itself on a sample, else the slope from the left end, and
// from the right end when that gives NaN (an infinite value at one end).
inline double interp_at(const double* col, const double* s, std::ptrdiff_t j, std::ptrdiff_t n,
                        double l) noexcept {
    if (j < 0) {
        return col[0];
    }
    if (j >= n - 1) {
        return col[n - 1];
    }
    if (s[j] == l) {
        return col[j];
    }
    const double slope = (col[j + 1] - col[j]) / (s[j + 1] - s[j]);
    double r = slope * (l - s[j]) + col[j];
    if (std::isnan(r)) {
        r = slope * (l - s[j + 1]) + col[j + 1];
        if (std::isnan(r) && col[j] == col[j + 1]) {
            r = col[j];
        }
    }
    return r;
}

// Queries from this many on may be answered in an order of their own.
constexpr std::size_t kReorderFrom = 2048;

// Sorts by the upper 32 bits: four stable passes of 8 bits each.
void sort_by_upper_half(std::vector<std::uint64_t>& keys) {
    std::vector<std::uint64_t> spare(keys.size());
    for (unsigned shift = 32; shift < 64; shift += 8) {
        std::size_t start[257] = {};
        for (const std::uint64_t k : keys) {
            ++start[((k >> shift) & 255) + 1];
        }
        for (std::size_t d = 0; d < 256; ++d) {
            start[d + 1] += start[d];
        }
        for (const std::uint64_t k : keys) {
            spare[start[(k >> shift) & 255]++] = k;
        }
        keys.swap(spare);
    }
}

// The order in which to answer the queries, each query's index in the low 32
// bits; empty for the order as given. Each answer is the hint for the next
// query, and consecutive queries share the parts of the tree and of the path
// they read, which pays only when consecutive queries lie near each other.
// Queries in track order do. Queries in no such order (a random sample, say)
// are answered along a Hilbert curve through their positions instead, which
// makes them so. The answers do not depend on the order.
std::vector<std::uint64_t> answer_order(const double* qx, const double* qy, std::size_t m) {
    if (m < kReorderFrom || m > std::numeric_limits<std::uint32_t>::max()) {
        return {};
    }
    double low_x = std::numeric_limits<double>::infinity();
    double low_y = low_x;
    double high_x = -low_x;
    double high_y = -low_x;
    for (std::size_t i = 0; i < m; ++i) {
        if (std::isfinite(qx[i]) && std::isfinite(qy[i])) {
            low_x = std::min(low_x, qx[i]);
            low_y = std::min(low_y, qy[i]);
            high_x = std::max(high_x, qx[i]);
            high_y = std::max(high_y, qy[i]);
        }
    }
    const HilbertGrid grid(low_x, low_y, high_x, high_y);
    // Near means in the same cell of a coarser grid with about 16 queries a
    // cell; the order as given stays when at least half the steps are near.
    unsigned coarse = 16;
    while (coarse > 1 && (std::uint64_t{1} << (2 * coarse)) > m / 16) {
        --coarse;
    }
    const unsigned shift = 16 - coarse;
    std::size_t near = 0;
    std::uint32_t last_column = grid.column(qx[0]) >> shift;
    std::uint32_t last_row = grid.row(qy[0]) >> shift;
    for (std::size_t i = 1; i < m; ++i) {
        const std::uint32_t column = grid.column(qx[i]) >> shift;
        const std::uint32_t row = grid.row(qy[i]) >> shift;
        near += static_cast<std::size_t>(column == last_column && row == last_row);
        last_column = column;
        last_row = row;
    }
    if (2 * near >= m) {
        return {};
    }
    std::vector<std::uint64_t> order(m);
    for (std::size_t i = 0; i < m; ++i) {
        order[i] = std::uint64_t{HilbertGrid::key(grid.column(qx[i]), grid.row(qy[i]))} << 32 | i;
    }
    sort_by_upper_half(order);
    return order;
}

}  // namespace

void locate_points(Path2D& path, const double* qx, const double* qy, std::size_t m,
                   double* length, std::int64_t* segment, double* offset, double* point_xy) {
    auto write = [&](std::size_t i, double l, std::int64_t j, double o, double px, double py) {
        length[i] = l;
        segment[i] = j;
        offset[i] = o;
        point_xy[2 * i] = px;
        point_xy[2 * i + 1] = py;
    };
    auto finite = [](double u, double v) { return std::isfinite(u) && std::isfinite(v); };
    const std::size_t n = path.size();
    const double* x = path.x.data();
    const double* y = path.y.data();
    if (n == 1 && finite(x[0], y[0])) {
        for (std::size_t i = 0; i < m; ++i) {
            if (!finite(qx[i], qy[i])) {
                write(i, kNaN, -1, kNaN, kNaN, kNaN);
                continue;
            }
            const double dx = x[0] - qx[i];
            const double dy = y[0] - qy[i];
            write(i, 0.0, 0, std::sqrt(dx * dx + dy * dy), x[0], y[0]);
        }
        return;
    }
    const SegmentIndex* index = n > 1 ? &path.segment_index() : nullptr;
    if (index == nullptr || index->empty()) {
        for (std::size_t i = 0; i < m; ++i) {
            write(i, kNaN, -1, kNaN, kNaN, kNaN);
        }
        return;
    }
    const Values& s = path.path_length_per_point();
    // The previous answer is a segment near the query (see answer_order),
    // whose distance prunes most of the tree from the start.
    std::size_t hint = SegmentIndex::kNone;
    const std::vector<std::uint64_t> order = answer_order(qx, qy, m);
    for (std::size_t k = 0; k < m; ++k) {
        const std::size_t i = order.empty() ? k : static_cast<std::uint32_t>(order[k]);
        const double px = qx[i];
        const double py = qy[i];
        if (!finite(px, py)) {
            write(i, kNaN, -1, kNaN, kNaN, kNaN);
            continue;
        }
        const SegmentIndex::Hit hit = index->nearest(x, y, px, py, hint);
        const std::size_t j = hint = hit.segment;
        // Left of the direction of travel is positive; a zero-length segment
        // has cross 0 and gives the unsigned distance.
        const double cross = (x[j + 1] - x[j]) * (py - y[j]) - (y[j + 1] - y[j]) * (px - x[j]);
        const double distance = std::sqrt(hit.point.d2);
        write(i, length_at(s, j, hit.point.t), static_cast<std::int64_t>(j),
              cross < 0.0 ? -distance : distance, hit.point.x, hit.point.y);
    }
}

void interpolate_at_lengths(Path2D& path, const double* lengths, std::size_t m,
                            double* points_xy, double* values) {
    const std::size_t n = path.size();
    const std::size_t k = path.associated_values.size();
    if (n == 0) {
        std::fill(points_xy, points_xy + 2 * m, kNaN);
        std::fill(values, values + m * k, kNaN);
        return;
    }
    // Every column is read at the same interval: one search per length.
    std::vector<const double*> columns{path.x.data(), path.y.data()};
    for (const Values& v : path.associated_values) {
        columns.push_back(v.data());
    }
    const double* s = path.path_length_per_point().data();
    const auto count = static_cast<std::ptrdiff_t>(n);
    std::ptrdiff_t j = 0;
    for (std::size_t i = 0; i < m; ++i) {
        const double l = lengths[i];
        double* out_xy = points_xy + 2 * i;
        double* out_values = values + i * k;
        if (std::isnan(l)) {
            out_xy[0] = out_xy[1] = l;
            std::fill(out_values, out_values + k, l);
            continue;
        }
        // numpy.interp answers a one-point list without searching.
        j = count == 1 ? 0 : search_with_guess(l, s, count, j);
        out_xy[0] = interp_at(columns[0], s, j, count, l);
        out_xy[1] = interp_at(columns[1], s, j, count, l);
        for (std::size_t c = 0; c < k; ++c) {
            out_values[c] = interp_at(columns[2 + c], s, j, count, l);
        }
    }
}

}  // namespace wayforge
