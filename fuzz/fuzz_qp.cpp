// The QP modelling layer and its assembly into the conic standard form:
// random programs over random expressions, checked against dense matrices
// written out from their definitions; and elastic band smoothing over a
// solver stub that checks the problem it is handed.
#include <cmath>
#include <map>
#include <utility>

#include "core/elastic_band.hpp"
#include "core/panic.hpp"
#include "fuzz/input.hpp"
#include "qp/assembly.hpp"
#include "qp/constraint.hpp"
#include "qp/csc.hpp"
#include "qp/expression.hpp"
#include "qp/solver.hpp"
#include "qp/variables.hpp"

using namespace wayforge;
using namespace wayforge::qp;

namespace {

using Dense = std::map<std::pair<std::size_t, std::size_t>, double>;

bool same_value(double a, double b) { return a == b || (std::isnan(a) && std::isnan(b)); }

// The stored entries, checking the compressed layout on the way.
Dense dense(const CscMatrix& m) {
    FUZZ_CHECK(m.column_starts.size() == m.cols + 1);
    FUZZ_CHECK(m.column_starts.front() == 0 && m.column_starts.back() == m.values.size());
    FUZZ_CHECK(m.row_indices.size() == m.values.size());
    Dense d;
    for (std::size_t c = 0; c < m.cols; ++c) {
        FUZZ_CHECK(m.column_starts[c] <= m.column_starts[c + 1]);
        for (std::size_t k = m.column_starts[c]; k < m.column_starts[c + 1]; ++k) {
            FUZZ_CHECK(m.row_indices[k] < m.rows);
            FUZZ_CHECK(k == m.column_starts[c] || m.row_indices[k - 1] < m.row_indices[k]);
            d[{m.row_indices[k], c}] = m.values[k];
        }
    }
    return d;
}

bool same(const Dense& a, const Dense& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (const auto& [at, v] : a) {
        const auto other = b.find(at);
        if (other == b.end() || !same_value(v, other->second)) {
            return false;
        }
    }
    return true;
}

struct Program {
    ProblemVariables variables;
    std::vector<Variable> handles;
    std::vector<Variable> foreign;  // from another registry: indices may lie beyond this one
    bool used_foreign = false;

    Variable variable(fuzz::Input& in) {
        if (!foreign.empty() && in.byte() < 8) {
            used_foreign = true;
            return foreign[in.size(foreign.size() - 1)];
        }
        return handles[in.size(handles.size() - 1)];
    }

    AffineExpression affine(fuzz::Input& in) {
        AffineExpression e;
        if (handles.empty()) {
            e.constant = in.number();
            return e;
        }
        e = variable(in);
        for (std::size_t ops = in.size(5); ops > 0; --ops) {
            switch (in.byte() % 8) {
            case 0: e += variable(in) * in.number(); break;
            case 1: e += in.number() * variable(in); break;
            case 2: e += variable(in) - in.number(); break;
            case 3: e = std::move(e) - in.number(); break;
            case 4: e = std::move(e) - variable(in); break;
            case 5: e = in.number() + std::move(e); break;
            case 6: e = -std::move(e); break;
            default: e += affine_leaf(in); break;
            }
        }
        return e;
    }

    AffineExpression affine_leaf(fuzz::Input& in) { return variable(in) * in.number(); }
};

void assembly(fuzz::Input& in) {
    Program prog;
    for (std::size_t chunks = in.size(3); chunks > 0; --chunks) {
        const std::optional<double> lower = in.flag() ? std::optional(in.number()) : std::nullopt;
        const std::optional<double> upper = in.flag() ? std::optional(in.number()) : std::nullopt;
        const auto added = prog.variables.add_vector(in.size(8), lower, upper);
        prog.handles.insert(prog.handles.end(), added.begin(), added.end());
    }
    ProblemVariables other;
    prog.foreign = other.add_vector(prog.handles.size() + 3, std::nullopt, std::nullopt);
    const std::size_t n = prog.variables.size();

    QuadraticExpression objective;
    for (std::size_t terms = in.size(4); terms > 0; --terms) {
        if (in.flag()) {
            objective += square(prog.affine(in));
        } else {
            const AffineExpression b = prog.affine(in);
            objective += prog.affine(in) * b;
        }
    }
    std::vector<Constraint> constraints;
    for (std::size_t count = in.size(6); count > 0; --count) {
        if (in.flag()) {
            constraints.push_back(Constraint::equality(prog.affine(in)));
        } else {
            const std::optional<double> lower = in.flag() ? std::optional(in.number()) : std::nullopt;
            const std::optional<double> upper = in.flag() ? std::optional(in.number()) : std::nullopt;
            constraints.push_back(Constraint::inequality(lower, prog.affine(in), upper));
        }
    }

    ConicProblem problem;
    try {
        problem = assemble(prog.variables, objective, constraints);
    } catch (const Panic&) {
        FUZZ_CHECK(prog.used_foreign);
        return;
    }

    // P: the full symmetric matrix of the quadratic terms.
    FUZZ_CHECK(problem.P.rows == n && problem.P.cols == n);
    Dense p_expected;
    for (const auto& [pair, v] : objective.quadratic) {
        FUZZ_CHECK(pair.first <= pair.second && pair.second < n);
        if (pair.first == pair.second) {
            p_expected[{pair.first, pair.first}] = 2.0 * v;
        } else {
            p_expected[{pair.first, pair.second}] = v;
            p_expected[{pair.second, pair.first}] = v;
        }
    }
    FUZZ_CHECK(same(dense(problem.P), p_expected));
    Dense upper_expected;
    for (const auto& [at, v] : p_expected) {
        if (at.first <= at.second) {
            upper_expected[at] = v;
        }
    }
    FUZZ_CHECK(same(dense(upper_triangle(problem.P)), upper_expected));

    // q: the linear coefficients, the constant dropped.
    FUZZ_CHECK(problem.q.size() == n);
    std::vector<double> q_expected(n, 0.0);
    for (const auto& [k, l] : objective.affine.coefficients) {
        q_expected[k] = l + q_expected[k];
    }
    FUZZ_CHECK(fuzz::same_bits(problem.q, q_expected));

    // A and b, row by row in the documented order.
    Dense a_expected;
    std::vector<double> b_expected;
    const auto row = [&](const AffineExpression& e, bool negated) {
        for (const auto& [k, c] : e.coefficients) {
            a_expected[{b_expected.size(), k}] = negated ? -c : c;
        }
    };
    for (const Constraint& c : constraints) {
        if (c.kind == Constraint::Kind::Equality) {
            row(c.expression, false);
            b_expected.push_back(-c.expression.constant);
        }
    }
    const std::size_t m_eq = b_expected.size();
    for (const Constraint& c : constraints) {
        if (c.kind == Constraint::Kind::Inequality) {
            if (c.upper) {
                row(c.expression, false);
                b_expected.push_back(*c.upper - c.expression.constant);
            }
            if (c.lower) {
                row(c.expression, true);
                b_expected.push_back(-(*c.lower - c.expression.constant));
            }
        }
    }
    for (std::size_t k = 0; k < n; ++k) {
        const VariableBounds& bounds = prog.variables.records()[k];
        if (bounds.upper) {
            a_expected[{b_expected.size(), k}] = 1.0;
            b_expected.push_back(*bounds.upper);
        }
        if (bounds.lower) {
            a_expected[{b_expected.size(), k}] = -1.0;
            b_expected.push_back(-*bounds.lower);
        }
    }
    FUZZ_CHECK(problem.A.rows == b_expected.size() && problem.A.cols == n);
    FUZZ_CHECK(same(dense(problem.A), a_expected));
    FUZZ_CHECK(fuzz::same_bits(problem.b, b_expected));
    FUZZ_CHECK(problem.zero_cone == m_eq && problem.zero_cone + problem.nonnegative_cone == b_expected.size());
}

void triplets(fuzz::Input& in) {
    const std::size_t rows = in.size(6);
    const std::size_t cols = in.size(6);
    TripletBuilder builder(rows, cols);
    Dense sums;
    std::size_t max_row = rows;
    std::size_t max_col = cols;
    for (std::size_t count = in.size(40); count > 0; --count) {
        const std::size_t r = in.size(8);
        const std::size_t c = in.size(8);
        const double v = static_cast<double>(static_cast<std::int8_t>(in.byte()));  // sums stay exact
        builder.add(r, c, v);
        sums[{r, c}] += v;
        max_row = std::max(max_row, r + 1);
        max_col = std::max(max_col, c + 1);
    }
    const CscMatrix m = builder.build();
    FUZZ_CHECK(m.rows == max_row && m.cols == max_col);
    FUZZ_CHECK(same(dense(m), sums));
}

// Checks the problem elastic band smoothing writes and answers it with
// chosen values, or a failure.
class StubSolver : public Solver {
public:
    StubSolver(std::size_t n, ElasticBandMethod method, fuzz::Input& in) : n_(n), method_(method), in_(in) {}

    SolveResult solve(ProblemVariables variables, QuadraticExpression objective,
                      std::vector<Constraint> constraints) override {
        const ConicProblem problem = assemble(variables, objective, constraints);
        const std::size_t inner = n_ > 2 ? n_ - 2 : 0;
        const bool orthogonal = method_ == ElasticBandMethod::OrthogonalBounds;
        FUZZ_CHECK(variables.size() == 2 * n_ + (orthogonal ? inner : 0));
        FUZZ_CHECK(problem.zero_cone == 4 + (orthogonal ? 2 * inner : 0));
        FUZZ_CHECK(problem.nonnegative_cone == (orthogonal ? 2 * inner : 4 * inner));
        if (in_.byte() < 32) {
            return SolveFailure::NotSolved;
        }
        values_ = in_.numbers(variables.size());
        return SolvedProblem{values_};
    }

    const std::vector<double>& values() const { return values_; }

private:
    std::size_t n_;
    ElasticBandMethod method_;
    fuzz::Input& in_;
    std::vector<double> values_;
};

void elastic_band(fuzz::Input& in) {
    Path2D path = in.path(40);
    const std::size_t n = path.size();
    const auto method = in.flag() ? ElasticBandMethod::SquareBounds : ElasticBandMethod::OrthogonalBounds;
    StubSolver solver(n, method, in);
    std::optional<Path2D> smoothed;
    try {
        smoothed = smoothed_path_elastic_band(path, in.number(), method, solver);
    } catch (const Panic&) {
        FUZZ_CHECK(n == 0);
        return;
    }
    FUZZ_CHECK(n > 0);
    FUZZ_CHECK(path.orientation_cell.filled());
    if (!smoothed) {
        return;
    }
    fuzz::check_record(*smoothed);
    FUZZ_CHECK(smoothed->size() == n && smoothed->associated_values.empty());
    for (std::size_t i = 0; i < n; ++i) {
        FUZZ_CHECK(fuzz::same_bits(smoothed->points()[i].x, solver.values()[i]));
        FUZZ_CHECK(fuzz::same_bits(smoothed->points()[i].y, solver.values()[n + i]));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Input in(data, size);
    switch (in.byte() % 3) {
    case 0:
        assembly(in);
        break;
    case 1:
        triplets(in);
        break;
    default:
        elastic_band(in);
        break;
    }
    return 0;
}
