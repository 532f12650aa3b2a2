#include "core/elastic_band.hpp"

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "core/panic.hpp"
#include "qp/constraint.hpp"
#include "qp/expression.hpp"
#include "qp/variables.hpp"

namespace wayforge {

namespace {

// The solver's feasibility and gap tolerances. An answer is accepted when it
// meets the problem within this much, relative to the problem's magnitude.
constexpr double kTolerance = 1e-4;

// Adds (v[i-1] - 2 v[i] + v[i+1])^2 for every interior i.
void add_second_differences(qp::QuadraticExpression& objective, const std::vector<qp::Variable>& v) {
    for (std::size_t i = 1; i + 1 < v.size(); ++i) {
        qp::AffineExpression e = -(2.0 * v[i]);
        e += v[i + 1];
        e += v[i - 1];
        objective += qp::square(e);
    }
}

// The right-hand normal (sin, -cos) of each heading, as (s, c).
struct Normal {
    double s = 0.0;
    double c = 0.0;
};

Normal normal_of(double theta) {
    Normal n;
    ::sincos(theta, &n.s, &n.c);
    return n;
}

// The problem in coordinates relative to the first point: the first point is
// fixed and the objective does not see a translation, so this is the same
// problem, but the solver's tolerances, which are relative to the magnitude
// of the data, no longer drown in an offset such as a UTM easting. A path
// that starts at the origin hands over exactly the coordinates it has.
struct BandProblem {
    Values x;
    Values y;
    double m = 0.0;
};

struct Answer {
    Values x;
    Values y;
};

std::optional<Answer> solve(const BandProblem& problem, const Values& theta, ElasticBandMethod method,
                            qp::Solver& solver) {
    const Values& x0 = problem.x;
    const Values& y0 = problem.y;
    const double m = problem.m;
    const std::size_t n = x0.size();

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
            const Normal nv = normal_of(theta[i]);
            const qp::Variable d_i = d[i - 1];
            constraints.push_back(qp::Constraint::equality((x0[i] + (m * nv.s) * d_i) - x[i]));
            constraints.push_back(qp::Constraint::equality((y0[i] + (nv.c * (-m)) * d_i) - y[i]));
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
    return Answer{qp::eval_vec(*solved, x), qp::eval_vec(*solved, y)};
}

// The largest magnitude in the problem's data: coordinates and, when finite,
// the deviation (an infinite deviation under square bounds is no bound at
// all). Not finite when a coordinate is not.
double magnitude(const BandProblem& problem) {
    double largest = std::isfinite(problem.m) ? std::fabs(problem.m) : 0.0;
    for (const Values* v : {&problem.x, &problem.y}) {
        for (double value : *v) {
            // NaN must win, which std::max does not guarantee.
            const double a = std::fabs(value);
            largest = (a > largest || std::isnan(a)) ? a : largest;
        }
    }
    return largest;
}

// Whether the answer meets the problem: finite, both end points in place and
// every interior point within its bound. The solver reports "Solved" for some
// answers that do not (NaN or huge coordinates), and such an answer must never
// reach the caller. Each point is held to the solver's tolerance relative to
// its own magnitude (its coordinates and the deviation, at least 1): one huge
// coordinate elsewhere in the path must not excuse a misplaced point.
bool answer_holds(const BandProblem& problem, const Values& theta, ElasticBandMethod method,
                  const Answer& answer) {
    if (!std::isfinite(magnitude(problem))) {
        return false;
    }
    const Values& x0 = problem.x;
    const Values& y0 = problem.y;
    const double m = std::fabs(problem.m);
    const double m_size = std::isfinite(m) ? m : 0.0;
    const std::size_t n = x0.size();
    for (std::size_t i = 0; i < n; ++i) {
        if (!std::isfinite(answer.x[i]) || !std::isfinite(answer.y[i])) {
            return false;
        }
        const double tolerance =
            kTolerance * std::max({1.0, std::fabs(x0[i]), std::fabs(y0[i]), m_size});
        const double dx = answer.x[i] - x0[i];
        const double dy = answer.y[i] - y0[i];
        auto within = [tolerance](double error, double bound) { return error <= bound + tolerance; };
        bool holds = false;
        if (i == 0 || i + 1 == n) {
            holds = within(std::fabs(dx), 0.0) && within(std::fabs(dy), 0.0);
        } else if (method == ElasticBandMethod::SquareBounds) {
            // A negative deviation makes an empty box, which nothing meets.
            holds = within(std::fabs(dx), problem.m) && within(std::fabs(dy), problem.m);
        } else {
            // On the normal line through the point, at a signed offset within
            // [-|m|, |m|] along it.
            const Normal nv = normal_of(theta[i]);
            const double along = dx * nv.c + dy * nv.s;
            const double offset = dx * nv.s - dy * nv.c;
            holds = within(std::fabs(along), 0.0) && within(std::fabs(offset), m);
        }
        if (!holds) {
            return false;
        }
    }
    return true;
}

// A power of two near the problem's magnitude, so that dividing by it and
// multiplying back are exact: the scaled problem's optimum is the original
// one scaled. 1 when there is nothing sensible to scale by.
double scale_of(const BandProblem& problem) {
    const double size = magnitude(problem);
    if (!std::isfinite(size) || size == 0.0) {
        return 1.0;
    }
    return std::ldexp(1.0, std::ilogb(size));
}

BandProblem scaled(const BandProblem& problem, double scale) {
    BandProblem s{problem.x, problem.y, problem.m / scale};
    for (double& v : s.x) v /= scale;
    for (double& v : s.y) v /= scale;
    return s;
}

}  // namespace

std::optional<Path2D> smoothed_path_elastic_band(Path2D& path, double max_deviation,
                                                 ElasticBandMethod method, qp::Solver& solver) {
    const std::size_t n = path.size();
    const Values& theta = path.orientation();
    check(n > 0, "elastic band smoothing of an empty path: its end points do not exist");
    const Point origin{path.x[0], path.y[0]};

    BandProblem relative{Values(n), Values(n), max_deviation};
    for (std::size_t i = 0; i < n; ++i) {
        relative.x[i] = path.x[i] - origin.x;
        relative.y[i] = path.y[i] - origin.y;
    }

    std::optional<Answer> answer = solve(relative, theta, method, solver);
    if (!answer || !answer_holds(relative, theta, method, *answer)) {
        // Once more on a copy scaled to unit magnitude, where the solver's
        // absolute and relative tolerances agree.
        const double scale = scale_of(relative);
        if (scale == 1.0) {
            return std::nullopt;
        }
        answer = solve(scaled(relative, scale), theta, method, solver);
        if (!answer) {
            return std::nullopt;
        }
        for (double& v : answer->x) v *= scale;
        for (double& v : answer->y) v *= scale;
        if (!answer_holds(relative, theta, method, *answer)) {
            return std::nullopt;
        }
    }

    Points points(n);
    for (std::size_t i = 0; i < n; ++i) {
        points[i] = Point{answer->x[i] + origin.x, answer->y[i] + origin.y};
    }
    return Path2D::from_points(std::move(points));
}

}  // namespace wayforge
