// The Path2D Python class: an object that owns one core path record, and the
// borrow rules that keep re-entrant user code from corrupting it.
#pragma once

#include "python/ref.hpp"

#include "core/path2d.hpp"

namespace wayforge::py {

struct PathObject {
    PyObject_HEAD
    Path2D path;
    // 0 free, k > 0 while k shared borrows are held, -1 while exclusively borrowed.
    // Changed only with the interpreter lock held.
    Py_ssize_t borrow;
    // How many of the shared borrows are held by core work, which may run
    // without the interpreter lock: a writer waits for these instead of
    // raising. Changed only with the lock held; tp_alloc starts it at 0.
    Py_ssize_t core_borrows;
};

// Creates the Path2D type object (a new reference), or returns null with an
// error set.
PyObject* create_path_type();
// The type object, once created.
PyTypeObject* path_type() noexcept;

// A borrow of a Path2D object's record for the duration of a call.
class PathBorrow {
public:
    // Check that self is a Path2D and take a shared (read) or exclusive
    // (write) borrow; raise RuntimeError on a conflict.
    static PathBorrow shared(PyObject* self);
    static PathBorrow exclusive(PyObject* self);
    // An exclusive borrow that, when every borrow held is core work of other
    // threads, waits for that work with the lock released instead of
    // raising. A thread that itself holds core work never waits (it would
    // wait for itself, or for a thread that waits for it): it raises.
    static PathBorrow exclusive_after_core_work(PyObject* self);

    // Marks this shared borrow as held by core work until it is released:
    // from here on the call runs no user code, so a writer on another
    // thread may wait for it.
    void mark_core_work() noexcept;

    PathBorrow(PathBorrow&& other) noexcept;
    PathBorrow(const PathBorrow&) = delete;
    PathBorrow& operator=(const PathBorrow&) = delete;
    PathBorrow& operator=(PathBorrow&&) = delete;
    ~PathBorrow();

    Path2D& path() const noexcept { return object_->path; }

private:
    PathBorrow(PathObject* object, bool exclusive) noexcept
        : object_(object), exclusive_(exclusive) {}
    PathObject* object_;
    bool exclusive_;
    bool core_work_ = false;
};

// A new Path2D object that owns the record.
Ref wrap_path(Path2D&& path);

}  // namespace wayforge::py
