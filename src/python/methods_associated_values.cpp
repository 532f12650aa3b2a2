// Per-point value lists attached to a path and read back by handle.
#include <string>
#include <variant>

#include "python/binder.hpp"
#include "python/convert.hpp"
#include "python/errors.hpp"
#include "python/numpy_api.hpp"
#include "python/path2d_methods.hpp"
#include "python/path2d_type.hpp"

namespace wayforge::py {

const char add_associated_values_doc[] =
    "add_associated_values($self, values)\n--\n\n"
    "add_associated_values(values)\n"
    "\n"
    "Adds an associated value.\n"
    "\n"
    ":param values: The values that should be added as associated to the path\n"
    "\n"
    ":type values: list[float]\n"
    "\n"
    ":returns: The handle for accessing the associated values again\n"
    ":rtype: int";

const char associated_values_doc[] =
    "associated_values($self, handle)\n--\n\n"
    "associated_values(handle)\n"
    "\n"
    "Returns the respective associated values.\n"
    "\n"
    ":param handle: The handle of the associated values\n"
    "\n"
    ":type handle: int\n"
    "\n"
    ":returns: The associated values\n"
    ":rtype: list[float]";

// The body's call form names "associated_values_np", unlike the method.
const char associated_value_np_doc[] =
    "associated_value_np($self, handle)\n--\n\n"
    "associated_values_np(handle)\n"
    "\n"
    "Returns the respective associated values.\n"
    "\n"
    ":param handle: The handle of the associated values\n"
    "\n"
    ":type handle: int\n"
    "\n"
    ":returns: The associated values\n"
    ":rtype: numpy.ndarray";

namespace {

const char* const kAddParams[] = {"values"};
const Signature kAddSignature{"Path2D", "add_associated_values", kAddParams, 1};

const char* const kHandleParams[] = {"handle"};
const Signature kValuesSignature{"Path2D", "associated_values", kHandleParams, 1};
const Signature kValueNpSignature{"Path2D", "associated_value_np", kHandleParams, 1};

// Binds the handle, borrows the path for reading and passes the value list
// with that handle (or nullptr) to the result conversion.
template <class Result>
PyObject* read_by_handle(const Signature& sig, PyObject* self, PyObject* const* args,
                         Py_ssize_t nargs, PyObject* kwnames, Result&& result) {
    return boundary([&] {
        PyObject* slots[1] = {};
        bind(sig, args, nargs, kwnames, slots);
        PathBorrow borrow = PathBorrow::shared(self);
        const auto handle = arg<std::size_t>(slots[0], "handle");
        const Values* values = borrow.path().associated_value(handle);
        return values != nullptr ? result(*values) : none();
    });
}

}  // namespace

PyObject* add_associated_values(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                PyObject* kwnames) {
    return boundary([&] {
        PyObject* slots[1] = {};
        bind(kAddSignature, args, nargs, kwnames, slots);
        // The write borrow is held while the argument is converted, so user
        // code run by the conversion cannot read or change the path meanwhile.
        PathBorrow borrow = PathBorrow::exclusive(self);
        Values values = arg<Values>(slots[0], "values");
        auto added = borrow.path().add_associated_values(std::move(values));
        if (const auto* error = std::get_if<std::string>(&added)) {
            raise(PyExc_TypeError, *error);
        }
        return to_python(std::get<std::size_t>(added));
    });
}

PyObject* associated_values(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                            PyObject* kwnames) {
    return read_by_handle(kValuesSignature, self, args, nargs, kwnames,
                          [](const Values& values) { return to_python(values); });
}

PyObject* associated_value_np(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                              PyObject* kwnames) {
    return read_by_handle(kValueNpSignature, self, args, nargs, kwnames,
                          [](const Values& values) { return to_numpy(values); });
}

}  // namespace wayforge::py
