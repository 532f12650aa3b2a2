// A static bounding-box tree over the segments of a path, for answering many
// nearest-point queries against one path. It holds boxes and segment numbers
// only, never the coordinates, so a copy stays valid for a copied path.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

namespace wayforge {

// The point of segment [a, b] nearest to q and its squared distance d2.
// t is exactly 0 when the point is a and exactly 1 when it is b (the end
// points are taken as they are, never as a + 1 * (b - a), so that a shared
// vertex gives the same distance from both its segments); otherwise t lies
// strictly between 0 and 1. A zero-length segment gives 0 / 0, that is a.
struct SegmentPoint {
    double x;
    double y;
    double t;
    double d2;
};

inline SegmentPoint nearest_on_segment(double ax, double ay, double bx, double by, double qx,
                                       double qy) noexcept {
    const double mx = bx - ax;
    const double my = by - ay;
    const double t = ((qx - ax) * mx + (qy - ay) * my) / (mx * mx + my * my);
    SegmentPoint p{ax, ay, 0.0, 0.0};
    if (t >= 1.0) {
        p = SegmentPoint{bx, by, 1.0, 0.0};
    } else if (t > 0.0) {
        p = SegmentPoint{ax + t * mx, ay + t * my, t, 0.0};
    }
    const double dx = p.x - qx;
    const double dy = p.y - qy;
    p.d2 = dx * dx + dy * dy;
    return p;
}

// A 2^16 x 2^16 grid laid over a box, and the cells' positions along a
// Hilbert curve through it: near points mostly get near positions. It orders
// the leaves of the tree and, for locate_points, the queries.
class HilbertGrid {
public:
    HilbertGrid(double min_x, double min_y, double max_x, double max_y) noexcept;
    // The cell column and row of a coordinate: 0 .. 2^16 - 1, clamped to the
    // box; NaN gives 0.
    std::uint32_t column(double x) const noexcept { return cell(x, min_x_, scale_x_); }
    std::uint32_t row(double y) const noexcept { return cell(y, min_y_, scale_y_); }
    // The position of a cell along the curve.
    static std::uint32_t key(std::uint32_t column, std::uint32_t row) noexcept;

private:
    static std::uint32_t cell(double v, double low, double scale) noexcept;

    double min_x_;
    double min_y_;
    double scale_x_ = 0.0;
    double scale_y_ = 0.0;
};

class SegmentIndex {
public:
    static constexpr std::size_t kNone = std::numeric_limits<std::size_t>::max();

    struct Hit {
        std::size_t segment = kNone;  // kNone when the index has no segment
        SegmentPoint point{};
    };

    SegmentIndex() = default;

    // Indexes the segments [i, i + 1] of the n points (x[i], y[i]) whose four
    // coordinates are finite; the others can never be found.
    static SegmentIndex build(const double* x, const double* y, std::size_t n);

    bool empty() const noexcept { return leaves_.empty(); }

    // The indexed segment nearest to the finite point q, over the points the
    // index was built from: the smallest d2 of nearest_on_segment, the
    // smallest segment number among equal ones. hint is a segment to measure
    // first (the previous answer, say) or kNone; it changes the work, never
    // the answer.
    Hit nearest(const double* x, const double* y, double qx, double qy,
                std::size_t hint) const noexcept;

private:
    struct Leaf {
        std::size_t begin;  // segments [begin, end)
        std::size_t end;
    };

    std::size_t points_ = 0;
    std::vector<Leaf> leaves_;
    // The boxes of every node below the root, in groups of four siblings:
    // group g of a level holds that level's nodes 4g .. 4g + 3 as four
    // minimum x, four minimum y, four maximum x and four maximum y. A node j
    // one level up has the group j as its children.
    std::vector<double> boxes_;
    std::vector<std::size_t> level_size_;   // nodes per level, leaves first
    std::vector<std::size_t> level_group_;  // the first group of each level
};

}  // namespace wayforge
