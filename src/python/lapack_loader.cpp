#include "python/lapack_loader.hpp"

#include "python/ref.hpp"

#include <string>

#include "core/lapack.hpp"
#include "python/errors.hpp"

namespace wayforge::py {

namespace {

#ifdef __APPLE__
constexpr const char* kLibrarySuffix = ".dylib";
#else
constexpr const char* kLibrarySuffix = ".so";
#endif

std::string text_of(PyObject* str) {
    Py_ssize_t length = 0;
    const char* text = PyUnicode_AsUTF8AndSize(str, &length);
    if (text == nullptr) {
        throw PythonError{};
    }
    return std::string(text, static_cast<std::size_t>(length));
}

std::string call_for_text(PyObject* module, const char* name) {
    Ref result = ensure(Ref::steal(PyObject_CallMethod(module, name, nullptr)));
    if (!PyUnicode_Check(result.get())) {
        PyErr_Format(PyExc_TypeError, "scipy_openblas32.%s() returned %.200s, not str", name,
                     Py_TYPE(result.get())->tp_name);
        throw PythonError{};
    }
    return text_of(result.get());
}

// The full path of the library: its directory and its link name.
std::string library_path() {
    Ref module = ensure(Ref::steal(PyImport_ImportModule("scipy_openblas32")));
    const std::string dir = call_for_text(module.get(), "get_lib_dir");
    const std::string name = call_for_text(module.get(), "get_library");
    return dir + "/lib" + name + kLibrarySuffix;
}

// Replaces the pending exception, when it is an ordinary Exception, by an
// ImportError naming the package with that exception as its cause;
// KeyboardInterrupt and the like pass through as they are.
[[noreturn]] void raise_import_error() {
    Ref original = Ref::steal(PyErr_GetRaisedException());
    if (!PyErr_GivenExceptionMatches(original.get(), PyExc_Exception)) {
        PyErr_SetRaisedException(original.release());
        throw PythonError{};
    }
    Ref message = ensure(Ref::steal(PyUnicode_FromString(
        "circle fitting needs LAPACK from the package 'scipy-openblas32', which could not be "
        "loaded (install it with 'pip install scipy-openblas32')")));
    Ref name = ensure(Ref::steal(PyUnicode_FromString("scipy_openblas32")));
    PyErr_SetImportError(message.get(), name.get(), nullptr);
    Ref error = Ref::steal(PyErr_GetRaisedException());
    PyException_SetContext(error.get(), Ref(original).release());
    PyException_SetCause(error.get(), original.release());
    PyErr_SetRaisedException(error.release());
    throw PythonError{};
}

}  // namespace

void ensure_lapack() {
    if (lapack::loaded()) {
        return;
    }
    try {
        lapack::load(library_path());
    } catch (const PythonError&) {
        raise_import_error();
    } catch (const lapack::LoadError& e) {
        PyErr_SetString(PyExc_OSError, e.what());
        raise_import_error();
    }
}

}  // namespace wayforge::py
