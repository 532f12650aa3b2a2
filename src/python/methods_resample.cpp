// Path2D.resampled_path: binds its arguments and hands the record to the core.
#include "python/ref.hpp"

#include "core/resample.hpp"
#include "python/binder.hpp"
#include "python/convert.hpp"
#include "python/errors.hpp"
#include "python/path2d_methods.hpp"
#include "python/path2d_type.hpp"

namespace wayforge::py {

const char resampled_path_doc[] =
    "resampled_path($self, resampling_method, resampling_type=..., epsilon=0.01)\n"
    "--\n"
    "\n"
    "resampled_path(resampling_method, resampling_type=InterpolationMethod.Linear, epsilon=0.01)\n"
    "\n"
    "Resamples the path equidistantly using the given interpolation method.\n"
    "\n"
    ":param number_points: Number of points of the resampled path\n"
    ":param resampling_type: Method of interpolation\n"
    ":param epsilon: The distance within two points are considered equal\n"
    "\n"
    ":type number_points: int\n"
    ":type resampling_type: ResamplingType\n"
    ":type epsilon: float\n"
    "\n"
    ":returns: Resampled path\n"
    ":rtype: Path2D";

namespace {
const char* const kResampledPathParams[] = {"resampling_method", "resampling_type", "epsilon"};
const Signature kResampledPathSig{"Path2D", "resampled_path", kResampledPathParams, 1};
}  // namespace

PyObject* resampled_path(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                         PyObject* kwnames) {
    return boundary([&] {
        PyObject* slots[3] = {};
        bind(kResampledPathSig, args, nargs, kwnames, slots);
        PathBorrow borrow = PathBorrow::shared(self);
        const auto method = arg<ResamplingMethod>(slots[0], "resampling_method");
        const auto type = slots[1] ? arg<InterpolationMethod>(slots[1], "resampling_type")
                                   : InterpolationMethod::Linear;
        const double epsilon = slots[2] ? arg<double>(slots[2], "epsilon") : 0.01;
        return wrap_path(wayforge::resampled_path(borrow.path(), method, type, epsilon));
    });
}

}  // namespace wayforge::py
