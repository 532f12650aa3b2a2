// Text forms used by __repr__: doubles in their shortest round-trip form and
// the description of a path record.
#pragma once

#include <string>

#include "core/path2d.hpp"

namespace wayforge::py {

// Shortest text that reads back to the same double, always with a digit
// after the point ("1.0"); exponent form ("1e-5", "2.5e16") for non-zero
// magnitudes below 1e-4 or from 1e16; "NaN", "inf", "-inf", "-0.0".
void append_double(std::string& out, double value);
std::string format_double(double value);

// "Path2D { points: [...], x: [...], ..., associated_values: [...] }"
std::string describe(const Path2D& path);

}  // namespace wayforge::py
