// The QP solver that hands an assembled problem to the Python package
// `clarabel` (an interior-point conic solver) through the CPython API.
#pragma once

#include "python/ref.hpp"

#include "qp/solver.hpp"

namespace wayforge::py {

// Solves with Clarabel's defaults except: verbose off, at most 1000
// iterations, gap and feasibility tolerances 1e-4, iterative refinement
// tolerances 1e-4 and the "qdldl" direct solver.
//
// The package is imported on the first solve, never before; when it cannot be
// imported the solve raises ImportError (PythonError) naming it. Only the
// status "Solved" yields a solution; every other status is a failure kind.
// Any exception raised by clarabel itself propagates unchanged.
class ClarabelSolver final : public qp::Solver {
public:
    qp::SolveResult solve(qp::ProblemVariables variables, qp::QuadraticExpression objective,
                          std::vector<qp::Constraint> constraints) override;
};

}  // namespace wayforge::py
