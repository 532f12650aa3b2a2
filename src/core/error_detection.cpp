#include "core/error_detection.hpp"

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <algorithm>

namespace wayforge {

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kTwoPi = 6.283185307179586;

double heading(Point from, Point to) { return std::atan2(to.y - from.y, to.x - from.x); }

// The turn between the headings of the incoming and the outgoing segment.
// Both candidates are computed and one is selected by a bit mask, not a
// branch: on a noisy path the turns are random and a branch would often be
// mispredicted (the compiler turns a plain conditional into one).
bool is_suspicious(double incoming, double outgoing, double sus_angle) {
    const double d = std::fabs(outgoing - incoming);
    const double wrapped = std::fabs(kTwoPi - d);
    const std::uint64_t take_wrapped = std::uint64_t{0} - static_cast<std::uint64_t>(kPi < d);
    const double turn = std::bit_cast<double>((std::bit_cast<std::uint64_t>(wrapped) & take_wrapped) |
                                              (std::bit_cast<std::uint64_t>(d) & ~take_wrapped));
    return turn >= sus_angle;
}

// The turn at a point, between the segment u into it and the segment v out of
// it, tested against sus_angle. The answer is that of the two headings
// (atan2 of u and of v) and is_suspicious. Most turns are far from the
// threshold, and there the cosine of the turn, from the dot product, gives
// the same answer for a fraction of the cost: computed in floating point it
// is within a few units in the last place of the exact cosine, and the
// headings' turn is within a few units in the last place of the exact turn,
// so where the cosine lies more than kMargin from cos(sus_angle) both
// roundings decide alike (|d cos| <= |d angle|). Closer to the threshold, and
// for vectors whose squares could overflow or underflow, or that are not
// finite, the headings decide.
class TurnTest {
public:
    explicit TurnTest(double sus_angle)
        : sus_angle_(sus_angle),
          cosine_(std::cos(sus_angle)),
          // cos is decreasing only on [0, pi]; elsewhere the headings decide.
          by_cosine_(sus_angle > 0.0 && sus_angle < kPi) {}

    // The cosine of the turn at point, between from and to, or NaN where
    // the headings must decide. Branch-free, so that a loop over many points
    // vectorises.
    double cosine(Point from, Point point, Point to) const {
        const double ux = point.x - from.x;
        const double uy = point.y - from.y;
        const double vx = to.x - point.x;
        const double vy = to.y - point.y;
        const double uu = ux * ux + uy * uy;
        const double vv = vx * vx + vy * vy;
        // NaN fails these comparisons too.
        const bool usable = by_cosine_ & (uu >= kSmallest) & (uu <= kLargest) & (vv >= kSmallest) &
                            (vv <= kLargest);
        const double c = (ux * vx + uy * vy) / std::sqrt(uu * vv);
        return usable ? c : std::numeric_limits<double>::quiet_NaN();
    }

    // The answer for a turn whose cosine is given (NaN: undecided);
    // heading_into and heading_out_of give the headings when they are needed.
    template <class Into, class OutOf>
    bool suspicious(double cosine, Into&& heading_into, OutOf&& heading_out_of) const {
        if (cosine < cosine_ - kMargin) {
            return true;
        }
        if (cosine > cosine_ + kMargin) {
            return false;
        }
        return is_suspicious(heading_into(), heading_out_of(), sus_angle_);
    }

private:
    static constexpr double kMargin = 1e-9;
    // Squared lengths within these bounds multiply to a normal number.
    static constexpr double kSmallest = 1e-140;
    static constexpr double kLargest = 1e140;
    double sus_angle_;
    double cosine_;
    bool by_cosine_;
};

// Removes, in one pass, the entries whose index is marked removed; entries
// beyond the marks (surplus coordinates) stay at the end.
template <class T>
void compact(std::vector<T>& list, const std::vector<std::uint8_t>& removed) {
    std::size_t out = 0;
    for (std::size_t in = 0; in < list.size(); ++in) {
        if (in < removed.size() && removed[in]) {
            continue;
        }
        if (out != in) {
            list[out] = list[in];
        }
        ++out;
    }
    list.resize(out);
}

}  // namespace

std::vector<std::size_t> detect_corrupted_point_order(const Path2D& path, double sus_angle) {
    return detect_corrupted_point_order(path.points(), sus_angle);
}

std::vector<std::size_t> detect_corrupted_point_order(PointsView p, double sus_angle) {
    std::vector<std::size_t> flagged;
    if (p.size() < 3) {
        return flagged;
    }
    const TurnTest test(sus_angle);
    // The cosines of a block of turns first, then the answers.
    constexpr std::size_t kBlock = 256;
    double cosines[kBlock];
    const std::size_t end = p.size() - 1;
    for (std::size_t start = 1; start < end; start += kBlock) {
        const std::size_t count = std::min(kBlock, end - start);
        for (std::size_t i = 0; i < count; ++i) {
            cosines[i] = test.cosine(p[start + i - 1], p[start + i], p[start + i + 1]);
        }
        for (std::size_t i = 0; i < count; ++i) {
            const std::size_t j = start + i;
            if (test.suspicious(cosines[i], [&] { return heading(p[j - 1], p[j]); },
                                [&] { return heading(p[j], p[j + 1]); })) {
                flagged.push_back(j);
            }
        }
    }
    return flagged;
}

// Removing the points flagged in one round only changes the turns at the
// surviving neighbours of the removed points, so after the first full pass
// only those are examined again. The surviving points are kept as a doubly
// linked list over the original indices: linear time however many rounds the
// repair takes. Each turn is tested on the same pairs of points as on the
// shortened lists, so the result is the same.
std::vector<std::uint8_t> points_out_of_order(PointsView p, double sus_angle) {
    const std::size_t n = p.size();
    std::vector<std::uint8_t> removed;
    std::vector<std::size_t> flagged = detect_corrupted_point_order(p, sus_angle);
    if (flagged.empty()) {
        return removed;
    }

    // prev/next of each surviving point; the first and last point are never
    // inner points, so they are never removed.
    std::vector<std::size_t> prev(n);
    std::vector<std::size_t> next(n);
    for (std::size_t k = 0; k < n; ++k) {
        prev[k] = k - 1;  // wraps for k == 0, never read
        next[k] = k + 1;
    }
    removed.assign(n, 0);
    // The round in which a point was last examined, to examine it once.
    std::vector<std::size_t> examined(n, 0);
    std::vector<std::size_t> touched;
    std::size_t round = 0;
    const TurnTest test(sus_angle);

    while (!flagged.empty()) {
        ++round;
        touched.clear();
        for (const std::size_t k : flagged) {
            removed[k] = 1;
            next[prev[k]] = next[k];
            prev[next[k]] = prev[k];
            touched.push_back(prev[k]);
            touched.push_back(next[k]);
        }
        // Examine every surviving inner point whose neighbours changed, with
        // all of this round's removals done.
        flagged.clear();
        for (const std::size_t k : touched) {
            if (removed[k] || k == 0 || k == n - 1 || examined[k] == round) {
                continue;
            }
            examined[k] = round;
            const Point from = p[prev[k]];
            const Point here = p[k];
            const Point to = p[next[k]];
            if (test.suspicious(test.cosine(from, here, to), [&] { return heading(from, here); },
                                [&] { return heading(here, to); })) {
                flagged.push_back(k);
            }
        }
    }
    return removed;
}

Path2D repair_corrupted_point_order(const Path2D& path, double sus_angle) {
    Path2D repaired;
    repaired.x = path.x;
    repaired.y = path.y;
    repaired.associated_values = path.associated_values;
    const std::vector<std::uint8_t> removed = points_out_of_order(repaired.points(), sus_angle);
    if (removed.empty()) {
        return repaired;
    }
    compact(repaired.x, removed);
    compact(repaired.y, removed);
    for (Values& values : repaired.associated_values) {
        compact(values, removed);
    }
    return repaired;
}

}  // namespace wayforge
