// Path2D.smoothed_path_chaikin.
#include "python/path2d_methods.hpp"

#include "core/chaikin.hpp"
#include "python/binder.hpp"
#include "python/convert.hpp"
#include "python/errors.hpp"
#include "python/path2d_type.hpp"

namespace wayforge::py {

const char smoothed_path_chaikin_doc[] =
    "smoothed_path_chaikin($self, num_iterations)\n"
    "--\n"
    "\n"
    "smoothed_path_chaikin(num_iterations)\n"
    "\n"
    "Smoothes the path using the Chaikin's path smoothing algorithm.\n"
    "\n"
    ":param num_iterations: Number of iterations used for Chaikin's path smoothing algorithm.\n"
    "\n"
    ":type num_iterations: int\n"
    "\n"
    ":returns: The smoothed path\n"
    ":rtype: Path2D";

namespace {

const char* const kParams[] = {"num_iterations"};
const Signature kSignature{"Path2D", "smoothed_path_chaikin", kParams, 1};

}  // namespace

PyObject* smoothed_path_chaikin(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                PyObject* kwnames) {
    return boundary([&] {
        PyObject* slots[1] = {};
        bind(kSignature, args, nargs, kwnames, slots);
        PathBorrow borrow = PathBorrow::shared(self);
        const std::size_t num_iterations = arg<std::size_t>(slots[0], "num_iterations");
        return wrap_path(wayforge::smoothed_path_chaikin(borrow.path(), num_iterations));
    });
}

}  // namespace wayforge::py
