#include "python/query_functions.hpp"

#include <cmath>
#include <cstdint>
#include <utility>
#include <vector>

#include "core/locate.hpp"
#include "python/array_args.hpp"
#include "python/free_threading.hpp"
#include "python/method_table.hpp"
#include "python/numpy_api.hpp"

namespace wayforge::py {

namespace {

// Made once, at the first import, and kept for the life of the process.
Once<PyObject> g_locations_type;

constexpr char locate_points_doc[] =
    "locate_points(path, points)\n"
    "--\n"
    "\n"
    "The nearest point of the path to each query point, exactly: the minimum\n"
    "Euclidean distance over all segments, ties to the smallest path length.\n"
    "\n"
    ":param path: The path\n"
    ":param points: Query points, shape (m, 2)\n"
    "\n"
    ":returns: PointLocations(length, segment, offset, point) of NumPy arrays:\n"
    "    the path length to the nearest point, the index i of its segment\n"
    "    [i, i + 1], the signed distance (positive to the left of the direction\n"
    "    of travel) and the nearest point itself, shape (m, 2). A non-finite\n"
    "    query, or a path without a finite segment or point, gives NaN and\n"
    "    segment -1.";

constexpr char interpolate_at_lengths_doc[] =
    "interpolate_at_lengths(path, lengths)\n"
    "--\n"
    "\n"
    "The positions and associated values at the given path lengths, linear\n"
    "along the path, as numpy.interp gives them over the path length per point.\n"
    "Lengths are clipped to [0, length]; a NaN length gives a NaN row.\n"
    "\n"
    ":param path: The path\n"
    ":param lengths: Path lengths, shape (m,)\n"
    "\n"
    ":returns: (points, values): shapes (m, 2) and (m, k), one column per\n"
    "    associated value list";

struct Located {
    Values length;
    std::vector<std::int64_t> segment;
    Values offset;
    Points point;
};

Ref to_locations(Located&& located) {
    auto* type = reinterpret_cast<PyTypeObject*>(g_locations_type.get());
    Ref result = ensure(Ref::steal(PyStructSequence_New(type)));
    PyStructSequence_SetItem(result.get(), 0, adopt_array(std::move(located.length)).release());
    PyStructSequence_SetItem(result.get(), 1, adopt_array(std::move(located.segment)).release());
    PyStructSequence_SetItem(result.get(), 2, adopt_array(std::move(located.offset)).release());
    PyStructSequence_SetItem(result.get(), 3, adopt_array(std::move(located.point)).release());
    return result;
}

constexpr auto kLocatePoints = with_work_points(
    method<PathArgument>(
        "locate_points", locate_points_doc, Access::Read, grows_with_points(1.0),
        [](Path2D& path, const QueryPoints& query) {
            const std::size_t m = query.columns.x.size();
            Located out{Values(m), std::vector<std::int64_t>(m), Values(m), Points(m)};
            wayforge::locate_points(path, query.columns.x.data(), query.columns.y.data(), m,
                                    out.length.data(), out.segment.data(), out.offset.data(),
                                    reinterpret_cast<double*>(out.point.data()));
            return out;
        },
        [](Located&& located) { return to_locations(std::move(located)); },
        param<QueryPoints>("points")),
    // A fraction of a microsecond a query, and the index over the segments
    // when it is built.
    [](Path2D& path, const std::tuple<QueryPoints>& args) {
        const double index = path.segment_index_cell.filled() ? 0.0 : 20.0 * static_cast<double>(path.size());
        return 100.0 * static_cast<double>(std::get<0>(args).columns.x.size()) + index;
    });

struct Interpolated {
    Points points;
    Values values;
    std::size_t lists;
};

constexpr auto kInterpolateAtLengths = with_work_points(
    method<PathArgument>(
        "interpolate_at_lengths", interpolate_at_lengths_doc, Access::Read, grows_with_points(1.0),
        [](Path2D& path, const QueryLengths& query) {
            const std::size_t m = query.column.size;
            const std::size_t k = path.associated_values.size();
            Interpolated out{Points(m), Values(m * k), k};
            wayforge::interpolate_at_lengths(path, query.column.data, m,
                                             reinterpret_cast<double*>(out.points.data()),
                                             out.values.data());
            return out;
        },
        [](Interpolated&& out) {
            const std::size_t m = out.points.size();
            return make_tuple(adopt_array(std::move(out.points)),
                              adopt_array(std::move(out.values), m, out.lists));
        },
        param<QueryLengths>("lengths")),
    // A search and a few operations per length and list.
    [](Path2D& path, const std::tuple<QueryLengths>& args) {
        const double lists = 2.0 + static_cast<double>(path.associated_values.size());
        return 5.0 * lists * static_cast<double>(std::get<0>(args).column.size);
    });

PyStructSequence_Field kLocationFields[] = {
    {"length", "The path length from the first point to the nearest point"},
    {"segment", "The index i of the segment [i, i + 1] that holds it (int64)"},
    {"offset", "The signed distance, positive to the left of the direction of travel"},
    {"point", "The nearest point itself, shape (m, 2)"},
    {nullptr, nullptr},
};

PyStructSequence_Desc kLocationsDesc = {
    "wayforge.PointLocations",
    "PointLocations(length, segment, offset, point)\n\n"
    "The result of locate_points: one NumPy array per field, one entry per query point.",
    kLocationFields,
    4,
};

}  // namespace

PyObject* create_locations_type() {
    return Py_XNewRef(once_object(g_locations_type, [] {
        return Ref::steal(reinterpret_cast<PyObject*>(PyStructSequence_NewType(&kLocationsDesc)));
    }));
}

PyMethodDef query_functions[] = {
    method_def(entry<kLocatePoints>()),
    method_def(entry<kInterpolateAtLengths>()),
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace wayforge::py
