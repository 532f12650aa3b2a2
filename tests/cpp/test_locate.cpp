#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "check.hpp"
#include "core/locate.hpp"

using namespace wayforge;

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

bool same(double a, double b) {
    using Bits = std::uint64_t;
    return (std::isnan(a) && std::isnan(b)) || std::bit_cast<Bits>(a) == std::bit_cast<Bits>(b);
}
bool finite(double u, double v) { return std::isfinite(u) && std::isfinite(v); }

struct Row {
    double length = kNaN;
    std::int64_t segment = -1;
    double offset = kNaN, x = kNaN, y = kNaN;
};

// Every segment in turn, the first of equally near ones kept.
Row brute_locate(Path2D& p, double qx, double qy) {
    Row r;
    const std::size_t n = p.size();
    if (!finite(qx, qy) || n == 0) return r;
    const Values& s = p.path_length_per_point();
    const double* x = p.x.data();
    const double* y = p.y.data();
    if (n == 1) {
        const double d2 = (x[0] - qx) * (x[0] - qx) + (y[0] - qy) * (y[0] - qy);
        if (finite(x[0], y[0])) r = {0.0, 0, std::sqrt(d2), x[0], y[0]};
        return r;
    }
    double best = kInf;
    for (std::size_t i = 0; i + 1 < n; ++i) {
        if (!finite(x[i], y[i]) || !finite(x[i + 1], y[i + 1])) continue;
        const double mx = x[i + 1] - x[i], my = y[i + 1] - y[i];
        const double t = ((qx - x[i]) * mx + (qy - y[i]) * my) / (mx * mx + my * my);
        double px = x[i], py = y[i], l = s[i];
        if (t >= 1.0) {
            px = x[i + 1], py = y[i + 1], l = s[i + 1];
        } else if (t > 0.0) {
            px = x[i] + t * mx, py = y[i] + t * my;
            l = std::min(s[i] + t * (s[i + 1] - s[i]), s[i + 1]);
        }
        const double d2 = (px - qx) * (px - qx) + (py - qy) * (py - qy);
        if (r.segment < 0 || d2 < best) {
            best = d2;
            const double side = mx * (qy - y[i]) - my * (qx - x[i]);
            const double d = std::sqrt(d2);
            r = {l, static_cast<std::int64_t>(i), side < 0.0 ? -d : d, px, py};
        }
    }
    return r;
}

std::vector<Row> locate(Path2D& p, const Values& qx, const Values& qy) {
    const std::size_t m = qx.size();
    Values length(m), offset(m), xy(2 * m);
    std::vector<std::int64_t> segment(m);
    locate_points(p, qx.data(), qy.data(), m, length.data(), segment.data(), offset.data(),
                  xy.data());
    std::vector<Row> rows(m);
    for (std::size_t i = 0; i < m; ++i)
        rows[i] = {length[i], segment[i], offset[i], xy[2 * i], xy[2 * i + 1]};
    return rows;
}

bool same_row(const Row& a, const Row& b) {
    return a.segment == b.segment && same(a.length, b.length) && same(a.offset, b.offset) &&
           same(a.x, b.x) && same(a.y, b.y);
}

// Random walks with U-turns, repeated points, axis-aligned integer steps (many
// equal distances) and the odd non-finite point, or scaled so far out that
// every squared distance overflows.
Path2D random_path(std::mt19937_64& rng, std::size_t n, bool grid, bool holes, double scale) {
    std::normal_distribution<double> step(0.0, 1.0);
    std::uniform_int_distribution<int> pick(0, 19);
    const Point axes[] = {{1, 0}, {0, 1}, {-1, 0}, {0, -1}};
    Points p;
    Point at{0, 0}, dir{1, 0};
    for (std::size_t i = 0; i < n; ++i) {
        const int r = pick(rng);
        if (r == 0) dir = Point{-dir.x, -dir.y};  // U-turn
        if (r > 2) dir = grid ? axes[r % 4] : Point{step(rng), step(rng)};
        if (r != 1) at = Point{at.x + dir.x, at.y + dir.y};  // r == 1 repeats the point
        p.push_back(holes && pick(rng) == 0 ? Point{pick(rng) % 2 ? kNaN : kInf, at.y}
                                            : Point{at.x * scale, at.y * scale});
    }
    return Path2D::from_points(std::move(p));
}

}  // namespace

TEST(locate_points_matches_every_segment_searched_in_turn) {
    std::mt19937_64 rng(7);
    std::normal_distribution<double> noise(0.0, 1.0);
    for (const std::size_t n : {0, 1, 2, 3, 5, 9, 40, 300, 2000}) {
        for (const int kind : {0, 1, 2, 3}) {
            Path2D path = random_path(rng, n, kind == 1, kind == 2, kind == 3 ? 1e300 : 1.0);
            // Along the path: on vertices, near, around and far; on the
            // half-integer grid for grid paths (ties); then non-finite ones.
            Values qx, qy;
            const double spread[] = {0.0, 0.5, 3.0, 1e6};
            for (std::size_t i = 0; i < 4 * n + 8; ++i) {
                const Point c = n ? path.points()[i / 4 % n] : Point{};
                const double dx = spread[i % 4] * noise(rng), dy = spread[i % 4] * noise(rng);
                qx.push_back(kind == 1 ? std::round(c.x + dx) * 0.5 : c.x + dx);
                qy.push_back(kind == 1 ? std::round(c.y + dy) * 0.5 : c.y + dy);
            }
            qx.insert(qx.end(), {kNaN, 0.0, kInf, 2.0});
            qy.insert(qy.end(), {0.0, -kInf, 1.0, 2.0});
            // The same queries shuffled, so that each gets other hints.
            std::vector<std::size_t> order(qx.size());
            for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
            std::shuffle(order.begin(), order.end(), rng);
            Values sx, sy;
            for (std::size_t i : order) sx.push_back(qx[i]), sy.push_back(qy[i]);
            const std::vector<Row> in_order = locate(path, qx, qy);
            Path2D copy = path;  // the index travels with the copy
            const std::vector<Row> shuffled = locate(copy, sx, sy);
            for (std::size_t k = 0; k < qx.size(); ++k) {
                const std::size_t i = order[k];
                const Row expected = brute_locate(path, qx[i], qy[i]);
                CHECK(same_row(in_order[i], expected));
                CHECK(same_row(shuffled[k], expected));
            }
        }
    }
}

TEST(locate_points_measures_along_the_path_and_signs_the_left_side) {
    Path2D p = Path2D::from_points({{0, 0}, {2, 0}, {2, 2}, {2, 2}, {kNaN, 5}, {9, 9}});
    const std::vector<Row> r = locate(p, {1.5, 3.0, 1.0, 2.0, 9.0}, {0.5, 1.0, -1.0, 3.0, 9.0});
    CHECK(same_row(r[0], Row{1.5, 0, 0.5, 1.5, 0.0}));   // equally near segments 0 and 1
    CHECK(same_row(r[1], Row{3.0, 1, -1.0, 2.0, 1.0}));  // right of travel along +y
    CHECK(same_row(r[2], Row{1.0, 0, -1.0, 1.0, 0.0}));
    CHECK(same_row(r[3], Row{4.0, 1, 1.0, 2.0, 2.0}));   // the end of 1, not the repeat 2
    CHECK_EQ(r[4].segment, 1);                           // segments next to NaN never win
    Path2D single = Path2D::from_points({{3, 4}});
    CHECK(same_row(locate(single, {0.0}, {0.0})[0], Row{0.0, 0, 5.0, 3.0, 4.0}));
    Path2D broken = Path2D::from_points({{0, 0}, {kNaN, 1}, {2, 2}});
    CHECK(same_row(locate(broken, {0.0}, {0.0})[0], Row{}));
    // A hint next to NaN or past the end must not be taken for an answer.
    for (const std::size_t hint : {std::size_t{4}, std::size_t{5}, std::size_t{100}})
        CHECK_EQ(p.segment_index().nearest(p.x.data(), p.y.data(), 9.0, 9.0, hint).segment, 1u);
    // -1000 + (0.3 - -1000) is not 0.3: a vertex is taken as it is, so both of
    // its segments give the same distance and the first one wins.
    Path2D far = Path2D::from_points({{-1000, 0}, {0.3, 0}, {0.3, 10}});
    const double s1 = far.path_length_per_point()[1];
    CHECK(same_row(locate(far, {0.3}, {-5.0})[0], Row{s1, 0, -5.0, 0.3, 0.0}));
}

namespace {

// numpy.interp over sorted s, written out plainly.
double np_interp(double l, const Values& s, const double* col) {
    const std::size_t n = s.size();
    if (std::isnan(l)) return l;
    if (n == 1 || l < s[0]) return col[0];
    if (l >= s[n - 1]) return col[n - 1];
    const auto j = static_cast<std::size_t>(std::upper_bound(s.begin(), s.end(), l) - s.begin() - 1);
    if (s[j] == l) return col[j];
    const double slope = (col[j + 1] - col[j]) / (s[j + 1] - s[j]);
    double r = slope * (l - s[j]) + col[j];
    if (std::isnan(r)) r = slope * (l - s[j + 1]) + col[j + 1];
    if (std::isnan(r) && col[j] == col[j + 1]) r = col[j];
    return r;
}

// Interpolates and returns the columns x, y, values 0 .. k-1 one after another.
Values interpolate(Path2D& p, const Values& l) {
    const std::size_t m = l.size(), k = p.associated_values.size();
    Values xy(2 * m), v(m * k), out;
    interpolate_at_lengths(p, l.data(), m, xy.data(), v.data());
    for (std::size_t c = 0; c < 2 + k; ++c)
        for (std::size_t i = 0; i < m; ++i) out.push_back(c < 2 ? xy[2 * i + c] : v[i * k + c - 2]);
    return out;
}

}  // namespace

TEST(interpolate_at_lengths_matches_numpy_interp_bit_for_bit) {
    std::mt19937_64 rng(11);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    for (const std::size_t n : {1, 2, 3, 4, 5, 6, 12, 200}) {
        Path2D p = random_path(rng, n, n % 2 == 0, false, 1.0);
        Values a, b;
        for (std::size_t i = 0; i < n; ++i) {
            a.push_back(u(rng));
            // Infinities (NaN from one end), NaN and repeated values.
            b.push_back(i % 5 == 1 ? (i % 3 ? kInf : -kInf) : i % 7 == 3 ? kNaN : std::round(u(rng)));
        }
        (void)p.add_associated_values(a);
        (void)p.add_associated_values(b);
        const Values s = p.path_length_per_point();
        Values l = s;  // every sample, then a grid past both ends, then shuffled
        for (int i = -4; i < 60; ++i) l.push_back(s.back() * i / 50.0);
        const std::size_t sorted = l.size();
        for (std::size_t i = 0; i < sorted; ++i) l.push_back(l[i]);
        std::shuffle(l.begin() + static_cast<std::ptrdiff_t>(sorted), l.end(), rng);
        l.insert(l.end(), {kNaN, -kInf, kInf, -0.0});
        const Values got = interpolate(p, l);
        const double* cols[] = {p.x.data(), p.y.data(), a.data(), b.data()};
        for (std::size_t c = 0; c < 4; ++c)
            for (std::size_t i = 0; i < l.size(); ++i)
                CHECK(same(got[c * l.size() + i], np_interp(l[i], s, cols[c])));
    }
}

TEST(interpolate_at_lengths_gives_numpys_numbers) {
    // Each row as numpy.interp gave it (NumPy 2.5), s = [0, 5, 5, 10].
    Path2D p = Path2D::from_points({{0, 0}, {3, 4}, {3, 4}, {6, 8}});
    (void)p.add_associated_values({-kInf, 5, kInf, kInf});
    const Values got = interpolate(p, {-1, 0, 2.5, 5, 7.5, 10, 11, kNaN});
    const Values expected = {0,     0,     1.5,   3,    4.5,  6,    6,    kNaN,  // x
                             0,     0,     2,     4,    6,    8,    8,    kNaN,  // y
                             -kInf, -kInf, -kInf, kInf, kInf, kInf, kInf, kNaN};
    for (std::size_t i = 0; i < expected.size(); ++i) CHECK(same(got[i], expected[i]));
    // A NaN point leaves NaN path lengths after it: numpy's search and answers.
    Path2D holed = Path2D::from_coordinates({0, 1, 2, 3, 4, 5, 6, 7, kNaN, 9}, Values(10, 0.0));
    const Values h = interpolate(holed, {0.5, 6.5, 7, 7.5, 20, 7, 3.5, -1});
    const Values hx = {0.5, 6.5, 7, kNaN, kNaN, kNaN, 3.5, 0};  // 7 after 20 differs
    for (std::size_t i = 0; i < hx.size(); ++i) CHECK(same(h[i], hx[i]));
    Path2D short_holed = Path2D::from_coordinates({0, kNaN, 1, 2}, Values(4, 0.0));
    CHECK(same(interpolate(short_holed, {0.0, 0.5})[0], 0.0));
    Path2D empty;
    CHECK(std::isnan(interpolate(empty, {1.0})[1]));
}
