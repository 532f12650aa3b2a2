// Path2D methods that project a query point onto the path: the index in front
// of it, the path length up to it, and the sub-path between two such points.
#include "python/path2d_methods.hpp"

#include <optional>

#include "core/projection.hpp"
#include "core/sub_path.hpp"
#include "python/binder.hpp"
#include "python/convert.hpp"
#include "python/errors.hpp"
#include "python/path2d_type.hpp"

namespace wayforge::py {

const char index_from_point_doc[] =
    "index_from_point($self, point, epsilon=0.01)\n"
    "--\n"
    "\n"
    "index_from_point(point, epsilon=0.01)\n"
    "\n"
    "Returns the index of the nearest point on the path in front of the given point.\n"
    "If the point outside the path, None is returned\n"
    "\n"
    ":param point: Point of interest\n"
    ":param epsilon: The distance within two points are considered equal\n"
    "\n"
    ":type point: list[float]\n"
    ":type epsilon: float\n"
    "\n"
    ":returns: The index of the nearest point\n"
    ":rtype: Option[int]";

const char path_length_from_point_doc[] =
    "path_length_from_point($self, point, epsilon=0.01)\n"
    "--\n"
    "\n"
    "path_length_from_point(point, epsilon=0.01)\n"
    "\n"
    "Returns the path length from the first point to the given point.\n"
    "If the point outside the path, None is returned\n"
    "\n"
    ":param point: Point of interest\n"
    ":param epsilon: The distance within two points are considered equal\n"
    "\n"
    ":type point: list[float]\n"
    ":type epsilon: float\n"
    "\n"
    ":returns: The path length\n"
    ":rtype: Option[int]";

const char sub_path_doc[] =
    "sub_path($self, start=None, end=None, epsilon=0.01)\n"
    "--\n"
    "\n"
    "sub_path(start=None, end=None, epsilon=0.01)\n"
    "\n"
    "Returns the sub path from start to end.\n"
    "If start is None, the path begins at the beginning.\n"
    "The same holds for end.\n"
    "The new path is not necessarily equidistant.\n"
    "\n"
    ":param start: Beginning of the sub path\n"
    ":param end: End of the sub path\n"
    ":param epsilon: The distance within two points are considered equal\n"
    "\n"
    ":type start: list[float]\n"
    ":type end: list[float]\n"
    ":type epsilon: float\n"
    "\n"
    ":returns: The sub path\n"
    ":rtype: Path2D";

namespace {

constexpr double kDefaultEpsilon = 0.01;

const char* const kPointParams[] = {"point", "epsilon"};
const Signature kIndexFromPoint{"Path2D", "index_from_point", kPointParams, 1};
const Signature kPathLengthFromPoint{"Path2D", "path_length_from_point", kPointParams, 1};

const char* const kSubPathParams[] = {"start", "end", "epsilon"};
const Signature kSubPath{"Path2D", "sub_path", kSubPathParams, 0};

double epsilon_arg(PyObject* slot) {
    return slot ? arg<double>(slot, "epsilon") : kDefaultEpsilon;
}

}  // namespace

PyObject* index_from_point(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                           PyObject* kwnames) {
    return boundary([&] {
        PyObject* slots[2] = {};
        bind(kIndexFromPoint, args, nargs, kwnames, slots);
        PathBorrow borrow = PathBorrow::shared(self);
        const Point point = arg<Point>(slots[0], "point");
        const double epsilon = epsilon_arg(slots[1]);
        const std::optional<Projection> projection =
            wayforge::nearest_projection(borrow.path(), point, epsilon);
        return projection ? to_python(projection->index) : none();
    });
}

PyObject* path_length_from_point(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                 PyObject* kwnames) {
    return boundary([&] {
        PyObject* slots[2] = {};
        bind(kPathLengthFromPoint, args, nargs, kwnames, slots);
        PathBorrow borrow = PathBorrow::shared(self);
        const Point point = arg<Point>(slots[0], "point");
        const double epsilon = epsilon_arg(slots[1]);
        const std::optional<double> length =
            wayforge::path_length_from_point(borrow.path(), point, epsilon);
        return length ? to_python(*length) : none();
    });
}

PyObject* sub_path(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return boundary([&] {
        PyObject* slots[3] = {};
        bind(kSubPath, args, nargs, kwnames, slots);
        PathBorrow borrow = PathBorrow::shared(self);
        const auto start = slots[0] ? arg<std::optional<Point>>(slots[0], "start") : std::nullopt;
        const auto end = slots[1] ? arg<std::optional<Point>>(slots[1], "end") : std::nullopt;
        const double epsilon = epsilon_arg(slots[2]);
        std::optional<Path2D> result = wayforge::sub_path(borrow.path(), start, end, epsilon);
        return result ? wrap_path(std::move(*result)) : none();
    });
}

}  // namespace wayforge::py
