#include "core/circle_segments.hpp"

#include <span>
#include <string>

#include "core/circle_fit.hpp"
#include "core/panic.hpp"

namespace wayforge {

namespace {

std::string range_text(std::size_t first, std::size_t end) {
    std::string text = "[";
    text += std::to_string(first);
    text += ", ";
    text += std::to_string(end);
    text += ")";
    return text;
}

// The bisection over one path, sharing one fitter's working storage among all
// of its fits.
class Decomposition {
public:
    Decomposition(const Path2D& path, double max_rmse) : path_(path), max_rmse_(max_rmse) {}

    // Appends the segments of [start, end) to out; the range holds at least
    // three points and lies within the coordinates.
    void run(std::size_t start, std::size_t end, std::vector<CircleSegment>& out) {
        const CircleFit whole = fit(start, end);
        if (max_rmse_ >= whole.rmse) {
            out.push_back({start, end, 1.0 / whole.radius});
            return;
        }
        const std::size_t mid = start + (end - start) / 2;
        split(start, mid, out);
        const std::size_t left_last = out.size() - 1;
        split(mid, end, out);

        // One merge attempt across the seam: the last left segment with the
        // first right one.
        const std::size_t right_first = left_last + 1;
        const std::size_t g = out[left_last].first;
        const std::size_t h = out[right_first].end;
        const CircleFit seam = fit(g, h);
        if (max_rmse_ >= seam.rmse) {
            out[left_last] = {g, h, 1.0 / seam.radius};
            out.erase(out.begin() + static_cast<std::ptrdiff_t>(right_first));
        }
    }

private:
    void split(std::size_t start, std::size_t end, std::vector<CircleSegment>& out) {
        if (end - start < 3) {
            out.push_back({start, end, 0.0});
        } else {
            run(start, end, out);
        }
    }

    CircleFit fit(std::size_t first, std::size_t end) {
        const std::size_t count = end - first;
        const auto result = fitter_.fit(std::span(path_.x).subspan(first, count),
                                        std::span(path_.y).subspan(first, count));
        if (!result) {
            panic("the circle fit of the points " + range_text(first, end) + " failed");
        }
        return *result;
    }

    const Path2D& path_;
    double max_rmse_;
    CircleFitter fitter_;
};

}  // namespace

std::vector<CircleSegment> find_circle_segments(const Path2D& path, std::size_t start,
                                                std::size_t end, double max_rmse) {
    // A reversed range is refused before the short-range shortcut: its
    // unsigned difference wraps, and for start within two of the largest
    // index it would wrap below 3 and pass as a short range.
    if (end < start) {
        panic("circle segment range " + range_text(start, end) + " is reversed");
    }
    if (end - start < 3) {
        return {CircleSegment{start, end, 0.0}};
    }
    if (end > path.x.size() || end > path.y.size()) {
        panic("circle segment range " + range_text(start, end) + " reaches beyond the " +
              std::to_string(path.x.size()) + " x and " + std::to_string(path.y.size()) +
              " y values");
    }
    std::vector<CircleSegment> segments;
    Decomposition(path, max_rmse).run(start, end, segments);
    return segments;
}

Values compute_circle_fit_curvature(const Path2D& path, double max_rmse) {
    const std::size_t n = path.x.size();
    Values curvature;
    curvature.reserve(n);
    for (const CircleSegment& segment : find_circle_segments(path, 0, n, max_rmse)) {
        if (segment.end > segment.first) {
            curvature.insert(curvature.end(), segment.end - segment.first, segment.curvature);
        }
    }
    return curvature;
}

}  // namespace wayforge
