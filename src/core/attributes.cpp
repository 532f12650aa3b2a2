#include "core/attributes.hpp"

#include <algorithm>
#include <cmath>

namespace wayforge {

Values compute_differences(const Values& v) {
    const std::size_t m = v.size();
    Values d(m, 0.0);
    if (m < 2) {
        return d;  // [] or [0.0]
    }
    d[0] = v[1] - v[0];
    d[m - 1] = v[m - 1] - v[m - 2];
    for (std::size_t i = 1; i + 1 < m; ++i) {
        d[i] = (v[i + 1] - v[i - 1]) * 0.5;
    }
    return d;
}

Values compute_path_length_per_point(const Points& p) {
    Values s(p.size(), 0.0);
    for (std::size_t i = 1; i < p.size(); ++i) {
        const double dx = p[i].x - p[i - 1].x;
        const double dy = p[i].y - p[i - 1].y;
        // The square root of the sum of squares, not a scaled hypotenuse,
        // so that the digits match the plain formula.
        s[i] = std::sqrt(dx * dx + dy * dy) + s[i - 1];
    }
    return s;
}

Values compute_orientation(const Points& p) {
    const std::size_t n = p.size();
    Values theta(n, 0.0);
    if (n < 2) {
        return theta;  // [] or [0.0]
    }
    theta[0] = std::atan2(p[1].y - p[0].y, p[1].x - p[0].x);
    for (std::size_t i = 1; i + 1 < n; ++i) {
        // Central difference, not halved: the angle does not depend on scale.
        theta[i] = std::atan2(p[i + 1].y - p[i - 1].y, p[i + 1].x - p[i - 1].x);
    }
    theta[n - 1] = std::atan2(p[n - 1].y - p[n - 2].y, p[n - 1].x - p[n - 2].x);
    return theta;
}

Points compute_unit_tangent_vector(const Values& x, const Values& y) {
    const Values dx = compute_differences(x);
    const Values dy = compute_differences(y);
    const std::size_t m = std::min(dx.size(), dy.size());
    Points t(m);
    for (std::size_t i = 0; i < m; ++i) {
        const double r = std::sqrt(dy[i] * dy[i] + dx[i] * dx[i]);
        t[i] = Point{dx[i] / r, dy[i] / r};
    }
    return t;
}

Values compute_curvature(const Values& x, const Values& y, std::size_t n) {
    const Values dx = compute_differences(x);
    const Values ddx = compute_differences(dx);
    const Values dy = compute_differences(y);
    const Values ddy = compute_differences(dy);
    Values k(n);
    for (std::size_t i = 0; i < n; ++i) {
        k[i] = (dx[i] * ddy[i] - ddx[i] * dy[i]) / std::pow(dx[i] * dx[i] + dy[i] * dy[i], 1.5);
    }
    return k;
}

}  // namespace wayforge
