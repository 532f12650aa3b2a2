// The module functions that answer many queries against one path at once:
// locate_points and interpolate_at_lengths.
#pragma once

#include "python/ref.hpp"

namespace wayforge::py {

// Creates the PointLocations type (a new reference), the named tuple that
// locate_points returns, or returns null with an error set.
PyObject* create_locations_type();

// The module's function table entries, in __all__ order, ending with a
// null entry.
extern PyMethodDef query_functions[];

}  // namespace wayforge::py
