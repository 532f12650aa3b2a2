// Pickle, copy.copy and copy.deepcopy for every class of the module.
//
// The classes report __module__ "builtins", so pickle cannot import them by
// name. Each object therefore reduces to a call of the private module
// function wayforge._restore, which pickle can import, with a tuple of plain
// state: the class name first, then what that class needs. A path's
// coordinates and value lists travel as float64 bytes, bit for bit.
#pragma once

#include "python/ref.hpp"

namespace wayforge::py {

// The __reduce__ methods (METH_NOARGS) of Path2D, PathBatch, the ResamplingMethod
// variants and the two enumerations.
PyObject* reduce_path(PyObject* self, PyObject* unused);
PyObject* reduce_batch(PyObject* self, PyObject* unused);
PyObject* reduce_resampling_method(PyObject* self, PyObject* unused);
PyObject* reduce_interpolation_method(PyObject* self, PyObject* unused);
PyObject* reduce_elastic_band_method(PyObject* self, PyObject* unused);
extern const char reduce_doc[];

// Adds wayforge._restore to the module (it is not listed in __all__) and
// keeps it for the reduce methods. Throws PythonError on failure.
void add_restore_function(PyObject* module);

}  // namespace wayforge::py
