// Plain loops of the C library calls that the exact attributes make, one call
// per point, compiled with the module's floating-point flags. They are the
// limit for computing orientation, the corrupted-order check and curvature
// with the library's digits: benchmarks/run.py times them beside wayforge.
#include <cmath>
#include <cstddef>

extern "C" {

// atan2 of the forward, central and backward differences (n >= 2).
void atan2_central(const double* x, const double* y, std::size_t n, double* out) {
    out[0] = std::atan2(y[1] - y[0], x[1] - x[0]);
    for (std::size_t i = 1; i + 1 < n; ++i) {
        out[i] = std::atan2(y[i + 1] - y[i - 1], x[i + 1] - x[i - 1]);
    }
    out[n - 1] = std::atan2(y[n - 1] - y[n - 2], x[n - 1] - x[n - 2]);
}

// atan2 of each segment: n - 1 headings.
void atan2_segments(const double* x, const double* y, std::size_t n, double* out) {
    for (std::size_t i = 0; i + 1 < n; ++i) {
        out[i] = std::atan2(y[i + 1] - y[i], x[i + 1] - x[i]);
    }
}

// pow(dx * dx + dy * dy, 1.5) of the halved central differences inside.
void pow_central(const double* x, const double* y, std::size_t n, double* out) {
    for (std::size_t i = 1; i + 1 < n; ++i) {
        const double dx = (x[i + 1] - x[i - 1]) * 0.5;
        const double dy = (y[i + 1] - y[i - 1]) * 0.5;
        out[i] = std::pow(dx * dx + dy * dy, 1.5);
    }
}

}
