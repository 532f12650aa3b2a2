// Array arguments of the batch class and the vectorised functions. Each is
// read through NumPy (numpy.asarray), so anything NumPy takes as an array of
// numbers serves; other element types raise TypeError, wrong shapes
// ValueError, both naming the argument.
#pragma once

#include "python/ref.hpp"

#include <cstddef>
#include <memory>
#include <vector>

#include "core/path_batch.hpp"
#include "python/convert.hpp"

namespace wayforge::py {

// An (n, 2) array of numbers as its two columns; an empty one-dimensional
// array serves as (0, 2). shape is the expected shape as messages show it.
PointColumns point_columns_arg(PyObject* obj, const char* name, const char* shape);
// An (n, k) array of numbers as its k columns; an empty one-dimensional
// array serves as (0, 0).
std::vector<Values> value_columns_arg(PyObject* obj, const char* name);
// A one-dimensional array of integers.
Offsets offsets_arg(PyObject* obj, const char* name);

// A one-dimensional array of numbers as float64, read in place for the
// duration of a call: the array and its buffer are held with it, and let go
// (with the interpreter lock held) when it ends.
struct FloatColumn {
    std::shared_ptr<void> held;
    const double* data = nullptr;
    std::size_t size = 0;
};
FloatColumn float_column_arg(PyObject* obj, const char* name);

// The query arguments of the vectorised functions, as the method table
// converts them.
struct QueryPoints {
    PointColumns columns;
};
struct QueryLengths {
    FloatColumn column;
};
template <> QueryPoints convert<QueryPoints>(PyObject* obj);
template <> QueryLengths convert<QueryLengths>(PyObject* obj);

}  // namespace wayforge::py
