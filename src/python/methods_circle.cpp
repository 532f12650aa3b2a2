// Path2D methods that read the path as a chain of fitted circular arcs.
#include "python/ref.hpp"

#include "core/circle_segments.hpp"
#include "python/binder.hpp"
#include "python/convert.hpp"
#include "python/errors.hpp"
#include "python/lapack_loader.hpp"
#include "python/path2d_methods.hpp"
#include "python/path2d_type.hpp"

namespace wayforge::py {

namespace {

constexpr double kDefaultMaxRmse = 0.15;

const char* const kCurvatureParams[] = {"max_rmse"};
const Signature kCurvatureSig{"Path2D", "compute_circle_fit_curvature", kCurvatureParams, 0};

const char* const kSegmentsParams[] = {"start", "end", "max_rmse"};
const Signature kSegmentsSig{"Path2D", "find_circle_segments", kSegmentsParams, 2};

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

}  // namespace

const char compute_circle_fit_curvature_doc[] =
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

PyObject* compute_circle_fit_curvature(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                       PyObject* kwnames) {
    return boundary([&] {
        PyObject* slots[1] = {};
        bind(kCurvatureSig, args, nargs, kwnames, slots);
        PathBorrow borrow = PathBorrow::shared(self);
        const double max_rmse = slots[0] ? arg<double>(slots[0], "max_rmse") : kDefaultMaxRmse;
        ensure_lapack();
        return to_python(wayforge::compute_circle_fit_curvature(borrow.path(), max_rmse));
    });
}

const char find_circle_segments_doc[] =
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

PyObject* find_circle_segments(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                               PyObject* kwnames) {
    return boundary([&] {
        PyObject* slots[3] = {};
        bind(kSegmentsSig, args, nargs, kwnames, slots);
        PathBorrow borrow = PathBorrow::shared(self);
        const auto start = arg<std::size_t>(slots[0], "start");
        const auto end = arg<std::size_t>(slots[1], "end");
        const double max_rmse = slots[2] ? arg<double>(slots[2], "max_rmse") : kDefaultMaxRmse;
        ensure_lapack();
        return segments_to_python(wayforge::find_circle_segments(borrow.path(), start, end, max_rmse));
    });
}

}  // namespace wayforge::py
