// Taubin circle fits and the circle segment decomposition (one fitter's
// workspace shared by all fits) against a transcription of the definition
// with a fresh fit each time.
#include <cmath>
#include <optional>
#include <span>

#include "core/circle_fit.hpp"
#include "core/circle_segments.hpp"
#include "core/lapack.hpp"
#include "core/panic.hpp"
#include "fuzz/input.hpp"

using namespace wayforge;

namespace {

struct Failed {};

CircleFit fit(const Path2D& p, std::size_t first, std::size_t end) {
    const auto f = taubin_circle_fit(std::span(p.x).subspan(first, end - first),
                                     std::span(p.y).subspan(first, end - first));
    if (!f) {
        throw Failed{};
    }
    return *f;
}

void decompose(const Path2D& p, std::size_t start, std::size_t end, double max_rmse,
               std::vector<CircleSegment>& out) {
    if (end - start < 3) {
        out.push_back({start, end, 0.0});
        return;
    }
    const CircleFit whole = fit(p, start, end);
    if (max_rmse >= whole.rmse) {
        out.push_back({start, end, 1.0 / whole.radius});
        return;
    }
    const std::size_t mid = start + (end - start) / 2;
    std::vector<CircleSegment> left;
    std::vector<CircleSegment> right;
    decompose(p, start, mid, max_rmse, left);
    decompose(p, mid, end, max_rmse, right);
    const std::size_t g = left.back().first;
    const std::size_t h = right.front().end;
    const CircleFit seam = fit(p, g, h);
    if (max_rmse >= seam.rmse) {
        left.back() = {g, h, 1.0 / seam.radius};
        left.insert(left.end(), right.begin() + 1, right.end());
    } else {
        left.insert(left.end(), right.begin(), right.end());
    }
    out.insert(out.end(), left.begin(), left.end());
}

// The segments, or nothing where the operation must fail.
std::optional<std::vector<CircleSegment>> reference_segments(const Path2D& p, std::size_t start, std::size_t end,
                                                             double max_rmse) {
    if (end < start) {
        return std::nullopt;
    }
    if (end - start < 3) {
        return std::vector<CircleSegment>{{start, end, 0.0}};
    }
    if (end > p.x.size() || end > p.y.size()) {
        return std::nullopt;
    }
    std::vector<CircleSegment> out;
    try {
        decompose(p, start, end, max_rmse, out);
    } catch (const Failed&) {
        return std::nullopt;
    }
    return out;
}

bool same(const std::vector<CircleSegment>& a, const std::vector<CircleSegment>& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i].first != b[i].first || a[i].end != b[i].end || !fuzz::same_bits(a[i].curvature, b[i].curvature)) {
            return false;
        }
    }
    return true;
}

}  // namespace

// Circle fits need LAPACK, loaded as the module loads it: scripts/fuzz.sh
// passes the path of scipy-openblas32's library.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    lapack::load(WAYFORGE_LAPACK_LIBRARY);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Input in(data, size);
    const Path2D path = in.path(80);
    const double max_rmse = in.flag() ? 0.15 : in.number();
    const std::size_t limit = path.x.size() + 3;
    const std::size_t start = in.flag() ? 0 : in.size(limit);
    const std::size_t end = in.flag() ? path.x.size() : (in.flag() ? ~std::size_t{0} - in.size(3) : in.size(limit));

    std::optional<std::vector<CircleSegment>> got;
    try {
        got = find_circle_segments(path, start, end, max_rmse);
    } catch (const Panic&) {
    }
    const auto want = reference_segments(path, start, end, max_rmse);
    FUZZ_CHECK(got.has_value() == want.has_value());
    if (got) {
        FUZZ_CHECK(same(*got, *want));
        FUZZ_CHECK(got->front().first == start && got->back().end == end);
        for (std::size_t i = 0; i < got->size(); ++i) {
            FUZZ_CHECK(!((*got)[i].curvature < 0.0));
            FUZZ_CHECK(i == 0 || (*got)[i].first == (*got)[i - 1].end);
        }
    }

    // The whole path: one curvature per x value, or the internal error.
    try {
        const Values curvature = compute_circle_fit_curvature(path, max_rmse);
        FUZZ_CHECK(curvature.size() == path.x.size());
    } catch (const Panic&) {
        FUZZ_CHECK(!reference_segments(path, 0, path.x.size(), max_rmse).has_value());
    }
    return 0;
}
