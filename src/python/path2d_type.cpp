#include "python/path2d_type.hpp"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <new>
#include <type_traits>

#include "python/binder.hpp"
#include "python/convert.hpp"
#include "python/errors.hpp"
#include "python/format.hpp"
#include "python/gil.hpp"
#include "python/numpy_api.hpp"
#include "python/path2d_methods.hpp"
#include "python/pickling.hpp"

namespace wayforge::py {

namespace {

// Made once, at the first import, and kept for the life of the process:
// converters and results need it.
Once<PyObject> g_path_type;

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
        if (present(slots[0])) points = arg<ConstructorArg<PointColumns>>(slots[0], "points").value;
        if (present(slots[1])) x = arg<ConstructorArg<Values>>(slots[1], "x").value;
        if (present(slots[2])) y = arg<ConstructorArg<Values>>(slots[2], "y").value;

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

// The lazily computed attributes: the cell that holds each and the attribute
// that fills it.
struct LengthCell {
    static constexpr auto cell = &Path2D::path_length_per_point_cell;
    static constexpr auto fill = &Path2D::path_length_per_point;
    static constexpr double ns_per_point = 2.0;  // a square root
};
struct OrientationCell {
    static constexpr auto cell = &Path2D::orientation_cell;
    static constexpr auto fill = &Path2D::orientation;
    static constexpr double ns_per_point = 11.0;  // an atan2
};
struct TangentCell {
    static constexpr auto cell = &Path2D::unit_tangent_vector_cell;
    static constexpr auto fill = &Path2D::unit_tangent_vector;
    static constexpr double ns_per_point = 5.0;  // a square root and divisions
};
struct CurvatureCell {
    static constexpr auto cell = &Path2D::curvature_cell;
    static constexpr auto fill = &Path2D::curvature;
    static constexpr double ns_per_point = 11.0;  // a pow
};

// A property reads the record under a shared borrow. For a lazily computed
// one, an empty cell is filled first, without the interpreter lock when the
// work is long enough; the reader then converts the stored value with the lock.
// A property takes no arguments and so runs no user code: its borrow counts
// as core work throughout, and a writer on another thread waits for it even
// while its conversion lets other threads run (the first NumPy result
// imports NumPy).
template <Ref (*Read)(Path2D&), class Lazy = void>
PyObject* property(PyObject* self, void*) {
    return boundary([&] {
        PathBorrow borrow = PathBorrow::shared(self);
        borrow.mark_core_work();
        Path2D& path = borrow.path();
        if constexpr (!std::is_void_v<Lazy>) {
            if (!(path.*Lazy::cell).filled()) {
                const double work = Lazy::ns_per_point * static_cast<double>(path.size());
                run_unlocked_if(worth_unlocking(work), [&] { (path.*Lazy::fill)(); });
            }
        }
        return Read(path);
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
    {"path_length_per_point", property<read_path_length_per_point, LengthCell>, nullptr, nullptr, nullptr},
    {"path_length_per_point_np", property<read_path_length_per_point_np, LengthCell>, nullptr, nullptr, nullptr},
    {"length", property<read_length, LengthCell>, nullptr, nullptr, nullptr},
    {"orientation", property<read_orientation, OrientationCell>, nullptr, nullptr, nullptr},
    {"orientation_np", property<read_orientation_np, OrientationCell>, nullptr, nullptr, nullptr},
    {"unit_tangent_vector", property<read_unit_tangent_vector, TangentCell>, nullptr, nullptr, nullptr},
    {"unit_tangent_vector_np", property<read_unit_tangent_vector_np, TangentCell>, nullptr, nullptr, nullptr},
    {"curvature", property<read_curvature, CurvatureCell>, nullptr, nullptr, nullptr},
    {"curvature_np", property<read_curvature_np, CurvatureCell>, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

// ---- methods, in registration order ----

// Copied from the declarations at load time: those are constant-initialised,
// so they are complete before any dynamic initialisation reads them.
PyMethodDef path_methods[] = {
    {"__reduce__", reduce_path, METH_NOARGS, reduce_doc},
    method_def(compute_circle_fit_curvature_entry),
    method_def(find_circle_segments_entry),
    method_def(resampled_path_entry),
    method_def(smoothed_path_elastic_band_entry),
    method_def(smoothed_path_chaikin_entry),
    method_def(index_from_point_entry),
    method_def(path_length_from_point_entry),
    method_def(sub_path_entry),
    method_def(detect_corrupted_point_order_entry),
    method_def(repair_corrupted_point_order_entry),
    method_def(add_associated_values_entry),
    method_def(associated_values_entry),
    method_def(associated_value_np_entry),
    {nullptr, nullptr, 0, nullptr},
};

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
    return Py_XNewRef(once_object(g_path_type, [] { return Ref::steal(PyType_FromSpec(&path_spec)); }));
}

PyTypeObject* path_type() noexcept {
    return reinterpret_cast<PyTypeObject*>(g_path_type.get());
}

// ---- borrows ----

namespace {

// Writers waiting for core work sleep on one condition variable shared by
// all paths; every release of the last core borrow of a path while someone
// waits starts a new generation and wakes them all, and each rechecks its
// own path. Allocated once and never destroyed, so that threads still
// running at interpreter exit never meet a destroyed mutex.
struct CoreWorkSignal {
    std::mutex mutex;
    std::condition_variable released;
    std::uint64_t generation = 0;  // guarded by mutex
    // Writers now waiting: changed under mutex, read by releasers without it.
    std::atomic<std::size_t> waiting{0};
};

CoreWorkSignal& core_work_signal() {
    static CoreWorkSignal* signal = new CoreWorkSignal;
    return *signal;
}

// Core borrows held by the current thread, of any path.
thread_local std::size_t t_core_borrows = 0;

PyObject* checked(PyObject* self) {
    if (!PyObject_TypeCheck(self, path_type())) {
        raise_cannot_convert(self, "Path2D");
    }
    return self;
}

// Whether a writer on this thread waits for the path instead of raising:
// every borrow held is core work, which runs no user code and ends by itself.
// A borrow held while user code runs (a conversion) is a conflict, as is any
// borrow when this thread itself holds core work (it would wait for itself,
// or for a thread that waits for it).
bool waits_for_core_work(const PathObject* object) {
    return object->borrow > 0 && object->core_borrows == object->borrow && t_core_borrows == 0;
}

// Waits, detached, until the path no longer only holds core work. Called in
// the path's critical section; returns in it.
//
// Without an interpreter lock the releasing thread runs at the same time as
// this one, and a wake-up must not be lost between this thread's check and
// its sleep: the check might see core work, the work's last borrow be
// released before this thread counts as waiting (so nobody is woken), and
// this thread then sleep for ever. So the writer first counts itself as
// waiting and reads the generation, both under the signal's mutex, and only
// then checks the borrows again; the releaser first drops its borrow (in the
// path's critical section) and then, when anyone waits, starts a new
// generation under the same mutex. Either the writer's second check comes
// after the release in the path's critical section, and sees it; or it comes
// before, and then the release comes after the writer counted itself, so the
// releaser sees the count and moves the generation past the one the writer
// read, and the writer's wait ends at once or on the notification.
// (The critical section is let go while the writer sleeps detached, which
// is what lets the releaser in at all.)
void wait_for_core_work(const PathObject* object) {
    CoreWorkSignal& signal = core_work_signal();
    while (waits_for_core_work(object)) {
        std::uint64_t seen = 0;
        {
            std::lock_guard lock(signal.mutex);
            signal.waiting.fetch_add(1);
            seen = signal.generation;
        }
        if (waits_for_core_work(object)) {
            UnlockedScope unlocked;
            std::unique_lock lock(signal.mutex);
            signal.released.wait(lock, [&] { return signal.generation != seen; });
        }
        {
            std::lock_guard lock(signal.mutex);
            signal.waiting.fetch_sub(1);
        }
    }
}

// After a path's last core borrow is released: wakes the writers, if any
// wait (see wait_for_core_work).
void wake_writers() {
    CoreWorkSignal& signal = core_work_signal();
    if (signal.waiting.load() == 0) {
        return;
    }
    {
        std::lock_guard lock(signal.mutex);
        ++signal.generation;
    }
    signal.released.notify_all();
}

}  // namespace

PathBorrow::PathBorrow(PyObject* self, Kind kind)
    : section_(checked(self)), object_(as_path(self)), exclusive_(kind != Kind::Shared) {
    if (kind == Kind::Shared) {
        if (object_->borrow < 0) {
            raise(PyExc_RuntimeError, "Already mutably borrowed");
        }
        ++object_->borrow;
        return;
    }
    if (kind == Kind::ExclusiveAfterCoreWork) {
        wait_for_core_work(object_);
    }
    if (object_->borrow != 0) {
        raise(PyExc_RuntimeError, "Already borrowed");
    }
    object_->borrow = -1;
}

PathBorrow PathBorrow::shared(PyObject* self) {
    return PathBorrow(self, Kind::Shared);
}

PathBorrow PathBorrow::exclusive(PyObject* self) {
    return PathBorrow(self, Kind::Exclusive);
}

PathBorrow PathBorrow::exclusive_after_core_work(PyObject* self) {
    return PathBorrow(self, Kind::ExclusiveAfterCoreWork);
}

void PathBorrow::mark_core_work() noexcept {
    if (exclusive_ || core_work_) {
        return;
    }
    core_work_ = true;
    ++object_->core_borrows;
    ++t_core_borrows;
}

PathBorrow::~PathBorrow() {
    if (exclusive_) {
        object_->borrow = 0;
        return;
    }
    --object_->borrow;
    if (core_work_) {
        --t_core_borrows;
        if (--object_->core_borrows == 0) {
            wake_writers();
        }
    }
}

Ref wrap_path(Path2D&& path) {
    PyTypeObject* type = path_type();
    Ref obj = ensure(Ref::steal(type->tp_alloc(type, 0)));
    new (&as_path(obj.get())->path) Path2D(std::move(path));
    as_path(obj.get())->borrow = 0;
    return obj;
}

}  // namespace wayforge::py
