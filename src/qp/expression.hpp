// Affine and quadratic expressions over registered variables, with the
// arithmetic needed to write a convex quadratic program by hand.
//
// Expressions are sparse: they hold only the variables that occur in them.
// Every key of a map receives at most two floating-point contributions per
// operation, so no result depends on the maps' iteration order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "qp/flat_map.hpp"
#include "qp/variables.hpp"

namespace wayforge::qp {

// The splitmix64 finaliser: variable indices that share their low bits (a
// stride of a power of two) still spread over the whole table.
inline std::uint64_t mix_index(std::uint64_t h) noexcept {
    h = (h ^ (h >> 30)) * 0xBF58476D1CE4E5B9ULL;
    h = (h ^ (h >> 27)) * 0x94D049BB133111EBULL;
    return h ^ (h >> 31);
}

struct IndexHash {
    std::size_t operator()(std::size_t k) const noexcept {
        return static_cast<std::size_t>(mix_index(k));
    }
};

// The coefficients of an affine expression. Most expressions hold one to
// three variables, which fit without an allocation.
using CoefficientMap = FlatMap<std::size_t, double, IndexHash, 3>;

// The value sum(c_k * x_k) + constant. A coefficient that becomes 0.0 stays.
struct AffineExpression {
    CoefficientMap coefficients;
    double constant = 0.0;

    AffineExpression() = default;
    // The expression 1.0 * v.
    AffineExpression(Variable v) { coefficients.try_emplace(v.index(), 1.0); }  // NOLINT: implicit by design

    AffineExpression& operator+=(const AffineExpression& other);
};

// An ordered pair of variable indices with first <= second.
struct IndexPair {
    std::size_t first;
    std::size_t second;
    friend bool operator==(const IndexPair&, const IndexPair&) = default;
};

// Mixes both indices through the splitmix64 finaliser, so that the pairs of a
// banded matrix spread over the buckets instead of colliding on a sum.
struct IndexPairHash {
    std::size_t operator()(const IndexPair& p) const noexcept {
        return static_cast<std::size_t>(mix_index(static_cast<std::uint64_t>(p.first) * 0x9E3779B97F4A7C15ULL +
                                                  static_cast<std::uint64_t>(p.second)));
    }
};

// The quadratic terms of an expression. The square of a three-term affine
// expression has six, which fit without an allocation.
using QuadraticMap = FlatMap<IndexPair, double, IndexPairHash, 6>;

// The value sum(q_ij * x_i * x_j) + affine part; only pairs with i <= j are
// keys, each holding the full coefficient of its product.
struct QuadraticExpression {
    QuadraticMap quadratic;
    AffineExpression affine;

    QuadraticExpression& operator+=(const QuadraticExpression& other);
};

AffineExpression operator*(Variable v, double c);
AffineExpression operator*(double c, Variable v);
AffineExpression operator-(Variable v, double c);
AffineExpression operator-(AffineExpression a, double c);
AffineExpression operator-(AffineExpression a, Variable v);
AffineExpression operator+(double c, AffineExpression a);
AffineExpression operator-(AffineExpression a);

// The product rule: every pair of terms, the cross terms of the constants,
// the product of the constants.
QuadraticExpression operator*(AffineExpression a, const AffineExpression& b);
QuadraticExpression square(const AffineExpression& a);

}  // namespace wayforge::qp
