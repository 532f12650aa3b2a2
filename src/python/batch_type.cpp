#include "python/batch_type.hpp"

#include <new>
#include <string>
#include <utility>

#include "python/array_args.hpp"
#include "python/binder.hpp"
#include "python/convert.hpp"
#include "python/errors.hpp"
#include "python/free_threading.hpp"
#include "python/gil.hpp"
#include "python/numpy_api.hpp"
#include "python/path2d_methods.hpp"
#include "python/pickling.hpp"

namespace wayforge::py {

namespace {

// Made once, at the first import, and kept for the life of the process.
Once<PyObject> g_batch_type;

const PathBatch& batch_of(PyObject* self) {
    return reinterpret_cast<BatchObject*>(self)->batch;
}

// Converts an argument with the TypeError prefixed by its name, as bound
// parameters report it.
template <class F>
auto named(const char* name, F&& convert) {
    try {
        return convert();
    } catch (const PythonError&) {
        prefix_type_error(name);
        throw;
    }
}

Ref checked_batch(PathBatch&& batch) {
    if (const auto error = PathBatch::layout_error(batch.x, batch.y, batch.offsets, batch.values)) {
        raise(PyExc_ValueError, *error);
    }
    return wrap_batch(std::move(batch));
}

// ---- construction ----

const char* const kNewParams[] = {"coords", "offsets", "values"};
const Signature kNewSignature{"PathBatch", "__new__", kNewParams, 2};

PyObject* batch_new(PyTypeObject*, PyObject* args, PyObject* kwargs) {
    return boundary([&] {
        PyObject* slots[3] = {};
        bind(kNewSignature, args, kwargs, slots);
        PathBatch batch;
        PointColumns coords = named("coords", [&] { return point_columns_arg(slots[0], "coords", "(N, 2)"); });
        batch.offsets = named("offsets", [&] { return offsets_arg(slots[1], "offsets"); });
        if (slots[2] != nullptr && slots[2] != Py_None) {
            batch.values = named("values", [&] { return value_columns_arg(slots[2], "values"); });
        }
        batch.x = std::move(coords.x);
        batch.y = std::move(coords.y);
        return checked_batch(std::move(batch));
    });
}

const char* const kFromPathsParams[] = {"paths"};
const Signature kFromPathsSignature{"PathBatch", "from_paths", kFromPathsParams, 1};

PyObject* batch_from_paths(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return boundary([&] {
        PyObject* slots[1] = {};
        bind(kFromPathsSignature, args, nargs, kwnames, slots);
        Ref iterator = named("paths", [&] { return ensure(Ref::steal(PyObject_GetIter(slots[0]))); });
        std::optional<PathBatchBuilder> builder;
        std::size_t value_lists = 0;
        std::size_t index = 0;
        while (Ref item = Ref::steal(PyIter_Next(iterator.get()))) {
            // Each path is read under a borrow of its own, taken only while it is copied.
            PathBorrow borrow = named("paths", [&] { return PathBorrow::shared(item.get()); });
            const Path2D& path = borrow.path();
            if (!builder) {
                value_lists = path.associated_values.size();
                builder.emplace(value_lists);
            } else if (path.associated_values.size() != value_lists) {
                raise(PyExc_ValueError,
                      "paths[" + std::to_string(index) + "] has " +
                          std::to_string(path.associated_values.size()) +
                          " associated value lists, but paths[0] has " + std::to_string(value_lists));
            }
            builder->append(path);
            ++index;
        }
        if (PyErr_Occurred()) {
            throw PythonError{};
        }
        return wrap_batch(builder ? std::move(*builder).finish() : PathBatch{});
    });
}

void batch_dealloc(PyObject* self) {
    PyTypeObject* type = Py_TYPE(self);
    reinterpret_cast<BatchObject*>(self)->batch.~PathBatch();
    type->tp_free(self);
    Py_DECREF(type);
}

PyObject* batch_repr(PyObject* self) {
    const PathBatch& batch = batch_of(self);
    const std::string text = "PathBatch(paths=" + std::to_string(batch.size()) +
                             ", points=" + std::to_string(batch.point_count()) +
                             ", value_lists=" + std::to_string(batch.values.size()) + ")";
    return PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size()));
}

// ---- reading ----

Py_ssize_t batch_length(PyObject* self) {
    return static_cast<Py_ssize_t>(batch_of(self).size());
}

// batch[j]: negative j has had the length added by the interpreter already.
PyObject* batch_item(PyObject* self, Py_ssize_t j) {
    return boundary([&] {
        const PathBatch& batch = batch_of(self);
        if (j < 0 || static_cast<std::size_t>(j) >= batch.size()) {
            raise(PyExc_IndexError, "PathBatch index out of range");
        }
        return wrap_path(batch.path(static_cast<std::size_t>(j)));
    });
}

// A property computes its array from the batch, without the interpreter
// lock when the work is long enough, and hands it over without a copy.
template <auto Compute, double NsPerPoint>
PyObject* property(PyObject* self, void*) {
    return boundary([&] {
        const PathBatch& batch = batch_of(self);
        const double work = NsPerPoint * static_cast<double>(batch.point_count());
        return adopt_array(run_unlocked_if(worth_unlocking(work), [&] { return Compute(batch); }));
    });
}

Points read_points(const PathBatch& b) {
    Points points(b.point_count());
    for (std::size_t i = 0; i < points.size(); ++i) {
        points[i] = Point{b.x[i], b.y[i]};
    }
    return points;
}
Values read_x(const PathBatch& b) { return b.x; }
Values read_y(const PathBatch& b) { return b.y; }
Offsets read_offsets(const PathBatch& b) { return b.offsets; }
Values read_lengths(const PathBatch& b) { return lengths(b); }
Values read_path_length_per_point(const PathBatch& b) { return path_length_per_point(b); }
Values read_orientation(const PathBatch& b) { return orientation(b); }
Points read_unit_tangent_vector(const PathBatch& b) { return unit_tangent_vector(b); }
Values read_curvature(const PathBatch& b) { return curvature(b); }

// (N, k): row i holds the values of point i, one column per value list.
PyObject* read_values(PyObject* self, void*) {
    return boundary([&] {
        const PathBatch& batch = batch_of(self);
        const std::size_t n = batch.point_count();
        const std::size_t k = batch.values.size();
        Values rows(n * k);
        for (std::size_t c = 0; c < k; ++c) {
            for (std::size_t i = 0; i < n; ++i) {
                rows[i * k + c] = batch.values[c][i];
            }
        }
        return adopt_array(std::move(rows), n, k);
    });
}

PyGetSetDef batch_properties[] = {
    {"points_np", property<read_points, kCopyNsPerPoint>, nullptr,
     "The coordinates of every path, shape (N, 2).", nullptr},
    {"x_np", property<read_x, kCopyNsPerPoint>, nullptr, "The x coordinates, shape (N,).", nullptr},
    {"y_np", property<read_y, kCopyNsPerPoint>, nullptr, "The y coordinates, shape (N,).", nullptr},
    {"offsets", property<read_offsets, kCopyNsPerPoint>, nullptr,
     "Where each path starts in the coordinates, and N last: int64, shape (P + 1,).", nullptr},
    {"values_np", read_values, nullptr,
     "The associated value lists, one column each, shape (N, k).", nullptr},
    {"lengths_np", property<read_lengths, 2.0>, nullptr, "The length of every path, shape (P,).",
     nullptr},
    {"path_length_per_point_np", property<read_path_length_per_point, 2.0>, nullptr,
     "The path length per point of every path, each starting at 0, shape (N,).", nullptr},
    {"orientation_np", property<read_orientation, 11.0>, nullptr,
     "The orientation per point of every path, shape (N,).", nullptr},
    {"unit_tangent_vector_np", property<read_unit_tangent_vector, 5.0>, nullptr,
     "The unit tangent vector per point of every path, shape (N, 2).", nullptr},
    {"curvature_np", property<read_curvature, 11.0>, nullptr,
     "The curvature per point of every path, shape (N,).", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

// ---- methods ----

const char kFromPathsDoc[] =
    "from_paths($type, paths)\n--\n\n"
    "A batch of the given Path2D objects, each with its associated value lists;\n"
    "every path must have the same number of them.";

PyMethodDef batch_methods[] = {
    {"from_paths", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(batch_from_paths)),
     METH_FASTCALL | METH_KEYWORDS | METH_CLASS, kFromPathsDoc},
    {"__reduce__", reduce_batch, METH_NOARGS, reduce_doc},
    method_def(batch_resampled_path_entry),
    method_def(batch_smoothed_path_chaikin_entry),
    method_def(batch_compute_circle_fit_curvature_entry),
    method_def(batch_detect_corrupted_point_order_entry),
    method_def(batch_repair_corrupted_point_order_entry),
    {nullptr, nullptr, 0, nullptr},
};

const char kBatchDoc[] =
    "PathBatch(coords, offsets, values=None)\n--\n\n"
    "Many paths in one record.\n"
    "\n"
    "Path j is coords[offsets[j]:offsets[j + 1]], with the rows\n"
    "values[offsets[j]:offsets[j + 1]] as its associated value lists.\n"
    "\n"
    ":param coords: The points of every path, shape (N, 2)\n"
    ":param offsets: Integers, shape (P + 1,): 0 first, never decreasing, N last\n"
    ":param values: None, or one column per associated value list, shape (N, k)";

PyType_Slot batch_slots[] = {
    {Py_tp_new, reinterpret_cast<void*>(batch_new)},
    {Py_tp_dealloc, reinterpret_cast<void*>(batch_dealloc)},
    {Py_tp_repr, reinterpret_cast<void*>(batch_repr)},
    {Py_sq_length, reinterpret_cast<void*>(batch_length)},
    {Py_sq_item, reinterpret_cast<void*>(batch_item)},
    {Py_tp_getset, batch_properties},
    {Py_tp_methods, batch_methods},
    {Py_tp_doc, const_cast<char*>(kBatchDoc)},
    {0, nullptr},
};

PyType_Spec batch_spec = {
    "wayforge.PathBatch",
    sizeof(BatchObject),
    0,
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE,
    batch_slots,
};

}  // namespace

PyObject* create_batch_type() {
    return Py_XNewRef(once_object(g_batch_type, [] { return Ref::steal(PyType_FromSpec(&batch_spec)); }));
}

Ref wrap_batch(PathBatch&& batch) {
    auto* type = reinterpret_cast<PyTypeObject*>(g_batch_type.get());
    Ref obj = ensure(Ref::steal(type->tp_alloc(type, 0)));
    new (&reinterpret_cast<BatchObject*>(obj.get())->batch) PathBatch(std::move(batch));
    return obj;
}

}  // namespace wayforge::py
