// Algebraic (Taubin) circle fit through LAPACK's singular value decomposition.
#pragma once

#include <optional>
#include <span>
#include <unordered_map>
#include <vector>

namespace wayforge {

struct CircleFit {
    double center_x;
    double center_y;
    double radius;
    // Root mean squared difference between each point's distance from the
    // centre and the radius.
    double rmse;
};

// Fits circles one after another, keeping its working storage (matrix,
// LAPACK workspace, right singular vectors) between fits so that a fit of a
// few points costs little more than its arithmetic. Each fit gives exactly
// the result of a fresh fit. Not shared between threads: one fitter per
// computation.
class CircleFitter {
public:
    // No result for empty lists or a failed decomposition; lists of
    // different lengths are an internal error.
    std::optional<CircleFit> fit(std::span<const double> x, std::span<const double> y);

private:
    // Optimal LAPACK workspace size for a row count, from its workspace query.
    int workspace_size(int rows);

    std::vector<double> matrix_;  // n x 3, column-major: Z0, X, Y
    std::vector<double> work_;
    double vt_[9] = {};
    double singular_values_[3] = {};
    // Workspace size per row count already queried.
    std::unordered_map<int, int> workspace_sizes_;
};

// One fit with its own working storage.
//
// Both need LAPACK loaded first (lapack::load); a fit without it is an
// internal error.
std::optional<CircleFit> taubin_circle_fit(std::span<const double> x, std::span<const double> y);

}  // namespace wayforge
