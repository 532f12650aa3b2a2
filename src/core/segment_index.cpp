#include "core/segment_index.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <utility>

namespace wayforge {

namespace {

// Segments per leaf. Consecutive segments of a path lie close together, so a
// leaf is a run of them, read straight from the coordinate lists.
constexpr std::size_t kLeafSegments = 8;
// Children per node. The group layout, the two-lane loops and the sorting
// network of the children below are written for four.
constexpr std::size_t kFanout = 4;
constexpr std::size_t kGroupDoubles = 4 * kFanout;
constexpr double kInf = std::numeric_limits<double>::infinity();

struct Box {
    double min_x = kInf;
    double min_y = kInf;
    double max_x = -kInf;
    double max_y = -kInf;

    void add(double x, double y) noexcept {
        min_x = std::min(min_x, x);
        min_y = std::min(min_y, y);
        max_x = std::max(max_x, x);
        max_y = std::max(max_y, y);
    }
    void add(const Box& b) noexcept {
        min_x = std::min(min_x, b.min_x);
        min_y = std::min(min_y, b.min_y);
        max_x = std::max(max_x, b.max_x);
        max_y = std::max(max_y, b.max_y);
    }
};

// Widens a leaf's box by a margin. The pruning is exact only if every point
// nearest_on_segment computes lies in its leaf's box: rounding is monotonic,
// so the box distance computed below is then never more than the computed
// distance of any such point, and a segment that could win, or tie, is never
// pruned. An interior point a + t * (b - a), 0 < t < 1, does stay between a
// and b in round-to-nearest arithmetic; the margin (2^-48 of the coordinates'
// magnitude, far above a few ulp, plus the smallest normal number for
// subnormal ones) keeps that from resting on so fine an argument, and costs no
// measurable pruning.
Box padded(Box b) noexcept {
    constexpr double kRelative = 0x1p-48;
    constexpr double kAbsolute = std::numeric_limits<double>::min();
    const double px = std::max(std::fabs(b.min_x), std::fabs(b.max_x)) * kRelative + kAbsolute;
    const double py = std::max(std::fabs(b.min_y), std::fabs(b.max_y)) * kRelative + kAbsolute;
    return Box{b.min_x - px, b.min_y - py, b.max_x + px, b.max_y + py};
}

// Two doubles computed lane by lane with the same IEEE operations as scalar
// code (GCC and Clang lower them to SSE2 on x86-64, to scalar code elsewhere).
// The choices inside a segment's nearest point then cost no branch: with
// scalar code they are unpredictable and their mispredictions, not the
// arithmetic, would set the time of a query.
typedef double Lanes __attribute__((vector_size(16)));
typedef std::int64_t LaneMask __attribute__((vector_size(16)));

inline Lanes select(LaneMask m, Lanes a, Lanes b) noexcept {
    return reinterpret_cast<Lanes>((reinterpret_cast<LaneMask>(a) & m) |
                                   (reinterpret_cast<LaneMask>(b) & ~m));
}

// Squared distance from q to each of the four boxes of a group; an empty
// slot gives +inf. Each axis takes the larger of low - q, q - high and 0, then
// the same operations as nearest_on_segment's distance.
inline void box_distances(const double* g, double qx, double qy, double* d2) noexcept {
    const Lanes zero{0.0, 0.0};
    for (std::size_t c = 0; c < kFanout; c += 2) {
        const Lanes below_x = Lanes{g[c], g[c + 1]} - qx;
        const Lanes above_x = qx - Lanes{g[8 + c], g[9 + c]};
        const Lanes below_y = Lanes{g[4 + c], g[5 + c]} - qy;
        const Lanes above_y = qy - Lanes{g[12 + c], g[13 + c]};
        Lanes dx = select(below_x > above_x, below_x, above_x);
        Lanes dy = select(below_y > above_y, below_y, above_y);
        dx = select(dx > zero, dx, zero);
        dy = select(dy > zero, dy, zero);
        const Lanes d = dx * dx + dy * dy;
        d2[c] = d[0];
        d2[c + 1] = d[1];
    }
}

// nearest_on_segment's d2 for the count <= kLeafSegments segments from begin,
// two at a time. A slot past count repeats the last segment: reads stay in
// bounds, and its equal distance never displaces the earlier slot.
inline void leaf_distances(const double* x, const double* y, std::size_t begin, std::size_t count,
                           double qx, double qy, double* d2) noexcept {
    for (std::size_t k = 0; k < kLeafSegments; k += 2) {
        const std::size_t i0 = begin + std::min(k, count - 1);
        const std::size_t i1 = begin + std::min(k + 1, count - 1);
        const Lanes ax{x[i0], x[i1]};
        const Lanes ay{y[i0], y[i1]};
        const Lanes bx{x[i0 + 1], x[i1 + 1]};
        const Lanes by{y[i0 + 1], y[i1 + 1]};
        const Lanes mx = bx - ax;
        const Lanes my = by - ay;
        const Lanes t = ((qx - ax) * mx + (qy - ay) * my) / (mx * mx + my * my);
        const LaneMask end = t >= 1.0;
        const LaneMask inside = t > 0.0;
        const Lanes dx = select(end, bx, select(inside, ax + t * mx, ax)) - qx;
        const Lanes dy = select(end, by, select(inside, ay + t * my, ay)) - qy;
        const Lanes lane_d2 = dx * dx + dy * dy;
        d2[k] = lane_d2[0];
        d2[k + 1] = lane_d2[1];
    }
}

inline bool finite_point(const double* x, const double* y, std::size_t i) noexcept {
    return std::isfinite(x[i]) && std::isfinite(y[i]);
}

}  // namespace

HilbertGrid::HilbertGrid(double min_x, double min_y, double max_x, double max_y) noexcept
    : min_x_(min_x), min_y_(min_y) {
    // A degenerate or overflowing extent puts everything in cell 0.
    auto scale_for = [](double extent) {
        const double s = 65535.0 / extent;
        return extent > 0.0 && std::isfinite(s) ? s : 0.0;
    };
    scale_x_ = scale_for(max_x - min_x);
    scale_y_ = scale_for(max_y - min_y);
}

std::uint32_t HilbertGrid::cell(double v, double low, double scale) noexcept {
    const double c = (v - low) * scale;
    if (!(c > 0.0)) {
        return 0;  // below the box, or NaN
    }
    return c >= 65535.0 ? 65535u : static_cast<std::uint32_t>(c);
}

std::uint32_t HilbertGrid::key(std::uint32_t column, std::uint32_t row) noexcept {
    constexpr std::uint32_t kSide = 1u << 16;
    std::uint32_t d = 0;
    for (std::uint32_t s = kSide / 2; s > 0; s /= 2) {
        const std::uint32_t rx = (column & s) != 0 ? 1 : 0;
        const std::uint32_t ry = (row & s) != 0 ? 1 : 0;
        d += s * s * ((3 * rx) ^ ry);
        if (ry == 0) {
            if (rx == 1) {
                column = kSide - 1 - column;
                row = kSide - 1 - row;
            }
            std::swap(column, row);
        }
    }
    return d;
}

SegmentIndex SegmentIndex::build(const double* x, const double* y, std::size_t n) {
    SegmentIndex index;
    index.points_ = n;
    // Leaves: runs of consecutive finite segments, at most kLeafSegments long.
    std::vector<Box> boxes;
    bool start_finite = n > 0 && finite_point(x, y, 0);
    for (std::size_t i = 0; i + 1 < n; ++i) {
        const bool end_finite = finite_point(x, y, i + 1);
        if (start_finite && end_finite) {
            if (index.leaves_.empty() || index.leaves_.back().end != i ||
                index.leaves_.back().end - index.leaves_.back().begin == kLeafSegments) {
                index.leaves_.push_back(Leaf{i, i});
                boxes.emplace_back();
                boxes.back().add(x[i], y[i]);
            }
            index.leaves_.back().end = i + 1;
            boxes.back().add(x[i + 1], y[i + 1]);
        }
        start_finite = end_finite;
    }
    if (index.leaves_.empty()) {
        return index;
    }
    for (Box& b : boxes) {
        b = padded(b);
    }

    // The levels above group leaves in Hilbert order of their centres rather
    // than in path order: a real track loops and comes back over the same
    // streets, and grouping by path order would then give wide, overlapping
    // boxes near the root that a query has to open one by one.
    const std::size_t leaf_count = index.leaves_.size();
    {
        Box centres;
        for (const Box& b : boxes) {
            centres.add(b.min_x * 0.5 + b.max_x * 0.5, b.min_y * 0.5 + b.max_y * 0.5);
        }
        const HilbertGrid grid(centres.min_x, centres.min_y, centres.max_x, centres.max_y);
        std::vector<std::pair<std::uint32_t, std::size_t>> order(leaf_count);
        for (std::size_t j = 0; j < leaf_count; ++j) {
            const Box& b = boxes[j];
            order[j] = {HilbertGrid::key(grid.column(b.min_x * 0.5 + b.max_x * 0.5),
                                         grid.row(b.min_y * 0.5 + b.max_y * 0.5)),
                        j};
        }
        std::sort(order.begin(), order.end());
        std::vector<Leaf> leaves(leaf_count);
        std::vector<Box> sorted(leaf_count);
        for (std::size_t j = 0; j < leaf_count; ++j) {
            leaves[j] = index.leaves_[order[j].second];
            sorted[j] = boxes[order[j].second];
        }
        index.leaves_ = std::move(leaves);
        boxes = std::move(sorted);
    }

    // Bottom-up: each level's nodes are consecutive groups of four of the
    // level below; the single node on top is the root, whose box is never
    // needed.
    for (std::size_t size = leaf_count;; size = (size + kFanout - 1) / kFanout) {
        index.level_size_.push_back(size);
        if (size == 1) {
            break;
        }
    }
    std::size_t groups = 0;
    for (std::size_t k = 0; k + 1 < index.level_size_.size(); ++k) {
        index.level_group_.push_back(groups);
        groups += index.level_size_[k + 1];
    }
    index.boxes_.resize(groups * kGroupDoubles);
    for (std::size_t k = 0; k + 1 < index.level_size_.size(); ++k) {
        const std::size_t size = index.level_size_[k];
        double* level = index.boxes_.data() + index.level_group_[k] * kGroupDoubles;
        std::vector<Box> parents(index.level_size_[k + 1]);
        for (std::size_t j = 0; j < parents.size() * kFanout; ++j) {
            const Box b = j < size ? boxes[j] : Box{};
            double* g = level + (j / kFanout) * kGroupDoubles;
            const std::size_t c = j % kFanout;
            g[c] = b.min_x;
            g[4 + c] = b.min_y;
            g[8 + c] = b.max_x;
            g[12 + c] = b.max_y;
            parents[j / kFanout].add(b);
        }
        boxes = std::move(parents);
    }
    return index;
}

SegmentIndex::Hit SegmentIndex::nearest(const double* x, const double* y, double qx, double qy,
                                        std::size_t hint) const noexcept {
    if (leaves_.empty()) {
        return Hit{};
    }
    std::size_t best = kNone;
    double best_d2 = kInf;
    // A hint bounds the search from the start; only an indexed segment can
    // serve, or a segment that may never win could be returned.
    if (points_ > 1 && hint < points_ - 1 && finite_point(x, y, hint) &&
        finite_point(x, y, hint + 1)) {
        best = hint;
        best_d2 = nearest_on_segment(x[hint], y[hint], x[hint + 1], y[hint + 1], qx, qy).d2;
    }

    struct Entry {
        double d2;
        std::size_t level;
        std::size_t node;
    };
    // Each expansion replaces one entry by at most four, and there are at
    // most 32 levels above the leaves for any std::size_t count of them.
    std::array<Entry, 3 * 32 + 4> stack;
    std::size_t top = 0;
    stack[top++] = Entry{0.0, level_size_.size() - 1, 0};
    while (top > 0) {
        const Entry e = stack[--top];
        // A box strictly farther than the best distance holds no segment that
        // could win; an equal one may hold a tie with a smaller number.
        if (e.d2 > best_d2) {
            continue;
        }
        if (e.level == 0) {
            const Leaf leaf = leaves_[e.node];
            double d2[kLeafSegments];
            leaf_distances(x, y, leaf.begin, leaf.end - leaf.begin, qx, qy, d2);
            // The first of the leaf's smallest: segments go up within a leaf.
            std::size_t arg = 0;
            double low = d2[0];
            for (std::size_t k = 1; k < kLeafSegments; ++k) {
                arg = d2[k] < low ? k : arg;
                low = std::min(low, d2[k]);
            }
            if (low < best_d2 || (low == best_d2 && leaf.begin + arg < best)) {
                best = leaf.begin + arg;
                best_d2 = low;
            }
            continue;
        }
        const std::size_t below = e.level - 1;
        const double* g = boxes_.data() + (level_group_[below] + e.node) * kGroupDoubles;
        double d2[kFanout];
        box_distances(g, qx, qy, d2);
        const std::size_t first = e.node * kFanout;
        const std::size_t count = std::min(kFanout, level_size_[below] - first);
        // The children go on the stack farthest first, so that the nearest is
        // opened next and tightens the bound before the others are looked at.
        // They are ordered by keys that hold the distance's bits (which order
        // like the distances themselves, all >= 0) with the child in the
        // lowest two, by a sorting network of branch-free minima and maxima.
        std::uint64_t key[kFanout];
        for (std::size_t c = 0; c < kFanout; ++c) {
            key[c] = (std::bit_cast<std::uint64_t>(d2[c]) & ~std::uint64_t{3}) | c;
        }
        auto order = [&key](std::size_t a, std::size_t b) {
            const std::uint64_t u = key[a];
            const std::uint64_t v = key[b];
            key[a] = u < v ? v : u;
            key[b] = u < v ? u : v;
        };
        order(0, 1);
        order(2, 3);
        order(0, 2);
        order(1, 3);
        order(1, 2);
        for (std::size_t k = 0; k < kFanout; ++k) {
            const std::size_t c = key[k] & 3;
            stack[top] = Entry{d2[c], below, first + c};
            top += static_cast<std::size_t>(c < count) & static_cast<std::size_t>(d2[c] <= best_d2);
        }
    }
    return Hit{best, nearest_on_segment(x[best], y[best], x[best + 1], y[best + 1], qx, qy)};
}

}  // namespace wayforge
