#include "qp/assembly.hpp"

#include "core/panic.hpp"

namespace wayforge::qp {

CscMatrix quadratic_as_csc(const QuadraticExpression& objective, std::size_t n) {
    if (objective.quadratic.empty()) {
        return CscMatrix::zeros(n, n);
    }
    TripletBuilder triplets(n, n);
    triplets.reserve(2 * objective.quadratic.size());
    for (const auto& [pair, v] : objective.quadratic) {
        if (pair.first == pair.second) {
            triplets.add(pair.first, pair.first, 2.0 * v);
        } else {
            triplets.add(pair.first, pair.second, v);
            triplets.add(pair.second, pair.first, v);
        }
    }
    return triplets.build();
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

// Adds the coefficients of e as row `row`, negated for a lower-bound row.
void add_row(TripletBuilder& a, std::size_t row, const AffineExpression& e, bool negated,
             std::size_t n) {
    for (const auto& [k, c_k] : e.coefficients) {
        check(k < n, "constraint refers to a variable outside the registry");
        a.add(row, k, negated ? -c_k : c_k);
    }
}

}  // namespace

ConicProblem assemble(const ProblemVariables& variables, const QuadraticExpression& objective,
                      const std::vector<Constraint>& constraints) {
    const std::size_t n = variables.size();
    ConicProblem problem;
    problem.P = quadratic_as_csc(objective, n);
    check(problem.P.rows == n && problem.P.cols == n,
          "quadratic term refers to a variable outside the registry");
    problem.q = linear_as_vector(objective, n);

    TripletBuilder a(0, n);
    std::vector<double>& b = problem.b;
    std::size_t r = 0;

    for (const Constraint& c : constraints) {
        if (c.kind != Constraint::Kind::Equality) continue;
        add_row(a, r, c.expression, false, n);
        b.push_back(-c.expression.constant);
        ++r;
    }
    const std::size_t m_eq = r;

    for (const Constraint& c : constraints) {
        if (c.kind != Constraint::Kind::Inequality) continue;
        const double constant = c.expression.constant;
        if (c.upper) {
            add_row(a, r, c.expression, false, n);
            b.push_back(*c.upper - constant);
            ++r;
        }
        if (c.lower) {
            add_row(a, r, c.expression, true, n);
            b.push_back(-(*c.lower - constant));
            ++r;
        }
    }

    const std::vector<VariableBounds>& bounds = variables.records();
    for (std::size_t k = 0; k < n; ++k) {
        if (bounds[k].upper) {
            a.add(r, k, 1.0);
            b.push_back(*bounds[k].upper);
            ++r;
        }
        if (bounds[k].lower) {
            a.add(r, k, -1.0);
            b.push_back(-*bounds[k].lower);
            ++r;
        }
    }

    problem.A = a.build();
    // Rows without coefficients still count: A has one row per entry of b.
    problem.A.rows = r;
    problem.zero_cone = m_eq;
    problem.nonnegative_cone = r - m_eq;
    return problem;
}

}  // namespace wayforge::qp
