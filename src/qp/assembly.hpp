// Turns a written quadratic program into the conic standard form
//   minimise 1/2 x'Px + q'x  subject to  Ax + s = b,  s in {0}^m_eq x R+^(m - m_eq)
// with the equality rows first, then the inequality rows (upper bound before
// lower bound per constraint), then the variables' bound rows (likewise).
#pragma once

#include <cstddef>
#include <vector>

#include "qp/constraint.hpp"
#include "qp/csc.hpp"
#include "qp/expression.hpp"
#include "qp/variables.hpp"

namespace wayforge::qp {

// Which entries of the symmetric P are stored.
enum class Triangle {
    Both,   // the full matrix
    Upper,  // the entries on and above the diagonal, all a solver that
            // knows P is symmetric reads
};

// The symmetric P with 1/2 x'Px equal to the quadratic terms: the diagonal
// carries twice the coefficient of x_i^2, each off-diagonal position the
// coefficient of x_i x_j. Zero coefficients stay as explicit entries. The
// upper triangle equals upper_triangle() of the full matrix, made directly.
CscMatrix quadratic_as_csc(const QuadraticExpression& objective, std::size_t n,
                           Triangle part = Triangle::Both);

// q: the linear coefficients as a dense vector of n entries. The constant is
// dropped. An index of n or above is an internal error.
std::vector<double> linear_as_vector(const QuadraticExpression& objective, std::size_t n);

struct ConicProblem {
    CscMatrix P;  // symmetric, n x n; both triangles or the upper one
    std::vector<double> q;
    CscMatrix A;  // m x n
    std::vector<double> b;
    std::size_t zero_cone = 0;         // m_eq: rows that hold with equality
    std::size_t nonnegative_cone = 0;  // m - m_eq: rows with A_row x <= b_row
};

// Assembles P, q, A, b and the cone sizes. A has exactly one row per entry of
// b; an inequality with neither bound contributes no row. A variable index
// outside the registry is an internal error.
ConicProblem assemble(const ProblemVariables& variables, const QuadraticExpression& objective,
                      const std::vector<Constraint>& constraints, Triangle p_part = Triangle::Both);

}  // namespace wayforge::qp
