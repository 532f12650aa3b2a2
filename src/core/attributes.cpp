#include "core/attributes.hpp"

#include <algorithm>
#include <cmath>

namespace wayforge {

namespace {

// Entry i of compute_differences(v) for the m values at v, with the same
// arithmetic, so that the attributes need no list of differences.
inline double difference(const double* v, std::size_t m, std::size_t i) {
    if (m < 2) {
        return 0.0;
    }
    if (i == 0) {
        return v[1] - v[0];
    }
    if (i == m - 1) {
        return v[m - 1] - v[m - 2];
    }
    return (v[i + 1] - v[i - 1]) * 0.5;
}

// Entry i of compute_differences(compute_differences(v)): the ends of the
// inner list take one-sided differences of the outer one's end entries.
inline double second_difference(const double* v, std::size_t m, std::size_t i) {
    if (m < 2) {
        return 0.0;
    }
    if (i == 0) {
        return difference(v, m, 1) - difference(v, m, 0);
    }
    if (i == m - 1) {
        return difference(v, m, m - 1) - difference(v, m, m - 2);
    }
    return (difference(v, m, i + 1) - difference(v, m, i - 1)) * 0.5;
}

inline double curvature_from(double dx, double ddx, double dy, double ddy) {
    return (dx * ddy - ddx * dy) / std::pow(dx * dx + dy * dy, 1.5);
}

inline Point unit_from(double dx, double dy) {
    const double r = std::sqrt(dy * dy + dx * dx);
    return Point{dx / r, dy / r};
}

}  // namespace

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

Values compute_path_length_per_point(PointsView p) {
    const std::size_t n = p.size();
    const double* x = p.x();
    const double* y = p.y();
    // Zeros first, then indexed writes: faster here than appending, whose
    // size bookkeeping sits in the loop.
    Values s(n, 0.0);
    for (std::size_t i = 1; i < n; ++i) {
        const double dx = x[i] - x[i - 1];
        const double dy = y[i] - y[i - 1];
        // The square root of the sum of squares, not a scaled hypotenuse,
        // so that the digits match the plain formula.
        s[i] = std::sqrt(dx * dx + dy * dy) + s[i - 1];
    }
    return s;
}

Values compute_orientation(PointsView p) {
    const std::size_t n = p.size();
    if (n < 2) {
        return Values(n, 0.0);  // [] or [0.0]
    }
    const double* x = p.x();
    const double* y = p.y();
    Values theta;
    theta.reserve(n);
    theta.push_back(std::atan2(y[1] - y[0], x[1] - x[0]));
    for (std::size_t i = 1; i + 1 < n; ++i) {
        // Central difference, not halved: the angle does not depend on scale.
        theta.push_back(std::atan2(y[i + 1] - y[i - 1], x[i + 1] - x[i - 1]));
    }
    theta.push_back(std::atan2(y[n - 1] - y[n - 2], x[n - 1] - x[n - 2]));
    return theta;
}

// One pass, no lists of differences: each entry is the difference that
// compute_differences gives at that index, of x and of y over their own
// lengths (a surplus of the longer list takes part, as in the lists).
Points compute_unit_tangent_vector(const Values& xs, const Values& ys) {
    return compute_unit_tangent_vector(xs.data(), xs.size(), ys.data(), ys.size());
}

Points compute_unit_tangent_vector(const double* x, std::size_t mx, const double* y, std::size_t my) {
    const std::size_t m = std::min(mx, my);
    auto at_index = [&](std::size_t i) { return unit_from(difference(x, mx, i), difference(y, my, i)); };
    Points t;
    t.reserve(m);
    std::size_t i = 0;
    for (; i < std::min<std::size_t>(m, 1); ++i) {
        t.push_back(at_index(i));
    }
    // From index 1 to m - 2 both differences are central.
    for (; i + 1 < m; ++i) {
        t.push_back(unit_from((x[i + 1] - x[i - 1]) * 0.5, (y[i + 1] - y[i - 1]) * 0.5));
    }
    for (; i < m; ++i) {
        t.push_back(at_index(i));
    }
    return t;
}

// One pass, no lists of differences: the same arithmetic per point as the
// four lists compute_differences(x), of that, and likewise for y.
Values compute_curvature(const Values& xs, const Values& ys, std::size_t n) {
    return compute_curvature(xs.data(), xs.size(), ys.data(), ys.size(), n);
}

Values compute_curvature(const double* x, std::size_t mx, const double* y, std::size_t my,
                         std::size_t n) {
    auto at_index = [&](std::size_t i) {
        return curvature_from(difference(x, mx, i), second_difference(x, mx, i),
                              difference(y, my, i), second_difference(y, my, i));
    };
    Values k;
    k.reserve(n);
    std::size_t i = 0;
    for (; i < std::min<std::size_t>(n, 2); ++i) {
        k.push_back(at_index(i));
    }
    // From index 2 to m - 3 the second differences of both lists are central
    // differences of central differences. These points go in blocks: the
    // numerators and the bases of pow first (plain arithmetic the compiler
    // can vectorise), then one pow per point in a tight loop, then the
    // quotients. Each value is computed with the same operations as above.
    const std::size_t m = std::min(mx, my);
    const std::size_t inner_end = std::max(i, std::min(n, m >= 3 ? m - 2 : 0));
    constexpr std::size_t kBlock = 256;
    double numerator[kBlock];
    double denominator[kBlock];
    while (i < inner_end) {
        const std::size_t count = std::min(kBlock, inner_end - i);
        for (std::size_t j = 0; j < count; ++j) {
            const std::size_t c = i + j;
            const double dx = (x[c + 1] - x[c - 1]) * 0.5;
            const double dy = (y[c + 1] - y[c - 1]) * 0.5;
            const double ddx = ((x[c + 2] - x[c]) * 0.5 - (x[c] - x[c - 2]) * 0.5) * 0.5;
            const double ddy = ((y[c + 2] - y[c]) * 0.5 - (y[c] - y[c - 2]) * 0.5) * 0.5;
            numerator[j] = dx * ddy - ddx * dy;
            denominator[j] = dx * dx + dy * dy;
        }
        for (std::size_t j = 0; j < count; ++j) {
            denominator[j] = std::pow(denominator[j], 1.5);
        }
        for (std::size_t j = 0; j < count; ++j) {
            numerator[j] = numerator[j] / denominator[j];
        }
        k.insert(k.end(), numerator, numerator + count);
        i += count;
    }
    for (; i < n; ++i) {
        k.push_back(at_index(i));
    }
    return k;
}

}  // namespace wayforge
