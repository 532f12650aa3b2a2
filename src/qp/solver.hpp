// The interface between a written quadratic program and the solver that
// answers it, and the solution it hands back.
#pragma once

#include <variant>
#include <vector>

#include "qp/constraint.hpp"
#include "qp/expression.hpp"
#include "qp/variables.hpp"

namespace wayforge::qp {

// One solution value per registered variable, in index order.
struct SolvedProblem {
    std::vector<double> values;
};

// The solution values of the given variables, in the order of the handles.
// A handle beyond the solution is an internal error.
std::vector<double> eval_vec(const SolvedProblem& solved, const std::vector<Variable>& variables);

enum class SolveFailure {
    Infeasible,  // the solver proved the problem (or its dual) infeasible
    NotSolved,   // any other outcome short of a solution at full accuracy
};

using SolveResult = std::variant<SolvedProblem, SolveFailure>;

class Solver {
public:
    virtual ~Solver() = default;
    // Minimises the objective subject to the constraints and the variables'
    // bounds. An unsuccessful solve is a failure kind, never an exception.
    virtual SolveResult solve(ProblemVariables variables, QuadraticExpression objective,
                              std::vector<Constraint> constraints) = 0;
};

}  // namespace wayforge::qp
