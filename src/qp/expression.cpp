#include "qp/expression.hpp"

#include <algorithm>
#include <utility>

namespace wayforge::qp {

AffineExpression& AffineExpression::operator+=(const AffineExpression& other) {
    for (const auto& [k, value] : other.coefficients) {
        auto [it, inserted] = coefficients.try_emplace(k, value);
        if (!inserted) {
            it->second = it->second + value;
        }
    }
    constant = constant + other.constant;
    return *this;
}

QuadraticExpression& QuadraticExpression::operator+=(const QuadraticExpression& other) {
    for (const auto& [pair, value] : other.quadratic) {
        auto [it, inserted] = quadratic.try_emplace(pair, value);
        if (!inserted) {
            it->second = it->second + value;
        }
    }
    affine += other.affine;
    return *this;
}

AffineExpression operator*(Variable v, double c) {
    AffineExpression e;
    e.coefficients.try_emplace(v.index(), c);
    return e;
}

AffineExpression operator*(double c, Variable v) { return v * c; }

AffineExpression operator-(Variable v, double c) {
    AffineExpression e(v);
    e.constant = -c;
    return e;
}

AffineExpression operator-(AffineExpression a, double c) {
    a.constant = a.constant + (-c);
    return a;
}

AffineExpression operator-(AffineExpression a, Variable v) {
    auto [it, inserted] = a.coefficients.try_emplace(v.index(), -1.0);
    if (!inserted) {
        it->second = it->second - 1.0;
    }
    return a;
}

AffineExpression operator+(double c, AffineExpression a) {
    a.constant = a.constant + c;
    return a;
}

AffineExpression operator-(AffineExpression a) {
    for (auto& entry : a.coefficients) {
        entry.second = -entry.second;
    }
    a.constant = -a.constant;
    return a;
}

QuadraticExpression operator*(AffineExpression a, const AffineExpression& b) {
    QuadraticExpression r;
    for (const auto& [i, a_i] : a.coefficients) {
        for (const auto& [j, b_j] : b.coefficients) {
            const IndexPair key{std::min(i, j), std::max(i, j)};
            auto [it, inserted] = r.quadratic.try_emplace(key, b_j * a_i);
            if (!inserted) {
                it->second = it->second + b_j * a_i;
            }
        }
    }
    const double alpha = a.constant;
    const double beta = b.constant;
    // Linear part: A * beta, then B * alpha added entry-wise.
    for (auto& entry : a.coefficients) {
        entry.second = entry.second * beta;
    }
    r.affine.coefficients = std::move(a.coefficients);
    for (const auto& [k, b_k] : b.coefficients) {
        auto [it, inserted] = r.affine.coefficients.try_emplace(k, b_k * alpha);
        if (!inserted) {
            it->second = it->second + b_k * alpha;
        }
    }
    r.affine.constant = alpha * beta;
    return r;
}

QuadraticExpression square(const AffineExpression& a) { return AffineExpression(a) * a; }

}  // namespace wayforge::qp
