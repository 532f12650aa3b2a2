#include "qp/assembly.hpp"

#include <algorithm>

#include "core/panic.hpp"

namespace wayforge::qp {

CscMatrix quadratic_as_csc(const QuadraticExpression& objective, std::size_t n, Triangle part) {
    if (objective.quadratic.empty()) {
        return CscMatrix::zeros(n, n);
    }
    const bool both = part == Triangle::Both;
    // The matrix covers every index that occurs, as a triplet builder's would.
    std::size_t rows = n;
    std::size_t cols = n;
    for (const auto& entry : objective.quadratic) {
        const IndexPair pair = entry.first;
        rows = std::max(rows, (both ? pair.second : pair.first) + 1);
        cols = std::max(cols, pair.second + 1);
    }

    // The keys are distinct pairs, so no two entries share a position: count
    // the entries of each column, place them, then order each column by row
    // (a column holds a few entries).
    CscMatrix m;
    m.rows = rows;
    m.cols = cols;
    m.column_starts.assign(cols + 1, 0);
    for (const auto& entry : objective.quadratic) {
        const IndexPair pair = entry.first;
        ++m.column_starts[pair.second + 1];
        if (both && pair.first != pair.second) {
            ++m.column_starts[pair.first + 1];
        }
    }
    for (std::size_t c = 0; c < cols; ++c) {
        m.column_starts[c + 1] += m.column_starts[c];
    }
    const std::size_t count = m.column_starts[cols];
    m.row_indices.resize(count);
    m.values.resize(count);
    std::vector<std::size_t> next(m.column_starts.begin(), m.column_starts.end() - 1);
    auto place = [&](std::size_t row, std::size_t col, double value) {
        const std::size_t at = next[col]++;
        m.row_indices[at] = row;
        m.values[at] = value;
    };
    for (const auto& [pair, v] : objective.quadratic) {
        if (pair.first == pair.second) {
            place(pair.first, pair.first, 2.0 * v);
        } else {
            place(pair.first, pair.second, v);
            if (both) {
                place(pair.second, pair.first, v);
            }
        }
    }
    sort_columns(m);
    return m;
}

std::vector<double> linear_as_vector(const QuadraticExpression& objective, std::size_t n) {
    std::vector<double> q(n, 0.0);
    for (const auto& [k, l_k] : objective.affine.coefficients) {
        check(k < n, "linear term refers to a variable outside the registry");
        q[k] = l_k + q[k];
    }
    return q;
}

namespace {

// Walks the rows of A in their order: the equality rows, then per inequality
// its upper and lower row, then per variable its upper and lower bound row.
// `expression(e, negated, b)` receives a constraint row (its coefficients
// negated for a lower bound), `bound(k, coefficient, b)` a variable's bound
// row; `equalities_done()` is called between the equality rows and the rest.
template <class ExpressionRow, class BoundRow, class Between>
void for_each_row(const ProblemVariables& variables, const std::vector<Constraint>& constraints,
                  ExpressionRow&& expression, BoundRow&& bound, Between&& equalities_done) {
    for (const Constraint& c : constraints) {
        if (c.kind != Constraint::Kind::Equality) continue;
        expression(c.expression, false, -c.expression.constant);
    }
    equalities_done();
    for (const Constraint& c : constraints) {
        if (c.kind != Constraint::Kind::Inequality) continue;
        const double constant = c.expression.constant;
        if (c.upper) {
            expression(c.expression, false, *c.upper - constant);
        }
        if (c.lower) {
            expression(c.expression, true, -(*c.lower - constant));
        }
    }
    const std::vector<VariableBounds>& bounds = variables.records();
    for (std::size_t k = 0; k < bounds.size(); ++k) {
        if (bounds[k].upper) {
            bound(k, 1.0, *bounds[k].upper);
        }
        if (bounds[k].lower) {
            bound(k, -1.0, -*bounds[k].lower);
        }
    }
}

}  // namespace

ConicProblem assemble(const ProblemVariables& variables, const QuadraticExpression& objective,
                      const std::vector<Constraint>& constraints, Triangle p_part) {
    const std::size_t n = variables.size();
    ConicProblem problem;
    problem.P = quadratic_as_csc(objective, n, p_part);
    check(problem.P.rows == n && problem.P.cols == n,
          "quadratic term refers to a variable outside the registry");
    problem.q = linear_as_vector(objective, n);

    // A is written straight into compressed columns in two passes over the
    // rows: the first counts each column's entries and collects b, the second
    // places the entries. Rows are visited in ascending order, so each column
    // comes out sorted, and a row never holds a variable twice.
    CscMatrix& a = problem.A;
    a.cols = n;
    a.column_starts.assign(n + 1, 0);
    std::vector<double>& b = problem.b;
    std::size_t m_eq = 0;
    for_each_row(
        variables, constraints,
        [&](const AffineExpression& e, bool, double rhs) {
            for (const auto& entry : e.coefficients) {
                check(entry.first < n, "constraint refers to a variable outside the registry");
                ++a.column_starts[entry.first + 1];
            }
            b.push_back(rhs);
        },
        [&](std::size_t k, double, double rhs) {
            ++a.column_starts[k + 1];
            b.push_back(rhs);
        },
        [&] { m_eq = b.size(); });
    for (std::size_t c = 0; c < n; ++c) {
        a.column_starts[c + 1] += a.column_starts[c];
    }
    a.row_indices.resize(a.column_starts[n]);
    a.values.resize(a.column_starts[n]);
    std::vector<std::size_t> next(a.column_starts.begin(), a.column_starts.end() - 1);
    std::size_t r = 0;
    for_each_row(
        variables, constraints,
        [&](const AffineExpression& e, bool negated, double) {
            for (const auto& [k, c_k] : e.coefficients) {
                const std::size_t at = next[k]++;
                a.row_indices[at] = r;
                a.values[at] = negated ? -c_k : c_k;
            }
            ++r;
        },
        [&](std::size_t k, double coefficient, double) {
            const std::size_t at = next[k]++;
            a.row_indices[at] = r;
            a.values[at] = coefficient;
            ++r;
        },
        [] {});

    // Rows without coefficients still count: A has one row per entry of b.
    a.rows = r;
    problem.zero_cone = m_eq;
    problem.nonnegative_cone = r - m_eq;
    return problem;
}

}  // namespace wayforge::qp
