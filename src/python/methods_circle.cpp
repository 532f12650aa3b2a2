// Path2D methods that read the path as a chain of fitted circular arcs.
#include "python/path2d_methods.hpp"

#include "core/circle_segments.hpp"
#include "python/lapack_loader.hpp"

#include <algorithm>

namespace wayforge::py {

namespace {

// [(first, end, curvature), ...]
Ref segments_to_python(const std::vector<CircleSegment>& segments) {
    Ref list = ensure(Ref::steal(PyList_New(static_cast<Py_ssize_t>(segments.size()))));
    for (std::size_t i = 0; i < segments.size(); ++i) {
        const CircleSegment& s = segments[i];
        Ref item = make_tuple(to_python(s.first), to_python(s.end),
                              to_python(s.curvature));
        PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), item.release());
    }
    return list;
}

constexpr char compute_circle_fit_curvature_doc[] =
    "compute_circle_fit_curvature($self, max_rmse=0.15)\n"
    "--\n"
    "\n"
    "compute_circle_fit_curvature(max_rmse=0.15)\n"
    "\n"
    "Computes the curvature by decomposing the path into arc segments.\n"
    "\n"
    ":param max_rmse: The maximum RMSE (root mean squared error) that is not exceeded when\n"
    "                    fitting the arc segments\n"
    "\n"
    ":type max_rmse: float\n"
    "\n"
    ":returns: The curvature of the path\n"
    ":rtype: list[float]";

constexpr char find_circle_segments_doc[] =
    "find_circle_segments($self, start, end, max_rmse=0.15)\n"
    "--\n"
    "\n"
    "find_circle_segments(start, end, max_rmse=0.15)\n"
    "\n"
    "Decomposes the path into its circle segments, such that the maximum\n"
    "RMSE (root mean squared error) is not exceeded.\n"
    "\n"
    ":param start: Index of point to start from\n"
    ":param end: Index of point to stop with\n"
    ":param max_rmse: Maximum RMSE\n"
    "\n"
    ":type start: int\n"
    ":type end: int\n"
    ":type max_rmse: float\n"
    "\n"
    ":returns: The list of arc segments\n"
    ":rtype: list[tuple[int, int, float]]";

constexpr auto kMaxRmse = param<double>("max_rmse", kDefaultMaxRmse);

// LAPACK is loaded, with the lock held, before the first fit runs.
constexpr auto kCircleFitCurvature = with_prepare(method(
    "compute_circle_fit_curvature", compute_circle_fit_curvature_doc, Access::Read, kFitWork,
    [](Path2D& path, double max_rmse) {
        return wayforge::compute_circle_fit_curvature(path, max_rmse);
    },
    kMaxRmse), ensure_lapack);

// The points fitted are those of the range, at most the whole path.
constexpr auto kCircleSegments = with_work_points(
    with_prepare(
        method(
            "find_circle_segments", find_circle_segments_doc, Access::Read, kFitWork,
            [](Path2D& path, std::size_t start, std::size_t end, double max_rmse) {
                return wayforge::find_circle_segments(path, start, end, max_rmse);
            },
            [](const std::vector<CircleSegment>& segments) { return segments_to_python(segments); },
            param<std::size_t>("start"), param<std::size_t>("end"), kMaxRmse),
        ensure_lapack),
    [](Path2D& path, const std::tuple<std::size_t, std::size_t, double>& args) {
        const auto [start, end, max_rmse] = args;
        return static_cast<double>(end > start ? std::min(end - start, path.size()) : 0);
    });

}  // namespace

constinit const MethodEntry compute_circle_fit_curvature_entry = entry<kCircleFitCurvature>();
constinit const MethodEntry find_circle_segments_entry = entry<kCircleSegments>();

}  // namespace wayforge::py
