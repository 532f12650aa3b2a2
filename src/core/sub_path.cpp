#include "core/sub_path.hpp"

#include <vector>

#include "core/panic.hpp"
#include "core/projection.hpp"

namespace wayforge {

namespace {

// The value at a projected point: interpolated along segment i, or the value
// of point i itself when i is the last point (an end-point match has fraction
// 0, and there is no value after the last one to interpolate towards).
double value_at(const Values& a, std::size_t i, double fraction) {
    if (i + 1 >= a.size()) {
        return a[i];
    }
    return (a[i + 1] - a[i]) * fraction + a[i];
}

}  // namespace

std::optional<Path2D> sub_path(const Path2D& path, std::optional<Point> start,
                               std::optional<Point> end, double epsilon) {
    const PointsView p = path.points();
    const std::size_t n = p.size();
    if (n == 0) {
        return std::nullopt;
    }
    const std::optional<Projection> ps = nearest_projection(path, start.value_or(p[0]), epsilon);
    if (!ps) {
        return std::nullopt;
    }
    const std::optional<Projection> pe = nearest_projection(path, end.value_or(p[n - 1]), epsilon);
    if (!pe) {
        return std::nullopt;
    }
    const std::size_t i = ps->index;
    const std::size_t j = pe->index;
    if (i > j || (i == j && ps->fraction > pe->fraction)) {
        return std::nullopt;
    }

    const std::vector<Values>& values = path.associated_values;
    for (const Values& a : values) {
        check(a.size() == n, "an associated value list does not have one value per point");
    }
    // The result's coordinate lists are filled directly: the record that
    // construction from the kept points gives.
    Path2D result;
    Values& kx = result.x;
    Values& ky = result.y;
    kx.reserve(j - i + 2);
    ky.reserve(j - i + 2);
    auto keep = [&](Point q) {
        kx.push_back(q.x);
        ky.push_back(q.y);
    };
    std::vector<Values> kept_values(values.size());
    for (Values& v : kept_values) {
        v.reserve(j - i + 2);
    }

    // A projected start next to the following point is dropped: that point
    // becomes the first one.
    if (i + 1 < n && !points_within(ps->point, p[i + 1], epsilon)) {
        keep(ps->point);
        for (std::size_t h = 0; h < values.size(); ++h) {
            kept_values[h].push_back(value_at(values[h], i, ps->fraction));
        }
    }
    // Points i+1 ... j (none when i == j), as one block per list.
    if (i < j) {
        kx.insert(kx.end(), path.x.begin() + (i + 1), path.x.begin() + (j + 1));
        ky.insert(ky.end(), path.y.begin() + (i + 1), path.y.begin() + (j + 1));
        for (std::size_t h = 0; h < values.size(); ++h) {
            const Values& a = values[h];
            kept_values[h].insert(kept_values[h].end(), a.begin() + (i + 1), a.begin() + (j + 1));
        }
    }
    if (kx.empty() || !points_within(pe->point, Point{kx.back(), ky.back()}, epsilon)) {
        keep(pe->point);
        for (std::size_t h = 0; h < values.size(); ++h) {
            kept_values[h].push_back(value_at(values[h], j, pe->fraction));
        }
    }

    result.associated_values = std::move(kept_values);
    return result;
}

}  // namespace wayforge
