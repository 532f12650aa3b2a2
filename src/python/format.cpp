#include "python/format.hpp"

#include <charconv>
#include <cmath>

namespace wayforge::py {

void append_double(std::string& out, double value) {
    if (std::isnan(value)) {
        out += "NaN";
        return;
    }
    if (std::isinf(value)) {
        out += value < 0 ? "-inf" : "inf";
        return;
    }
    if (std::signbit(value)) {
        out += '-';
        value = -value;
    }
    if (value == 0.0) {
        out += "0.0";
        return;
    }
    // The shortest round-trip digits and their decimal exponent.
    char buf[64];
    const auto result = std::to_chars(buf, buf + sizeof(buf), value, std::chars_format::scientific);
    std::string digits;
    const char* p = buf;
    for (; p != result.ptr && *p != 'e'; ++p) {
        if (*p != '.') {
            digits += *p;
        }
    }
    int exponent = 0;
    const char* exponent_start = p + 1;  // after the 'e'
    if (*exponent_start == '+') {
        ++exponent_start;
    }
    std::from_chars(exponent_start, result.ptr, exponent);

    if (value < 1e-4 || value >= 1e16) {
        out += digits[0];
        if (digits.size() > 1) {
            out += '.';
            out.append(digits, 1, std::string::npos);
        }
        out += 'e';
        out += std::to_string(exponent);
        return;
    }
    if (exponent < 0) {
        out += "0.";
        out.append(static_cast<std::size_t>(-exponent - 1), '0');
        out += digits;
        return;
    }
    const auto whole = static_cast<std::size_t>(exponent) + 1;
    if (digits.size() <= whole) {
        out += digits;
        out.append(whole - digits.size(), '0');
        out += ".0";
    } else {
        out.append(digits, 0, whole);
        out += '.';
        out.append(digits, whole, std::string::npos);
    }
}

std::string format_double(double value) {
    std::string out;
    append_double(out, value);
    return out;
}

namespace {

void append(std::string& out, const Values& values) {
    out += '[';
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i > 0) {
            out += ", ";
        }
        append_double(out, values[i]);
    }
    out += ']';
}

// Points as "[[x, y], ...]", from a list of points or from a path's
// coordinate lists alike.
template <class PointList>
void append_points(std::string& out, const PointList& points) {
    out += '[';
    for (std::size_t i = 0; i < points.size(); ++i) {
        if (i > 0) {
            out += ", ";
        }
        out += '[';
        append_double(out, points[i].x);
        out += ", ";
        append_double(out, points[i].y);
        out += ']';
    }
    out += ']';
}

void append(std::string& out, const Points& points) { append_points(out, points); }
void append(std::string& out, PointsView points) { append_points(out, points); }

template <class T>
void append(std::string& out, const LazyCell<T>& cell) {
    if (const T* value = cell.get()) {
        out += "OnceCell(";
        append(out, *value);
        out += ')';
    } else {
        out += "OnceCell(<uninit>)";
    }
}

}  // namespace

std::string describe(const Path2D& path) {
    std::string out = "Path2D { points: ";
    append(out, path.points());
    out += ", x: ";
    append(out, path.x);
    out += ", y: ";
    append(out, path.y);
    out += ", path_length_per_point: ";
    append(out, path.path_length_per_point_cell);
    out += ", orientation: ";
    append(out, path.orientation_cell);
    out += ", unit_tangent_vector: ";
    append(out, path.unit_tangent_vector_cell);
    out += ", curvature: ";
    append(out, path.curvature_cell);
    out += ", associated_values: [";
    for (std::size_t i = 0; i < path.associated_values.size(); ++i) {
        if (i > 0) {
            out += ", ";
        }
        append(out, path.associated_values[i]);
    }
    out += "] }";
    return out;
}

}  // namespace wayforge::py
