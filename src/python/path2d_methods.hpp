// The methods of the Path2D class, each defined in the file of its topic and
// registered in path2d_type.cpp's method table.
#pragma once

#include "python/ref.hpp"

namespace wayforge::py {

#define WAYFORGE_PATH_METHOD(name)                                                         \
    PyObject* name(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames); \
    extern const char name##_doc[]

// Declarations, in registration order:
WAYFORGE_PATH_METHOD(compute_circle_fit_curvature);
WAYFORGE_PATH_METHOD(find_circle_segments);
WAYFORGE_PATH_METHOD(resampled_path);
WAYFORGE_PATH_METHOD(smoothed_path_elastic_band);
WAYFORGE_PATH_METHOD(smoothed_path_chaikin);
WAYFORGE_PATH_METHOD(index_from_point);
WAYFORGE_PATH_METHOD(path_length_from_point);
WAYFORGE_PATH_METHOD(sub_path);
WAYFORGE_PATH_METHOD(detect_corrupted_point_order);
WAYFORGE_PATH_METHOD(repair_corrupted_point_order);
WAYFORGE_PATH_METHOD(add_associated_values);
WAYFORGE_PATH_METHOD(associated_values);
WAYFORGE_PATH_METHOD(associated_value_np);

}  // namespace wayforge::py
