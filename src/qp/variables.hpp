// Decision variables of a quadratic program: a registry of per-variable
// bounds and the handles that name its entries.
#pragma once

#include <cstddef>
#include <optional>
#include <vector>

namespace wayforge::qp {

// A handle to one registered variable: its position in the registry.
class Variable {
public:
    std::size_t index() const noexcept { return index_; }
    friend bool operator==(Variable, Variable) = default;

private:
    friend class ProblemVariables;
    explicit Variable(std::size_t index) noexcept : index_(index) {}
    std::size_t index_;
};

// The bounds of one variable; an absent bound is not enforced.
struct VariableBounds {
    std::optional<double> lower;
    std::optional<double> upper;
};

// The registry: the position of a record is its variable's index, and
// indices once handed out never change.
class ProblemVariables {
public:
    // Appends `count` variables sharing the same bounds and returns their
    // handles in index order.
    std::vector<Variable> add_vector(std::size_t count, std::optional<double> lower,
                                     std::optional<double> upper) {
        std::vector<Variable> handles;
        handles.reserve(count);
        records_.reserve(records_.size() + count);
        for (std::size_t k = 0; k < count; ++k) {
            handles.push_back(Variable(records_.size()));
            records_.push_back(VariableBounds{lower, upper});
        }
        return handles;
    }

    std::size_t size() const noexcept { return records_.size(); }
    const std::vector<VariableBounds>& records() const noexcept { return records_; }

private:
    std::vector<VariableBounds> records_;
};

}  // namespace wayforge::qp
