#include <cmath>
#include <optional>
#include <vector>

#include "check.hpp"
#include "core/elastic_band.hpp"
#include "core/panic.hpp"
#include "qp/assembly.hpp"
#include "qp/csc.hpp"
#include "qp/expression.hpp"
#include "qp/solver.hpp"

using namespace wayforge;
using namespace wayforge::qp;

namespace {

double term(const QuadraticExpression& e, std::size_t i, std::size_t j) {
    auto it = e.quadratic.find(IndexPair{i, j});
    return it == e.quadratic.end() ? NAN : it->second;
}

double coefficient(const AffineExpression& e, std::size_t k) {
    auto it = e.coefficients.find(k);
    return it == e.coefficients.end() ? NAN : it->second;
}

// Dense view of a CSC matrix, checking the storage invariants on the way.
std::vector<std::vector<double>> dense(const CscMatrix& m) {
    std::vector<std::vector<double>> d(m.rows, std::vector<double>(m.cols, 0.0));
    CHECK_EQ(m.column_starts.size(), m.cols + 1);
    CHECK_EQ(m.column_starts.back(), m.values.size());
    CHECK_EQ(m.row_indices.size(), m.values.size());
    for (std::size_t c = 0; c < m.cols; ++c) {
        for (std::size_t k = m.column_starts[c]; k < m.column_starts[c + 1]; ++k) {
            CHECK(m.row_indices[k] < m.rows);
            if (k > m.column_starts[c]) CHECK(m.row_indices[k - 1] < m.row_indices[k]);
            d[m.row_indices[k]][c] = m.values[k];
        }
    }
    return d;
}

using Dense = std::vector<std::vector<double>>;

// Records the assembled problem instead of solving it; answers with a fixed result.
class RecordingSolver : public Solver {
public:
    explicit RecordingSolver(SolveResult answer) : answer_(std::move(answer)) {}
    SolveResult solve(ProblemVariables variables, QuadraticExpression objective,
                      std::vector<Constraint> constraints) override {
        problems.push_back(assemble(variables, objective, constraints));
        if (calls == 0) {
            problem = problems.back();
            n = variables.size();
        }
        ++calls;
        return answer_;
    }
    // The first problem handed over, and every one in order.
    ConicProblem problem;
    std::vector<ConicProblem> problems;
    std::size_t n = 0;
    int calls = 0;

private:
    SolveResult answer_;
};

AffineExpression second_difference(const std::vector<Variable>& v) {
    AffineExpression e = -(2.0 * v[1]);
    e += v[2];
    e += v[0];
    return e;
}

}  // namespace

TEST(qp_square_of_second_difference) {
    ProblemVariables vars;
    const auto x = vars.add_vector(3, std::nullopt, std::nullopt);
    const QuadraticExpression s = square(second_difference(x));
    CHECK_EQ(s.quadratic.size(), 6u);
    CHECK_EQ(term(s, 0, 0), 1.0);
    CHECK_EQ(term(s, 1, 1), 4.0);
    CHECK_EQ(term(s, 2, 2), 1.0);
    CHECK_EQ(term(s, 0, 1), -4.0);
    CHECK_EQ(term(s, 1, 2), -4.0);
    CHECK_EQ(term(s, 0, 2), 2.0);
    CHECK_EQ(s.affine.coefficients.size(), 3u);
    for (std::size_t k = 0; k < 3; ++k) CHECK_EQ(coefficient(s.affine, k), 0.0);
    CHECK_EQ(s.affine.constant, 0.0);

    const Dense p = dense(quadratic_as_csc(s, 3));
    CHECK(p == (Dense{{2, -4, 2}, {-4, 8, -4}, {2, -4, 2}}));
    CHECK(linear_as_vector(s, 3) == (std::vector<double>{0, 0, 0}));
}

TEST(qp_product_of_two_shifted_variables) {
    ProblemVariables vars;
    const auto x = vars.add_vector(2, std::nullopt, std::nullopt);
    const QuadraticExpression r = (1.0 + AffineExpression(x[0])) * (2.0 + AffineExpression(x[1]));
    CHECK_EQ(r.quadratic.size(), 1u);
    CHECK_EQ(term(r, 0, 1), 1.0);
    CHECK_EQ(r.affine.coefficients.size(), 2u);
    CHECK_EQ(coefficient(r.affine, 0), 2.0);
    CHECK_EQ(coefficient(r.affine, 1), 1.0);
    CHECK_EQ(r.affine.constant, 2.0);
    CHECK(linear_as_vector(r, 2) == (std::vector<double>{2.0, 1.0}));
    const Dense p = dense(quadratic_as_csc(r, 2));
    CHECK(p == (Dense{{0, 1}, {1, 0}}));
}

TEST(qp_affine_operators) {
    ProblemVariables vars;
    const auto v = vars.add_vector(2, std::nullopt, std::nullopt);
    const AffineExpression neg = -(v[0] - 3.0);
    CHECK_EQ(neg.coefficients.size(), 1u);
    CHECK_EQ(coefficient(neg, 0), -1.0);
    CHECK_EQ(neg.constant, 3.0);

    // A zero coefficient stays, and negating it gives -0.0.
    const AffineExpression zero = -(v[1] * 0.0);
    CHECK_EQ(zero.coefficients.size(), 1u);
    CHECK(std::signbit(coefficient(zero, 1)));

    // a - v inserts -1.0 or decreases an existing coefficient; a - c and c + a
    // move the constant.
    AffineExpression e = (2.0 * v[0]) - v[1] - v[0];
    e = 5.0 + (e - 1.5);
    CHECK_EQ(coefficient(e, 0), 1.0);
    CHECK_EQ(coefficient(e, 1), -1.0);
    CHECK_EQ(e.constant, 3.5);

    AffineExpression sum = v[0] - 1.0;
    sum += v[1] * 4.0 - 2.0;
    sum += v[0];
    CHECK_EQ(coefficient(sum, 0), 2.0);
    CHECK_EQ(coefficient(sum, 1), 4.0);
    CHECK_EQ(sum.constant, -3.0);
}

TEST(qp_add_vector_hands_out_consecutive_indices) {
    ProblemVariables vars;
    CHECK(vars.add_vector(0, 1.0, 2.0).empty());
    CHECK_EQ(vars.size(), 0u);
    const auto a = vars.add_vector(3, std::nullopt, 5.0);
    const auto b = vars.add_vector(2, -1.0, std::nullopt);
    CHECK_EQ(a.size(), 3u);
    CHECK_EQ(b.size(), 2u);
    for (std::size_t k = 0; k < 3; ++k) CHECK_EQ(a[k].index(), k);
    for (std::size_t k = 0; k < 2; ++k) CHECK_EQ(b[k].index(), 3 + k);
    CHECK(vars.records()[2].upper == std::optional<double>(5.0));
    CHECK(!vars.records()[2].lower);
    CHECK(vars.records()[4].lower == std::optional<double>(-1.0));
}

TEST(qp_empty_objective_and_out_of_range_indices) {
    const QuadraticExpression empty;
    const CscMatrix p = quadratic_as_csc(empty, 4);
    CHECK_EQ(p.rows, 4u);
    CHECK_EQ(p.cols, 4u);
    CHECK_EQ(p.nonzeros(), 0u);
    CHECK(linear_as_vector(empty, 4) == std::vector<double>(4, 0.0));

    ProblemVariables vars;
    const auto v = vars.add_vector(3, std::nullopt, std::nullopt);
    QuadraticExpression lin;
    lin.affine = AffineExpression(v[2]);
    CHECK_THROWS(linear_as_vector(lin, 2), Panic);
    CHECK_THROWS(eval_vec(SolvedProblem{{1.0, 2.0}}, v), Panic);
    CHECK(eval_vec(SolvedProblem{{1.0, 2.0, 3.0}}, {v[2], v[0]}) == (std::vector<double>{3.0, 1.0}));
}

TEST(csc_from_triplets_sorts_and_merges) {
    TripletBuilder t(2, 2);
    t.add(3, 1, 1.0);
    t.add(0, 1, 2.0);
    t.add(2, 0, 3.0);
    t.add(0, 1, 0.5);
    t.add(1, 3, 4.0);
    const CscMatrix m = t.build();
    CHECK_EQ(m.rows, 4u);
    CHECK_EQ(m.cols, 4u);
    CHECK(m.column_starts == (std::vector<std::size_t>{0, 1, 3, 3, 4}));
    CHECK(m.row_indices == (std::vector<std::size_t>{2, 0, 3, 1}));
    CHECK(m.values == (std::vector<double>{3.0, 2.5, 1.0, 4.0}));

    const CscMatrix u = upper_triangle(m);
    CHECK(u.column_starts == (std::vector<std::size_t>{0, 0, 1, 1, 2}));
    CHECK(u.row_indices == (std::vector<std::size_t>{0, 1}));
}

TEST(assembly_rows_bounds_and_cones) {
    ProblemVariables vars;
    const auto x = vars.add_vector(1, std::nullopt, std::nullopt);
    const auto z = vars.add_vector(1, -2.0, 3.0);
    std::vector<Constraint> constraints;
    constraints.push_back(Constraint::inequality(-1.0, x[0] - (-2.0), 5.0));
    constraints.push_back(Constraint::inequality(std::nullopt, AffineExpression(z[0]), std::nullopt));
    constraints.push_back(Constraint::equality(x[0] - 4.0));
    const ConicProblem p = assemble(vars, QuadraticExpression{}, constraints);
    // Equality first, then inequality upper and lower, then the bound rows.
    CHECK(dense(p.A) == (Dense{{1, 0}, {1, 0}, {-1, 0}, {0, 1}, {0, -1}}));
    CHECK(p.b == (std::vector<double>{4, 3, 3, 3, 2}));
    CHECK_EQ(p.zero_cone, 1u);
    CHECK_EQ(p.nonnegative_cone, 4u);
    CHECK_EQ(p.P.nonzeros(), 0u);
    CHECK_EQ(p.q.size(), 2u);
}

TEST(assembly_of_unconstrained_and_single_kind_problems) {
    ProblemVariables vars;
    const auto x = vars.add_vector(3, std::nullopt, std::nullopt);
    const ConicProblem none = assemble(vars, QuadraticExpression{}, {});
    CHECK_EQ(none.A.rows, 0u);
    CHECK_EQ(none.A.cols, 3u);
    CHECK(none.b.empty());
    CHECK_EQ(none.zero_cone + none.nonnegative_cone, 0u);

    const ConicProblem eq = assemble(vars, QuadraticExpression{},
                                     {Constraint::equality(x[0] - 1.0), Constraint::equality(x[2] - 2.0)});
    CHECK_EQ(eq.zero_cone, 2u);
    CHECK_EQ(eq.nonnegative_cone, 0u);
    const ConicProblem ineq = assemble(vars, QuadraticExpression{},
                                       {Constraint::inequality(0.0, AffineExpression(x[1]), 1.0)});
    CHECK_EQ(ineq.zero_cone, 0u);
    CHECK_EQ(ineq.nonnegative_cone, 2u);
    CHECK_EQ(ineq.A.rows, 2u);

    ProblemVariables few;
    few.add_vector(1, std::nullopt, std::nullopt);
    CHECK_THROWS(assemble(few, QuadraticExpression{}, {Constraint::equality(x[2] - 1.0)}), Panic);
    CHECK_THROWS(assemble(few, square(AffineExpression(x[1])), {}), Panic);
}

TEST(elastic_band_square_bounds_problem) {
    Path2D path = Path2D::from_points({{0, 0}, {1, 1}, {2, 0}});
    RecordingSolver solver(SolvedProblem{{0, 1, 2, 0, 0.75, 0}});
    const std::optional<Path2D> r =
        smoothed_path_elastic_band(path, 0.25, ElasticBandMethod::SquareBounds, solver);
    const ConicProblem& p = solver.problem;
    CHECK_EQ(solver.n, 6u);
    const Dense block{{2, -4, 2}, {-4, 8, -4}, {2, -4, 2}};
    const Dense pd = dense(p.P);
    for (std::size_t i = 0; i < 6; ++i) {
        for (std::size_t j = 0; j < 6; ++j) {
            const double expected = (i < 3) == (j < 3) ? block[i % 3][j % 3] : 0.0;
            CHECK_EQ(pd[i][j], expected);
        }
    }
    CHECK(p.q == std::vector<double>(6, 0.0));
    CHECK(dense(p.A) == (Dense{{1, 0, 0, 0, 0, 0},
                               {0, 0, 0, 1, 0, 0},
                               {0, 0, 1, 0, 0, 0},
                               {0, 0, 0, 0, 0, 1},
                               {0, 1, 0, 0, 0, 0},
                               {0, -1, 0, 0, 0, 0},
                               {0, 0, 0, 0, 1, 0},
                               {0, 0, 0, 0, -1, 0}}));
    CHECK(p.b == (std::vector<double>{0, 0, 2, 0, 1.25, -0.75, 1.25, -0.75}));
    CHECK_EQ(p.zero_cone, 4u);
    CHECK_EQ(p.nonnegative_cone, 4u);
    CHECK(r.has_value());
    CHECK(r->points() == (Points{{0, 0}, {1, 0.75}, {2, 0}}));
    CHECK(r->associated_values.empty());
}

TEST(elastic_band_orthogonal_bounds_problem) {
    // Along the x axis the normal is (0, -1): x_i is pinned, y_i = y0_i - m d_i.
    Path2D path = Path2D::from_points({{0, 0}, {1, 0}, {2, 0}, {3, 0}});
    RecordingSolver solver(SolveFailure::Infeasible);
    CHECK(!smoothed_path_elastic_band(path, 0.5, ElasticBandMethod::OrthogonalBounds, solver));
    CHECK(path.orientation_cell.filled());
    const ConicProblem& p = solver.problem;
    CHECK_EQ(solver.n, 10u);
    CHECK_EQ(p.zero_cone, 4u + 4u);
    CHECK_EQ(p.nonnegative_cone, 4u);
    const Dense a = dense(p.A);
    // Interior point 1 (offset variable 8): x row, y row, then d <= 1, -d <= 1.
    CHECK(a[4] == (std::vector<double>{0, -1, 0, 0, 0, 0, 0, 0, 0, 0}));
    CHECK(a[5] == (std::vector<double>{0, 0, 0, 0, 0, -1, 0, 0, -0.5, 0}));
    CHECK(a[8] == (std::vector<double>{0, 0, 0, 0, 0, 0, 0, 0, 1, 0}));
    CHECK(a[9] == (std::vector<double>{0, 0, 0, 0, 0, 0, 0, 0, -1, 0}));
    CHECK(a[11] == (std::vector<double>{0, 0, 0, 0, 0, 0, 0, 0, 0, -1}));
    CHECK_EQ(p.b[4], -1.0);
    CHECK_EQ(p.b[5], -0.0);
    CHECK_EQ(p.b.size(), 12u);
    for (std::size_t r = 8; r < p.b.size(); ++r) CHECK_EQ(p.b[r], 1.0);
    // The failed solve is retried once, on the problem scaled by the power of
    // two below its largest magnitude (3): coordinates and m halve, d stays.
    CHECK_EQ(solver.calls, 2);
    const ConicProblem& s = solver.problems[1];
    const Dense sa = dense(s.A);
    CHECK(sa[5] == (std::vector<double>{0, 0, 0, 0, 0, -1, 0, 0, -0.25, 0}));
    CHECK_EQ(s.b[4], -0.5);
    CHECK_EQ(s.b[2], 1.5);
    for (std::size_t r = 8; r < s.b.size(); ++r) CHECK_EQ(s.b[r], 1.0);
}

TEST(elastic_band_hands_over_coordinates_relative_to_the_first_point) {
    // The same square-bounds problem as above, moved by (1000, -20): the
    // solver sees the path from the origin and the answer is moved back.
    Path2D path = Path2D::from_points({{1000, -20}, {1001, -19}, {1002, -20}});
    RecordingSolver solver(SolvedProblem{{0, 1, 2, 0, 0.75, 0}});
    const auto r = smoothed_path_elastic_band(path, 0.25, ElasticBandMethod::SquareBounds, solver);
    CHECK_EQ(solver.calls, 1);
    CHECK(solver.problem.b == (std::vector<double>{0, 0, 2, 0, 1.25, -0.75, 1.25, -0.75}));
    CHECK(r && r->points() == (Points{{1000, -20}, {1001, -19.25}, {1002, -20}}));
}

TEST(elastic_band_answers_that_break_the_problem_are_refused) {
    Path2D path = Path2D::from_points({{0, 0}, {1, 1}, {2, 0}});
    const std::vector<std::vector<double>> broken{
        {0.01, 1, 2, 0, 0.75, 0},   // first point moved
        {0, 1, 2, 0, 0.75, 3e-4},   // last point moved
        {0, 1.3, 2, 0, 0.75, 0},    // x beyond its box
        {0, 1, 2, 0, NAN, 0},       // not a number
    };
    for (const auto& values : broken) {
        RecordingSolver solver(SolvedProblem{values});
        CHECK(!smoothed_path_elastic_band(path, 0.25, ElasticBandMethod::SquareBounds, solver));
        // Retried on the scaled copy (magnitude 2), which answers alike.
        CHECK_EQ(solver.calls, 2);
    }
    // Within the tolerance (1e-4 relative to each point's magnitude, at least
    // 1) the answer stands.
    RecordingSolver close(SolvedProblem{{5e-5, 1.25 + 5e-5, 2, 0, 0.75, -1.5e-4}});
    CHECK(smoothed_path_elastic_band(path, 0.25, ElasticBandMethod::SquareBounds, close));
    CHECK_EQ(close.calls, 1);
}

TEST(elastic_band_short_and_empty_paths) {
    for (ElasticBandMethod method : {ElasticBandMethod::SquareBounds, ElasticBandMethod::OrthogonalBounds}) {
        Path2D one = Path2D::from_points({{2, 3}});
        RecordingSolver solver(SolvedProblem{{0, 0}});
        const auto r = smoothed_path_elastic_band(one, 0.1, method, solver);
        CHECK_EQ(solver.n, 2u);
        CHECK_EQ(solver.problem.zero_cone, 4u);
        CHECK_EQ(solver.problem.nonnegative_cone, 0u);
        // Relative to the first point, the single point is the origin.
        CHECK(solver.problem.b == (std::vector<double>{0, 0, 0, 0}));
        CHECK(r && r->points() == (Points{{2, 3}}));

        Path2D empty;
        RecordingSolver unused(SolveFailure::NotSolved);
        CHECK_THROWS(smoothed_path_elastic_band(empty, 0.1, method, unused), Panic);
        CHECK_EQ(unused.calls, 0);
    }
}

TEST(upper_triangle_is_made_directly_and_equals_the_cut_full_matrix) {
    // A banded objective as the elastic band writes it, plus a product with
    // a distant variable, so that columns hold entries from several squares.
    ProblemVariables vars;
    const auto v = vars.add_vector(40, std::nullopt, std::nullopt);
    QuadraticExpression objective;
    for (std::size_t i = 1; i + 1 < v.size(); ++i) {
        AffineExpression e = -(2.0 * v[i]);
        e += v[i + 1];
        e += v[i - 1];
        objective += square(e);
    }
    objective += (v[3] - 1.0) * (0.5 * v[37]);
    for (std::size_t n : {40u, 45u}) {
        const CscMatrix full = quadratic_as_csc(objective, n);
        const CscMatrix cut = upper_triangle(full);
        const CscMatrix upper = quadratic_as_csc(objective, n, Triangle::Upper);
        dense(upper);  // checks sorted, duplicate-free columns
        CHECK_EQ(upper.rows, n);
        CHECK_EQ(upper.cols, n);
        CHECK(upper.column_starts == cut.column_starts);
        CHECK(upper.row_indices == cut.row_indices);
        CHECK(upper.values == cut.values);
    }
    // An index beyond n widens the matrix as triplets would, and assembly
    // refuses it.
    const CscMatrix wide = quadratic_as_csc(objective, 30, Triangle::Upper);
    CHECK_EQ(wide.cols, 40u);
    CHECK_EQ(wide.rows, 40u);
    ProblemVariables few;
    few.add_vector(30, std::nullopt, std::nullopt);
    CHECK_THROWS(assemble(few, objective, {}, Triangle::Upper), Panic);
}

TEST(csc_from_triplets_with_long_unsorted_columns) {
    // Columns longer than the insertion-sort limit, in descending row order,
    // with repeated positions summed in the order of addition.
    TripletBuilder t(0, 0);
    for (std::size_t r = 100; r-- > 0;) t.add(r, 0, static_cast<double>(r));
    for (std::size_t r = 0; r < 50; ++r) t.add(r % 10, 1, 0.25);
    t.add(5, 1, 1e16);
    t.add(5, 1, -1e16);
    const CscMatrix m = t.build();
    const Dense d = dense(m);
    CHECK_EQ(m.column_starts[1], 100u);
    for (std::size_t r = 0; r < 100; ++r) CHECK_EQ(d[r][0], static_cast<double>(r));
    // (1.25 + 1e16) rounds to 1e16 + 2: the sum is 2.0 in this order only.
    for (std::size_t r = 0; r < 10; ++r) CHECK_EQ(d[r][1], r == 5 ? 2.0 : 1.25);
}
