#include "core/error_detection.hpp"

#include <bit>
#include <cmath>
#include <cstdint>

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
    const PointsView p = path.points();
    std::vector<std::size_t> flagged;
    if (p.size() < 3) {
        return flagged;
    }
    // The outgoing heading at j is the incoming heading at j+1. Every index
    // is written to a small block and kept by advancing past it, without a
    // branch on the (random) outcome; the block is flushed when full.
    constexpr std::size_t kBlock = 256;
    std::size_t block[kBlock];
    std::size_t used = 0;
    double incoming = heading(p[0], p[1]);
    for (std::size_t j = 1; j + 1 < p.size(); ++j) {
        if (used == kBlock) {
            flagged.insert(flagged.end(), block, block + kBlock);
            used = 0;
        }
        const double outgoing = heading(p[j], p[j + 1]);
        block[used] = j;
        used += static_cast<std::size_t>(is_suspicious(incoming, outgoing, sus_angle));
        incoming = outgoing;
    }
    flagged.insert(flagged.end(), block, block + used);
    return flagged;
}

// Removing the points flagged in one round only changes the turns at the
// surviving neighbours of the removed points, so after the first full pass
// only those are examined again. The surviving points are kept as a doubly
// linked list over the original indices and every list is compacted once at
// the end: linear time however many rounds the repair takes. The headings are
// computed from the same pairs of points as on the shortened lists, so the
// result is the same.
Path2D repair_corrupted_point_order(const Path2D& path, double sus_angle) {
    Path2D repaired;
    repaired.x = path.x;
    repaired.y = path.y;
    repaired.associated_values = path.associated_values;

    const std::size_t n = repaired.size();
    std::vector<std::size_t> flagged = detect_corrupted_point_order(repaired, sus_angle);
    // x and y stay unchanged until the lists are compacted at the end.
    const PointsView p = repaired.points();
    if (flagged.empty()) {
        return repaired;
    }

    // prev/next of each surviving point; the first and last point are never
    // inner points, so they are never removed.
    std::vector<std::size_t> prev(n);
    std::vector<std::size_t> next(n);
    for (std::size_t k = 0; k < n; ++k) {
        prev[k] = k - 1;  // wraps for k == 0, never read
        next[k] = k + 1;
    }
    std::vector<std::uint8_t> removed(n, 0);
    // The round in which a point was last examined, to examine it once.
    std::vector<std::size_t> examined(n, 0);
    std::vector<std::size_t> touched;
    std::size_t round = 0;

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
            const Point here = p[k];
            if (is_suspicious(heading(p[prev[k]], here), heading(here, p[next[k]]), sus_angle)) {
                flagged.push_back(k);
            }
        }
    }

    compact(repaired.x, removed);
    compact(repaired.y, removed);
    for (Values& values : repaired.associated_values) {
        compact(values, removed);
    }
    return repaired;
}

}  // namespace wayforge
