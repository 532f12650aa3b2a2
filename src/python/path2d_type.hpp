// The Path2D Python class: an object that owns one core path record, and the
// borrow rules that keep re-entrant user code from corrupting it.
#pragma once

#include "python/ref.hpp"

#include "core/path2d.hpp"
#include "python/free_threading.hpp"

namespace wayforge::py {

struct PathObject {
    PyObject_HEAD
    Path2D path;
    // 0 free, k > 0 while k shared borrows are held, -1 while exclusively borrowed.
    // Read and changed only inside the object's critical section (see
    // PathBorrow), which the interpreter lock stands in for where there is one.
    Py_ssize_t borrow;
    // How many of the shared borrows are held by core work, which may run
    // without the interpreter lock: a writer waits for these instead of
    // raising. Guarded like borrow; tp_alloc starts it at 0.
    Py_ssize_t core_borrows;
};

// Creates the Path2D type object (a new reference), or returns null with an
// error set.
PyObject* create_path_type();
// The type object, once created.
PyTypeObject* path_type() noexcept;

// A borrow of a Path2D object's record for the duration of a call.
//
// The borrow also holds the object's critical section from before it is
// taken until after it is released. Where threads run without an
// interpreter lock, that gives the borrow counts what the lock gave them:
// checking and taking a borrow is one step, and another thread sees a
// borrow in its middle state (held while arguments are converted) only when
// this thread lets the section go, which it does, as it did the lock, when
// it detaches: while core work runs without the lock, or while code it
// calls blocks. So a reader on one thread meets a writer's borrow on another,
// and the other way round, only where it could with the lock.
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

    // Never copied or moved (the critical section stays where it began):
    // the factories' results initialise the caller's variable directly.
    PathBorrow(const PathBorrow&) = delete;
    PathBorrow& operator=(const PathBorrow&) = delete;
    ~PathBorrow();

    Path2D& path() const noexcept { return object_->path; }

private:
    enum class Kind { Shared, Exclusive, ExclusiveAfterCoreWork };
    // Enters the critical section, then takes the borrow or raises.
    PathBorrow(PyObject* self, Kind kind);

    CriticalSection section_;  // first: begun before the borrow, ended after it
    PathObject* object_;
    bool exclusive_;
    bool core_work_ = false;
};

// A new Path2D object that owns the record.
Ref wrap_path(Path2D&& path);

}  // namespace wayforge::py
