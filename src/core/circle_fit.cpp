#include "core/circle_fit.hpp"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstddef>
#include <limits>
#include <string>

#include "core/lapack.hpp"
#include "core/panic.hpp"

namespace wayforge {

namespace {

constexpr int kColumns = 3;

// Right singular vectors only: no U, all rows of VT.
int dgesvd(int rows, double* a, double* singular_values, double* vt, double* work, int lwork) {
    const char jobu = 'N';
    const char jobvt = 'A';
    const int columns = kColumns;
    const int lda = std::max(1, rows);
    const int ldu = 1;
    const int ldvt = kColumns;
    double unused_u = 0.0;
    int info = 0;
    // Loaded (and set to one thread) by the caller before any fit.
    lapack::functions().dgesvd(&jobu, &jobvt, &rows, &columns, a, &lda, singular_values, &unused_u,
                               &ldu, vt, &ldvt, work, &lwork, &info, 1, 1);
    return info;
}

double mean(std::span<const double> values) {
    double sum = 0.0;
    for (double v : values) {
        sum += v;
    }
    return sum / static_cast<double>(values.size());
}

}  // namespace

int CircleFitter::workspace_size(int rows) {
    if (auto found = workspace_sizes_.find(rows); found != workspace_sizes_.end()) {
        return found->second;
    }
    double optimal = 0.0;
    const int info = dgesvd(rows, matrix_.data(), singular_values_, vt_, &optimal, -1);
    check(info == 0, "LAPACK dgesvd refused its workspace query");
    check(optimal >= 1.0 && optimal <= static_cast<double>(INT_MAX),
          "LAPACK dgesvd asked for an impossible workspace size");
    const int size = static_cast<int>(optimal);
    workspace_sizes_.emplace(rows, size);
    return size;
}

std::optional<CircleFit> CircleFitter::fit(std::span<const double> x, std::span<const double> y) {
    if (x.empty() || y.empty()) {
        return std::nullopt;
    }
    if (x.size() != y.size()) {
        panic("circle fit of " + std::to_string(x.size()) + " x values and " +
              std::to_string(y.size()) + " y values");
    }
    const std::size_t n = x.size();
    check(n <= static_cast<std::size_t>(INT_MAX), "too many points for the LAPACK circle fit");

    // Centred data in the columns X and Y of M, Z = X^2 + Y^2 in its first
    // column, then scaled to Z0 = (Z - mean Z) / (2 sqrt(mean Z)).
    matrix_.resize(kColumns * n);
    const std::span<double> z(matrix_.data(), n);
    const std::span<double> xc(matrix_.data() + n, n);
    const std::span<double> yc(matrix_.data() + 2 * n, n);
    const double x_mean = mean(x);
    const double y_mean = mean(y);
    for (std::size_t i = 0; i < n; ++i) {
        xc[i] = x[i] - x_mean;
        yc[i] = y[i] - y_mean;
        z[i] = xc[i] * xc[i] + yc[i] * yc[i];
    }
    const double z_mean = mean(z);
    const double s = std::sqrt(z_mean) + std::sqrt(z_mean);
    for (double& zi : z) {
        zi = (zi - z_mean) / s;
    }

    // dgesvd never returns on a matrix holding NaN (its dbdsqr loops), and
    // coincident points (0 / 0 above), infinite or NaN coordinates all lead
    // there. Such a matrix gets the result NaN vectors would give: NaN in
    // every field, which no rmse bound accepts.
    if (!std::all_of(matrix_.begin(), matrix_.end(), [](double v) { return std::isfinite(v); })) {
        const double nan = std::numeric_limits<double>::quiet_NaN();
        return CircleFit{nan, nan, nan, nan};
    }

    const int rows = static_cast<int>(n);
    const int lwork = workspace_size(rows);
    if (work_.size() < static_cast<std::size_t>(lwork)) {
        work_.resize(static_cast<std::size_t>(lwork));
    }
    if (dgesvd(rows, matrix_.data(), singular_values_, vt_, work_.data(), lwork) != 0) {
        return std::nullopt;
    }

    // The third row of VT belongs to the smallest singular value: the circle
    // A0 (x^2 + y^2) + A1 x + A2 y + A3 = 0 in centred coordinates, once the
    // scaling of the first column is undone.
    double a0 = vt_[2];
    const double a1 = vt_[2 + kColumns];
    const double a2 = vt_[2 + 2 * kColumns];
    a0 = a0 / s;
    const double a3 = -z_mean * a0;

    CircleFit fit;
    fit.center_x = x_mean + (-0.5 * a1) / a0;
    fit.center_y = y_mean + (-0.5 * a2) / a0;
    fit.radius = std::sqrt(-4.0 * a0 * a3 + (a2 * a2 + a1 * a1)) * 0.5 / std::fabs(a0);

    double sum = -0.0;
    const std::size_t m = std::min(x.size(), y.size());
    for (std::size_t i = 0; i < m; ++i) {
        const double dx = x[i] - fit.center_x;
        const double dy = y[i] - fit.center_y;
        const double d = std::sqrt(dx * dx + dy * dy) - fit.radius;
        sum += d * d;
    }
    fit.rmse = std::sqrt(sum / static_cast<double>(x.size()));
    return fit;
}

std::optional<CircleFit> taubin_circle_fit(std::span<const double> x, std::span<const double> y) {
    CircleFitter fitter;
    return fitter.fit(x, y);
}

}  // namespace wayforge
