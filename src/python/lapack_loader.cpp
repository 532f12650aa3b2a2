#include "python/lapack_loader.hpp"

#include "python/ref.hpp"

#include <string>

#include "core/lapack.hpp"
#include "python/errors.hpp"
#include "python/gil.hpp"

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

[[noreturn]] void raise_import_error() {
    py::raise_import_error(
        "circle fitting needs LAPACK from the package 'scipy-openblas32', which could not be "
        "loaded (install it with 'pip install scipy-openblas32')",
        "scipy_openblas32");
}

}  // namespace

void ensure_lapack() {
    if (lapack::loaded()) {
        return;
    }
    try {
        const std::string path = library_path();
        // Loading maps the library and starts its threads, and another thread
        // may be loading it already (the loader then waits for it on its own
        // lock): both happen detached, so that no Python thread waits meanwhile.
        UnlockedScope unlocked;
        lapack::load(path);
    } catch (const PythonError&) {
        raise_import_error();
    } catch (const lapack::LoadError& e) {
        PyErr_SetString(PyExc_OSError, e.what());
        raise_import_error();
    }
}

}  // namespace wayforge::py
