// Reads fuzzer bytes as the values the core operations take: sizes, doubles
// (weighted towards the ones that break arithmetic), paths built from points
// or from coordinate lists of unequal length, with associated value lists.
// Exhausted input reads as zeros, so every byte string is a valid input.
#pragma once

#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <span>

#include "core/path2d.hpp"

namespace wayforge::fuzz {

class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    bool empty() const noexcept { return pos_ >= size_; }

    std::uint8_t byte() { return pos_ < size_ ? data_[pos_++] : 0; }

    std::uint64_t u64() {
        std::uint64_t v = 0;
        for (int i = 0; i < 8; ++i) {
            v |= static_cast<std::uint64_t>(byte()) << (8 * i);
        }
        return v;
    }

    // 0 ... limit (inclusive).
    std::size_t size(std::size_t limit) {
        const std::uint64_t v = byte() | (static_cast<std::uint64_t>(byte()) << 8);
        return static_cast<std::size_t>(v % (limit + 1));
    }

    bool flag() { return (byte() & 1) != 0; }

    // A double: small integers and halves, the special values, or any bit
    // pattern (NaN payloads, subnormals, huge magnitudes).
    double number() {
        const std::uint8_t kind = byte();
        if (kind < 96) {
            return static_cast<double>(static_cast<std::int8_t>(byte())) * 0.5;
        }
        if (kind < 160) {
            static constexpr double kSpecial[] = {
                0.0, -0.0, std::numeric_limits<double>::quiet_NaN(),
                std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
                std::numeric_limits<double>::denorm_min(), std::numeric_limits<double>::min(),
                std::numeric_limits<double>::max(), -std::numeric_limits<double>::max(), 1e-300,
                1e300, 0.01, 0.15, 2.8, 3.141592653589793, 1e-9};
            return kSpecial[byte() % std::size(kSpecial)];
        }
        if (kind < 224) {
            // a finite value of moderate size
            const double unit = static_cast<double>(u64() >> 11) * 0x1p-53;
            return (unit - 0.5) * 200.0;
        }
        return std::bit_cast<double>(u64());
    }

    Values numbers(std::size_t count) {
        Values v(count);
        for (double& d : v) {
            d = number();
        }
        return v;
    }

    Points points(std::size_t count) {
        Points p(count);
        for (Point& q : p) {
            q.x = number();
            q.y = number();
        }
        // Repeat some points: coincident neighbours are a degenerate case of
        // their own.
        for (std::size_t r = size(2); r > 0 && !p.empty(); --r) {
            const std::size_t i = size(p.size() - 1);
            p.insert(p.begin() + static_cast<std::ptrdiff_t>(i), p[i]);
        }
        return p;
    }

    // A path of up to max_points points, from points or from coordinate
    // lists (possibly of unequal length), with 0 to 2 associated value lists.
    Path2D path(std::size_t max_points) {
        const std::uint8_t how = byte() % 4;
        const std::size_t n = size(max_points);
        Path2D p;
        if (how == 0) {
            Values x = numbers(n);
            Values y = numbers(n + size(3));
            if (flag()) {
                std::swap(x, y);
            }
            p = Path2D::from_coordinates(std::move(x), std::move(y));
        } else {
            p = Path2D::from_points(points(n));
        }
        for (std::size_t k = size(2); k > 0; --k) {
            p.add_associated_values(numbers(p.size()));
        }
        return p;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

// A property every input must keep; a violation aborts, which the fuzzer
// reports with the input that caused it.
#define FUZZ_CHECK(cond)                                                                \
    do {                                                                                \
        if (!(cond)) {                                                                  \
            std::fprintf(stderr, "%s:%d: property violated: %s\n", __FILE__, __LINE__, #cond); \
            std::abort();                                                               \
        }                                                                               \
    } while (0)

// Equality of doubles bit for bit (so -0.0 differs from 0.0), except that
// every NaN equals every NaN: which NaN an operation yields (sign, payload)
// depends on the compiler's operand order, not on the program.
inline bool same_bits(double a, double b) {
    return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b) || (std::isnan(a) && std::isnan(b));
}

inline bool same_bits(std::span<const double> a, std::span<const double> b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (!same_bits(a[i], b[i])) {
            return false;
        }
    }
    return true;
}

// Lists of points, or the points of a path read from its coordinate lists.
template <class A, class B>
    requires requires(const A& a, const B& b) { a[0].x; b[0].y; a.size(); b.size(); }
bool same_bits(const A& a, const B& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (!same_bits(a[i].x, b[i].x) || !same_bits(a[i].y, b[i].y)) {
            return false;
        }
    }
    return true;
}

// Every list of the record has the length its construction gives it.
inline void check_record(const Path2D& p) {
    const std::size_t n = p.points().size();
    FUZZ_CHECK(n == std::min(p.x.size(), p.y.size()));
    for (std::size_t i = 0; i < n; ++i) {
        FUZZ_CHECK(same_bits(p.points()[i].x, p.x[i]) && same_bits(p.points()[i].y, p.y[i]));
    }
    for (const Values& v : p.associated_values) {
        FUZZ_CHECK(v.size() == n);
    }
}

}  // namespace wayforge::fuzz
