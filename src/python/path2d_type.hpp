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
    Py_ssize_t borrow;
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
};

// A new Path2D object that owns the record.
Ref wrap_path(Path2D&& path);

}  // namespace wayforge::py
