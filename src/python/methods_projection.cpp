// Path2D methods that project a query point onto the path: the index in front
// of it, the path length up to it, and the sub-path between two such points.
#include "python/path2d_methods.hpp"

#include <optional>

#include "core/projection.hpp"
#include "core/sub_path.hpp"

namespace wayforge::py {

namespace {

constexpr char index_from_point_doc[] =
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

constexpr char path_length_from_point_doc[] =
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

constexpr char sub_path_doc[] =
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

constexpr auto kEpsilon = param<double>("epsilon", kDefaultEpsilon);
// One distance per segment.
constexpr Work kProjectionWork = grows_with_points(1.5);

constexpr auto kIndexFromPoint = method(
    "index_from_point", index_from_point_doc, Access::Read, kProjectionWork,
    [](Path2D& path, Point point, double epsilon) -> std::optional<std::size_t> {
        const std::optional<Projection> projection =
            wayforge::nearest_projection(path, point, epsilon);
        if (!projection) {
            return std::nullopt;
        }
        return projection->index;
    },
    param<Point>("point"), kEpsilon);

constexpr auto kPathLengthFromPoint = method(
    "path_length_from_point", path_length_from_point_doc, Access::Read, kProjectionWork,
    [](Path2D& path, Point point, double epsilon) {
        return wayforge::path_length_from_point(path, point, epsilon);
    },
    param<Point>("point"), kEpsilon);

constexpr auto kSubPath = method(
    "sub_path", sub_path_doc, Access::Read, grows_with_points(3.0),
    [](Path2D& path, std::optional<Point> start, std::optional<Point> end, double epsilon) {
        return wayforge::sub_path(path, start, end, epsilon);
    },
    param<std::optional<Point>>("start", std::nullopt),
    param<std::optional<Point>>("end", std::nullopt), kEpsilon);

}  // namespace

constinit const MethodEntry index_from_point_entry = entry<kIndexFromPoint>();
constinit const MethodEntry path_length_from_point_entry = entry<kPathLengthFromPoint>();
constinit const MethodEntry sub_path_entry = entry<kSubPath>();

}  // namespace wayforge::py
