// The method value classes: ResamplingMethod (a tagged union with the two
// variant classes ResamplingMethod_ByNumberPoints and
// ResamplingMethod_BySamplingDistance) and the enumerations
// InterpolationMethod and ElasticBandMethod. Their type objects are created
// once per process; the converters for parameters of these classes live in
// method_values.cpp (declared in convert.hpp).
#pragma once

#include "python/ref.hpp"

#include "core/method_values.hpp"

namespace wayforge::py {

// Create the class (and, for ResamplingMethod, its two variant classes) on
// first call and return a new reference to it, or null with an error set.
PyObject* create_resampling_method_type();
PyObject* create_interpolation_method_type();
PyObject* create_elastic_band_method_type();

// The class attribute object of a member (a new reference). The class must
// have been created (the module registers it on import).
Ref interpolation_member(InterpolationMethod value);
Ref elastic_band_member(ElasticBandMethod value);

// A new ResamplingMethod_ByNumberPoints or _BySamplingDistance object
// holding the value.
Ref wrap_resampling_method(const ResamplingMethod& value);

}  // namespace wayforge::py
