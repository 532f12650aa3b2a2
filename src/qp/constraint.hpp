// Constraints of a quadratic program, each over one affine expression e.
#pragma once

#include <optional>
#include <utility>

#include "qp/expression.hpp"

namespace wayforge::qp {

struct Constraint {
    enum class Kind { Equality, Inequality };

    Kind kind = Kind::Equality;
    std::optional<double> lower;  // inequality only; absent = not enforced
    std::optional<double> upper;  // inequality only; absent = not enforced
    AffineExpression expression;

    // e = 0; a right-hand side is folded into e's constant.
    static Constraint equality(AffineExpression e) {
        return Constraint{Kind::Equality, std::nullopt, std::nullopt, std::move(e)};
    }
    // lower <= e <= upper.
    static Constraint inequality(std::optional<double> lower, AffineExpression e,
                                 std::optional<double> upper) {
        return Constraint{Kind::Inequality, lower, upper, std::move(e)};
    }
};

}  // namespace wayforge::qp
