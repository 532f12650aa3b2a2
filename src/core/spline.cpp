#include "core/spline.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

#include "core/panic.hpp"

namespace wayforge {

namespace {

// A list of 2^60 doubles or more is larger than the largest allocation.
constexpr std::size_t kMaxGridSize = std::size_t{1} << 60;

// The key order: a goes before b exactly when a >= b does not hold, so a NaN
// compares as smaller in both directions. Sorting never relies on this being
// a consistent order; it only decides which key moves.
bool key_less(double a, double b) { return !(a >= b); }

bool in_order(const Values& t, std::size_t m) {
    for (std::size_t i = 1; i < m; ++i) {
        if (key_less(t[i], t[i - 1])) {
            return false;
        }
    }
    return true;
}

// Moves the last key in front of every key it sorts before, scanning from the
// back, so that it stays behind keys with an equal parameter. On keys that were
// in order this is exactly a stable sort.
void insert_last(std::vector<SplineKey>& keys) {
    std::size_t j = keys.size() - 1;
    const double t = keys[j].t;
    while (j > 0 && key_less(t, keys[j - 1].t)) {
        --j;
    }
    std::rotate(keys.begin() + static_cast<std::ptrdiff_t>(j), keys.end() - 1, keys.end());
}

// A bottom-up stable merge sort. Unlike std::stable_sort it is well defined
// for the inconsistent order that NaN parameters give: it always ends with a
// permutation of the keys.
void merge_sort(std::vector<SplineKey>& keys) {
    const std::size_t n = keys.size();
    std::vector<SplineKey> buffer(n);
    for (std::size_t width = 1; width < n; width *= 2) {
        for (std::size_t lo = 0; lo < n; lo += 2 * width) {
            const std::size_t mid = std::min(lo + width, n);
            const std::size_t hi = std::min(lo + 2 * width, n);
            std::size_t a = lo;
            std::size_t b = mid;
            std::size_t out = lo;
            while (a < mid && b < hi) {
                buffer[out++] = key_less(keys[b].t, keys[a].t) ? keys[b++] : keys[a++];
            }
            while (a < mid) buffer[out++] = keys[a++];
            while (b < hi) buffer[out++] = keys[b++];
        }
        keys.swap(buffer);
    }
}

// Appends a key and sorts again. `ordered` says that the keys were built from
// parameters already in order, so only the new key can be out of place.
void append_sorted(std::vector<SplineKey>& keys, SplineKey key, bool ordered) {
    keys.push_back(key);
    if (ordered) {
        insert_last(keys);
    } else {
        merge_sort(keys);
    }
}

[[noreturn]] void panic_nan_parameter() { panic("cannot sample a spline at a NaN parameter"); }

// The number of keys with t <= s, by binary search; keys meet s in the
// search and a NaN among them is an internal error.
std::size_t count_at_or_before(const std::vector<SplineKey>& keys, double s) {
    std::size_t lo = 0;
    std::size_t hi = keys.size();
    while (lo < hi) {
        const std::size_t mid = lo + (hi - lo) / 2;
        const double t = keys[mid].t;
        if (std::isnan(t)) {
            panic("spline key parameter is NaN");
        }
        if (t <= s) {
            lo = mid + 1;
        } else {
            hi = mid;
        }
    }
    return lo;
}

// Evaluates the segment that starts at the last key with t <= s, given the
// number of such keys.
std::optional<std::pair<double, std::size_t>> sample_segment(const std::vector<SplineKey>& k,
                                                             std::size_t at_or_before, double s) {
    if (at_or_before == 0 || at_or_before == k.size()) {
        return std::nullopt;  // before the first key, or at or past the last
    }
    const std::size_t i = at_or_before - 1;
    switch (k[i].interpolation) {
    case SplineInterpolation::Linear: {
        const double u = (s - k[i].t) / (k[i + 1].t - k[i].t);
        return std::pair{u * k[i + 1].value + (1.0 - u) * k[i].value, i};
    }
    case SplineInterpolation::CatmullRom: {
        // The tangents need one key on either side of the segment.
        if (i == 0 || i >= k.size() - 2) {
            return std::nullopt;
        }
        const double d = k[i + 1].t - k[i].t;
        const double u = (s - k[i].t) / d;
        const double m0 = (k[i + 1].value - k[i - 1].value) / (k[i + 1].t - k[i - 1].t);
        const double m1 = (k[i + 2].value - k[i].value) / (k[i + 2].t - k[i].t);
        const double u2 = u * u;
        const double u3 = u2 * u;
        const double h00 = 2.0 * u3 - 3.0 * u2 + 1.0;
        const double h10 = u3 - 2.0 * u2 + u;
        const double h01 = 3.0 * u2 - 2.0 * u3;
        const double h11 = u3 - u2;
        const double value = h10 * d * m0 + h00 * k[i].value + h01 * k[i + 1].value + h11 * d * m1;
        return std::pair{value, i};
    }
    }
    return std::nullopt;
}

}  // namespace

LinspaceGrid linspace_grid(std::int32_t start, double end, std::size_t n) {
    check(n != 0, "linspace needs at least one element");
    if (n >= kMaxGridSize) {
        panic("linspace of " + std::to_string(n) + " elements exceeds the largest allocation");
    }
    const double first = static_cast<double>(start);
    const double step = n >= 2 ? (end - first) / static_cast<double>(n - 1) : 0.0;
    return LinspaceGrid{first, end, step, n};
}

Values linspace(std::int32_t start, double end, std::size_t n) {
    const LinspaceGrid grid = linspace_grid(start, end, n);
    Values v;
    v.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        v.push_back(grid[i]);
    }
    return v;
}

Spline make_spline(const Values& t_values, const Values& values, SplineInterpolation kind) {
    check(!values.empty(), "make_spline needs at least one value");
    check(!t_values.empty(), "make_spline needs at least one parameter");
    const std::size_t m = std::min(t_values.size(), values.size());
    Spline spline;
    std::vector<SplineKey>& keys = spline.keys;
    keys.reserve(m + 3);

    const SplineKey start_pad{-1.0, values.front(), kind};
    const bool ordered = in_order(t_values, m);
    if (ordered && key_less(start_pad.t, t_values[0])) {
        // Ascending parameters above -1 (path lengths): the start pad sorts to
        // the front, so write it there instead of moving every key.
        keys.push_back(start_pad);
        for (std::size_t i = 0; i < m; ++i) {
            keys.push_back({t_values[i], values[i], kind});
        }
    } else {
        for (std::size_t i = 0; i < m; ++i) {
            keys.push_back({t_values[i], values[i], kind});
        }
        if (!ordered) {
            merge_sort(keys);
        }
        append_sorted(keys, start_pad, ordered);
    }

    // The end pads repeat the last value of the whole list just after the last
    // parameter of the whole list. From a parameter of about 2^47 on, adding
    // 0.01 or 0.02 rounds back onto it (or the two pads onto each other); the
    // last parameter would then start no segment and the path's end would not
    // be sampled. Such a pad takes the next representable parameter instead.
    const double last_t = t_values.back();
    const double last_value = values.back();
    const double infinity = std::numeric_limits<double>::infinity();
    double first_pad = last_t + 0.01;
    if (!(first_pad > last_t)) {
        first_pad = std::nextafter(last_t, infinity);
    }
    double second_pad = last_t + 0.02;
    if (!(second_pad > first_pad)) {
        second_pad = std::nextafter(first_pad, infinity);
    }
    append_sorted(keys, {first_pad, last_value, kind}, ordered);
    append_sorted(keys, {second_pad, last_value, kind}, ordered);
    return spline;
}

std::optional<std::pair<double, std::size_t>> sample_with_key(const Spline& spline, double s) {
    const std::vector<SplineKey>& keys = spline.keys;
    if (keys.size() < 2) {
        return std::nullopt;
    }
    if (std::isnan(s)) {
        panic_nan_parameter();
    }
    return sample_segment(keys, count_at_or_before(keys, s), s);
}

namespace {

// Walking is only equivalent to the binary search over keys that are sorted
// and free of NaN.
bool walkable(const std::vector<SplineKey>& keys) {
    bool ok = true;
    double previous = -std::numeric_limits<double>::infinity();
    for (const SplineKey& k : keys) {
        // false for NaN as well as for a step down
        ok &= k.t >= previous;
        previous = k.t;
    }
    return ok;
}

}  // namespace

SplineSampler::SplineSampler(const Spline& spline)
    : spline_(spline), can_walk_(walkable(spline.keys)) {}

std::optional<std::size_t> SplineSampler::locate(double s) {
    const std::vector<SplineKey>& keys = spline_.keys;
    if (keys.size() < 2) {
        return std::nullopt;
    }
    if (std::isnan(s)) {
        panic_nan_parameter();
    }
    if (!can_walk_) {
        return count_at_or_before(keys, s);
    }
    // Keys without NaN are totally ordered, so the count of keys at or before
    // s is unique: walking forward from the previous count finds the same one
    // as the binary search. A parameter smaller than the previous one searches.
    std::size_t c = keys_at_or_before_;
    if (c > 0 && !(keys[c - 1].t <= s)) {
        c = count_at_or_before(keys, s);
    } else {
        while (c < keys.size() && keys[c].t <= s) {
            ++c;
        }
    }
    keys_at_or_before_ = c;
    return c;
}

std::optional<std::pair<double, std::size_t>> SplineSampler::operator()(double s) {
    const std::optional<std::size_t> c = locate(s);
    if (!c) {
        return std::nullopt;
    }
    return sample_segment(spline_.keys, *c, s);
}

void SplineSampler::sample_values(std::span<const double> at, double missing, double* out) {
    for (std::size_t i = 0; i < at.size(); ++i) {
        const auto sample = (*this)(at[i]);
        out[i] = sample ? sample->first : missing;
    }
}

void SplineSampler::sample_pair(const Spline& other, const LinspaceGrid& at, double missing,
                                double* out, double* other_out) {
    check(other.keys.size() == spline_.keys.size(),
          "splines sampled together have different numbers of keys");
    for (std::size_t i = 0; i < at.size(); ++i) {
        const double s = at[i];
        const std::optional<std::size_t> c = locate(s);
        // The count of keys at or before s depends on the parameters only,
        // which both splines share.
        const auto sample = c ? sample_segment(spline_.keys, *c, s) : std::nullopt;
        const auto other_sample = c ? sample_segment(other.keys, *c, s) : std::nullopt;
        out[i] = sample ? sample->first : missing;
        other_out[i] = other_sample ? other_sample->first : missing;
    }
}

}  // namespace wayforge
