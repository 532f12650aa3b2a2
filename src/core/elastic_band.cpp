#include "core/elastic_band.hpp"

#include <cmath>
#include <utility>
#include <vector>

#include "core/panic.hpp"
#include "qp/constraint.hpp"
#include "qp/expression.hpp"
#include "qp/variables.hpp"

namespace wayforge {

namespace {

// Adds (v[i-1] - 2 v[i] + v[i+1])^2 for every interior i.
void add_second_differences(qp::QuadraticExpression& objective, const std::vector<qp::Variable>& v) {
    for (std::size_t i = 1; i + 1 < v.size(); ++i) {
        qp::AffineExpression e = -(2.0 * v[i]);
        e += v[i + 1];
        e += v[i - 1];
        objective += qp::square(e);
    }
}

}  // namespace

std::optional<Path2D> smoothed_path_elastic_band(Path2D& path, double max_deviation,
                                                 ElasticBandMethod method, qp::Solver& solver) {
    const std::size_t n = path.size();
    const Values& theta = path.orientation();
    check(n > 0, "elastic band smoothing of an empty path: its end points do not exist");
    const Values& x0 = path.x;
    const Values& y0 = path.y;
    const double m = max_deviation;

    qp::ProblemVariables variables;
    const std::vector<qp::Variable> x = variables.add_vector(n, std::nullopt, std::nullopt);
    const std::vector<qp::Variable> y = variables.add_vector(n, std::nullopt, std::nullopt);

    qp::QuadraticExpression objective;
    // Each coordinate couples every variable with itself and its next two:
    // about three quadratic terms and one linear coefficient per variable.
    objective.quadratic.reserve(6 * n);
    objective.affine.coefficients.reserve(2 * n);
    add_second_differences(objective, x);
    add_second_differences(objective, y);

    std::vector<qp::Constraint> constraints;
    constraints.push_back(qp::Constraint::equality(x[0] - x0[0]));
    constraints.push_back(qp::Constraint::equality(y[0] - y0[0]));
    constraints.push_back(qp::Constraint::equality(x[n - 1] - x0[n - 1]));
    constraints.push_back(qp::Constraint::equality(y[n - 1] - y0[n - 1]));

    const std::size_t interior = n > 2 ? n - 2 : 0;
    if (method == ElasticBandMethod::SquareBounds) {
        constraints.reserve(constraints.size() + 2 * interior);
        for (std::size_t i = 1; i + 1 < n; ++i) {
            constraints.push_back(qp::Constraint::inequality(-m, x[i] - x0[i], m));
            constraints.push_back(qp::Constraint::inequality(-m, y[i] - y0[i], m));
        }
    } else {
        // d_i moves point i along the right-hand normal (sin, -cos) of its
        // heading, as a fraction of m.
        const std::vector<qp::Variable> d = variables.add_vector(interior, std::nullopt, std::nullopt);
        constraints.reserve(constraints.size() + 4 * interior);
        for (std::size_t i = 1; i + 1 < n; ++i) {
            double s = 0.0;
            double c = 0.0;
            ::sincos(theta[i], &s, &c);
            const qp::Variable d_i = d[i - 1];
            constraints.push_back(qp::Constraint::equality((x0[i] + (m * s) * d_i) - x[i]));
            constraints.push_back(qp::Constraint::equality((y0[i] + (c * (-m)) * d_i) - y[i]));
            constraints.push_back(qp::Constraint::inequality(std::nullopt, d_i - 1.0, 0.0));
            constraints.push_back(
                qp::Constraint::inequality(std::nullopt, -1.0 + (-qp::AffineExpression(d_i)), 0.0));
        }
    }

    qp::SolveResult result = solver.solve(std::move(variables), std::move(objective), std::move(constraints));
    const auto* solved = std::get_if<qp::SolvedProblem>(&result);
    if (solved == nullptr) {
        return std::nullopt;
    }
    const Values xs = qp::eval_vec(*solved, x);
    const Values ys = qp::eval_vec(*solved, y);
    Points points(n);
    for (std::size_t i = 0; i < n; ++i) {
        points[i] = Point{xs[i], ys[i]};
    }
    return Path2D::from_points(std::move(points));
}

}  // namespace wayforge
