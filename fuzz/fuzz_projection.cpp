// Nearest projection, path length from a point and the sub-path, against a
// direct transcription of their definitions.
#include <cmath>
#include <optional>

#include "core/projection.hpp"
#include "core/sub_path.hpp"
#include "fuzz/input.hpp"

using namespace wayforge;

namespace {

// Every segment in order, the smallest distance in the IEEE total order, the
// earlier segment on ties; the two end-point matches first.
std::optional<Projection> reference_projection(const Points& p, Point q, double eps) {
    const std::size_t n = p.size();
    if (n == 0) {
        return std::nullopt;
    }
    if (points_within(q, p[0], eps)) {
        return Projection{0, p[0], 0.0, 0.0, 0.0};
    }
    if (points_within(q, p[n - 1], eps)) {
        return Projection{n - 1, p[n - 1], 0.0, 0.0, 0.0};
    }
    std::optional<Projection> best;
    for (std::size_t k = 0; k + 1 < n; ++k) {
        const Point a = p[k];
        const Point m{p[k + 1].x - a.x, p[k + 1].y - a.y};
        const double t = ((q.x - a.x) * m.x + (q.y - a.y) * m.y) / (m.x * m.x + m.y * m.y);
        if (!(0.0 <= t && t < 1.0)) {
            continue;
        }
        const Point point{a.x + m.x * t, a.y + m.y * t};
        const double distance = std::sqrt((point.x - q.x) * (point.x - q.x) + (point.y - q.y) * (point.y - q.y));
        if (!best || total_order_key(distance) < total_order_key(best->distance)) {
            best = Projection{k, point, t, std::sqrt(m.x * m.x + m.y * m.y) * t, distance};
        }
    }
    return best;
}

bool same(const Projection& a, const Projection& b) {
    return a.index == b.index && fuzz::same_bits(a.point.x, b.point.x) && fuzz::same_bits(a.point.y, b.point.y) &&
           fuzz::same_bits(a.fraction, b.fraction) && fuzz::same_bits(a.offset, b.offset) &&
           fuzz::same_bits(a.distance, b.distance);
}

// The value at a projected point; at the last point its own value (there is
// nothing after it to interpolate towards).
double value_at(const Values& a, std::size_t i, double f) {
    return i + 1 >= a.size() ? a[i] : (a[i + 1] - a[i]) * f + a[i];
}

std::optional<Path2D> reference_sub_path(const Path2D& path, std::optional<Point> start, std::optional<Point> end,
                                         double eps) {
    const Points p = path.points().to_points();
    const std::size_t n = p.size();
    if (n == 0) {
        return std::nullopt;
    }
    const auto ps = reference_projection(p, start.value_or(p[0]), eps);
    const auto pe = reference_projection(p, end.value_or(p[n - 1]), eps);
    if (!ps || !pe) {
        return std::nullopt;
    }
    const std::size_t i = ps->index;
    const std::size_t j = pe->index;
    if (i > j || (i == j && ps->fraction > pe->fraction)) {
        return std::nullopt;
    }
    Points kept;
    std::vector<Values> values(path.associated_values.size());
    if (i + 1 < n && !points_within(ps->point, p[i + 1], eps)) {
        kept.push_back(ps->point);
        for (std::size_t h = 0; h < values.size(); ++h) {
            values[h].push_back(value_at(path.associated_values[h], i, ps->fraction));
        }
    }
    for (std::size_t k = i + 1; k <= j; ++k) {
        kept.push_back(p[k]);
        for (std::size_t h = 0; h < values.size(); ++h) {
            values[h].push_back(path.associated_values[h][k]);
        }
    }
    if (kept.empty() || !points_within(pe->point, kept.back(), eps)) {
        kept.push_back(pe->point);
        for (std::size_t h = 0; h < values.size(); ++h) {
            values[h].push_back(value_at(path.associated_values[h], j, pe->fraction));
        }
    }
    Path2D result = Path2D::from_points(std::move(kept));
    result.associated_values = std::move(values);
    return result;
}

// A query near the path: one of its points, moved a little, or anywhere.
Point query(fuzz::Input& in, const Points& p) {
    if (!p.empty() && in.flag()) {
        const Point base = p[in.size(p.size() - 1)];
        return {base.x + in.number() * 1e-3, base.y + in.number() * 1e-3};
    }
    return {in.number(), in.number()};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Input in(data, size);
    Path2D path = in.path(120);
    const Points p = path.points().to_points();
    const double eps = in.flag() ? 0.01 : in.number();

    const Point q = query(in, p);
    const auto got = nearest_projection(path, q, eps);
    const auto want = reference_projection(p, q, eps);
    FUZZ_CHECK(got.has_value() == want.has_value());
    if (got) {
        FUZZ_CHECK(same(*got, *want));
        FUZZ_CHECK(got->index < p.size());
    }
    const auto length = path_length_from_point(path, q, eps);
    FUZZ_CHECK(length.has_value() == got.has_value());

    const std::optional<Point> start = in.flag() ? std::optional(query(in, p)) : std::nullopt;
    const std::optional<Point> end = in.flag() ? std::optional(query(in, p)) : std::nullopt;
    const auto cut = sub_path(path, start, end, eps);
    const auto expected = reference_sub_path(path, start, end, eps);
    FUZZ_CHECK(cut.has_value() == expected.has_value());
    if (cut) {
        fuzz::check_record(*cut);
        FUZZ_CHECK(!cut->points().empty());
        FUZZ_CHECK(fuzz::same_bits(cut->points(), expected->points()));
        FUZZ_CHECK(cut->associated_values.size() == expected->associated_values.size());
        for (std::size_t h = 0; h < cut->associated_values.size(); ++h) {
            FUZZ_CHECK(fuzz::same_bits(cut->associated_values[h], expected->associated_values[h]));
        }
        FUZZ_CHECK(!cut->path_length_per_point_cell.filled());
    }
    return 0;
}
