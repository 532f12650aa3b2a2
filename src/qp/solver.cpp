#include "qp/solver.hpp"

#include "core/panic.hpp"

namespace wayforge::qp {

std::vector<double> eval_vec(const SolvedProblem& solved, const std::vector<Variable>& variables) {
    std::vector<double> out;
    out.reserve(variables.size());
    for (Variable v : variables) {
        check(v.index() < solved.values.size(), "variable index outside the solution");
        out.push_back(solved.values[v.index()]);
    }
    return out;
}

}  // namespace wayforge::qp
