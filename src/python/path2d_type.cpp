#include "python/path2d_type.hpp"

#include <new>

#include "python/binder.hpp"
#include "python/convert.hpp"
#include "python/errors.hpp"
#include "python/format.hpp"
#include "python/numpy_api.hpp"
#include "python/path2d_methods.hpp"
#include "python/pickling.hpp"

namespace wayforge::py {

namespace {

PyTypeObject* g_path_type = nullptr;

PathObject* as_path(PyObject* self) {
    return reinterpret_cast<PathObject*>(self);
}

// ---- construction ----

const char* const kNewParams[] = {"points", "x", "y"};
const Signature kNewSignature{"Path2D", "__new__", kNewParams, 0};

PyObject* path_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
    return boundary([&] {
        PyObject* slots[3] = {};
        bind(kNewSignature, args, kwargs, slots);
        auto present = [](PyObject* slot) { return slot != nullptr && slot != Py_None; };
        // Every given argument is converted before the combination is checked.
        std::optional<PointColumns> points;
        std::optional<Values> x;
        std::optional<Values> y;
        if (present(slots[0])) points = arg<PointColumns>(slots[0], "points");
        if (present(slots[1])) x = arg<Values>(slots[1], "x");
        if (present(slots[2])) y = arg<Values>(slots[2], "y");

        Path2D path;
        if (points && !x && !y) {
            path = Path2D::from_coordinates(std::move(points->x), std::move(points->y));
        } else if (!points && x && y) {
            path = Path2D::from_coordinates(std::move(*x), std::move(*y));
        } else {
            raise(PyExc_TypeError, "Create path either from points or coordinates");
        }
        Ref obj = ensure(Ref::steal(type->tp_alloc(type, 0)));
        new (&as_path(obj.get())->path) Path2D(std::move(path));
        as_path(obj.get())->borrow = 0;
        return obj;
    });
}

void path_dealloc(PyObject* self) {
    PyTypeObject* type = Py_TYPE(self);
    as_path(self)->path.~Path2D();
    type->tp_free(self);
    Py_DECREF(type);
}

PyObject* path_repr(PyObject* self) {
    return boundary([&] {
        PathBorrow borrow = PathBorrow::shared(self);
        const std::string text = "Path2D { path: " + describe(borrow.path()) + " }";
        return ensure(Ref::steal(PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size()))));
    });
}

// ---- properties ----

template <Ref (*Read)(Path2D&)>
PyObject* property(PyObject* self, void*) {
    return boundary([&] {
        PathBorrow borrow = PathBorrow::shared(self);
        return Read(borrow.path());
    });
}

Ref read_points(Path2D& p) { return to_python(p.points()); }
Ref read_x(Path2D& p) { return to_python(p.x); }
Ref read_y(Path2D& p) { return to_python(p.y); }
Ref read_path_length_per_point(Path2D& p) { return to_python(p.path_length_per_point()); }
Ref read_length(Path2D& p) { return to_python(p.length()); }
Ref read_orientation(Path2D& p) { return to_python(p.orientation()); }
Ref read_unit_tangent_vector(Path2D& p) { return to_python(p.unit_tangent_vector()); }
Ref read_curvature(Path2D& p) { return to_python(p.curvature()); }

Ref read_points_np(Path2D& p) { return to_numpy(p.points()); }
Ref read_x_np(Path2D& p) { return to_numpy(p.x); }
Ref read_y_np(Path2D& p) { return to_numpy(p.y); }
Ref read_path_length_per_point_np(Path2D& p) { return to_numpy(p.path_length_per_point()); }
Ref read_orientation_np(Path2D& p) { return to_numpy(p.orientation()); }
Ref read_unit_tangent_vector_np(Path2D& p) { return to_numpy(p.unit_tangent_vector()); }
Ref read_curvature_np(Path2D& p) { return to_numpy(p.curvature()); }

PyGetSetDef path_properties[] = {
    {"points", property<read_points>, nullptr, nullptr, nullptr},
    {"points_np", property<read_points_np>, nullptr, nullptr, nullptr},
    {"x", property<read_x>, nullptr, nullptr, nullptr},
    {"x_np", property<read_x_np>, nullptr, nullptr, nullptr},
    {"y", property<read_y>, nullptr, nullptr, nullptr},
    {"y_np", property<read_y_np>, nullptr, nullptr, nullptr},
    {"path_length_per_point", property<read_path_length_per_point>, nullptr, nullptr, nullptr},
    {"path_length_per_point_np", property<read_path_length_per_point_np>, nullptr, nullptr, nullptr},
    {"length", property<read_length>, nullptr, nullptr, nullptr},
    {"orientation", property<read_orientation>, nullptr, nullptr, nullptr},
    {"orientation_np", property<read_orientation_np>, nullptr, nullptr, nullptr},
    {"unit_tangent_vector", property<read_unit_tangent_vector>, nullptr, nullptr, nullptr},
    {"unit_tangent_vector_np", property<read_unit_tangent_vector_np>, nullptr, nullptr, nullptr},
    {"curvature", property<read_curvature>, nullptr, nullptr, nullptr},
    {"curvature_np", property<read_curvature_np>, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

// ---- methods, in registration order ----

#define WAYFORGE_METHOD_ENTRY(name) \
    {#name, reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(name)), METH_FASTCALL | METH_KEYWORDS, name##_doc}

PyMethodDef path_methods[] = {
    {"__reduce__", reduce_path, METH_NOARGS, reduce_doc},
    WAYFORGE_METHOD_ENTRY(compute_circle_fit_curvature),
    WAYFORGE_METHOD_ENTRY(find_circle_segments),
    WAYFORGE_METHOD_ENTRY(resampled_path),
    WAYFORGE_METHOD_ENTRY(smoothed_path_elastic_band),
    WAYFORGE_METHOD_ENTRY(smoothed_path_chaikin),
    WAYFORGE_METHOD_ENTRY(index_from_point),
    WAYFORGE_METHOD_ENTRY(path_length_from_point),
    WAYFORGE_METHOD_ENTRY(sub_path),
    WAYFORGE_METHOD_ENTRY(detect_corrupted_point_order),
    WAYFORGE_METHOD_ENTRY(repair_corrupted_point_order),
    WAYFORGE_METHOD_ENTRY(add_associated_values),
    WAYFORGE_METHOD_ENTRY(associated_values),
    WAYFORGE_METHOD_ENTRY(associated_value_np),
    {nullptr, nullptr, 0, nullptr},
};

#undef WAYFORGE_METHOD_ENTRY

const char kPathDoc[] =
    "Path2D(points=None, x=None, y=None)\n--\n\n"
    "Path2D(points=None, x=None, y=None)\n"
    "\n"
    "Class storing a 2D path.\n"
    "\n"
    ":param points: List of points\n"
    ":param x: List of x coordinates\n"
    ":param y: List of y coordinates\n"
    "\n"
    ":type points: list[list[float]]\n"
    ":type x: list[float]\n"
    ":type y: list[float]";

PyType_Slot path_slots[] = {
    {Py_tp_new, reinterpret_cast<void*>(path_new)},
    {Py_tp_dealloc, reinterpret_cast<void*>(path_dealloc)},
    {Py_tp_repr, reinterpret_cast<void*>(path_repr)},
    {Py_tp_getset, path_properties},
    {Py_tp_methods, path_methods},
    {Py_tp_doc, const_cast<char*>(kPathDoc)},
    {0, nullptr},
};

PyType_Spec path_spec = {
    "builtins.Path2D",
    sizeof(PathObject),
    0,
    Py_TPFLAGS_DEFAULT,
    path_slots,
};

}  // namespace

PyObject* create_path_type() {
    if (g_path_type == nullptr) {
        PyObject* type = PyType_FromSpec(&path_spec);
        if (type == nullptr) {
            return nullptr;
        }
        // Kept for the life of the process: converters and results need it.
        g_path_type = reinterpret_cast<PyTypeObject*>(type);
    }
    return Py_NewRef(reinterpret_cast<PyObject*>(g_path_type));
}

PyTypeObject* path_type() noexcept {
    return g_path_type;
}

PathBorrow PathBorrow::shared(PyObject* self) {
    if (!PyObject_TypeCheck(self, g_path_type)) {
        raise_cannot_convert(self, "Path2D");
    }
    PathObject* object = as_path(self);
    if (object->borrow < 0) {
        raise(PyExc_RuntimeError, "Already mutably borrowed");
    }
    ++object->borrow;
    return PathBorrow(object, false);
}

PathBorrow PathBorrow::exclusive(PyObject* self) {
    if (!PyObject_TypeCheck(self, g_path_type)) {
        raise_cannot_convert(self, "Path2D");
    }
    PathObject* object = as_path(self);
    if (object->borrow != 0) {
        raise(PyExc_RuntimeError, "Already borrowed");
    }
    object->borrow = -1;
    return PathBorrow(object, true);
}

PathBorrow::PathBorrow(PathBorrow&& other) noexcept
    : object_(std::exchange(other.object_, nullptr)), exclusive_(other.exclusive_) {}

PathBorrow::~PathBorrow() {
    if (object_ == nullptr) {
        return;
    }
    if (exclusive_) {
        object_->borrow = 0;
    } else {
        --object_->borrow;
    }
}

Ref wrap_path(Path2D&& path) {
    Ref obj = ensure(Ref::steal(g_path_type->tp_alloc(g_path_type, 0)));
    new (&as_path(obj.get())->path) Path2D(std::move(path));
    as_path(obj.get())->borrow = 0;
    return obj;
}

}  // namespace wayforge::py
