// The module entry point: builds the module object once per process and
// registers the classes.
#include "python/ref.hpp"

#include <atomic>
#include <cstdint>

#include "python/batch_type.hpp"
#include "python/errors.hpp"
#include "python/free_threading.hpp"
#include "python/method_values.hpp"
#include "python/path2d_type.hpp"
#include "python/pickling.hpp"
#include "python/query_functions.hpp"

namespace wayforge::py {

namespace {

PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT,
    "wayforge",
    "Useful tools for working with paths",
    0,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
};

struct ClassEntry {
    const char* name;
    PyObject* (*create)();
};

// Registration order of the module's classes.
const ClassEntry kClasses[] = {
    {"Path2D", create_path_type},
    {"ResamplingMethod", create_resampling_method_type},
    {"InterpolationMethod", create_interpolation_method_type},
    {"ElasticBandMethod", create_elastic_band_method_type},
    {"PathBatch", create_batch_type},
    {"PointLocations", create_locations_type},
};

// The module, made by the first import and returned by later ones, and the
// interpreter that made it. Both are taken once, the first claim winning.
Once<PyObject> g_module;
std::atomic<std::int64_t> g_interpreter{-1};

// The module's __all__ list, created when missing.
Ref all_names(PyObject* module) {
    PyObject* dict = PyModule_GetDict(module);
    Ref all = Ref::borrow(PyDict_GetItemString(dict, "__all__"));
    if (!all) {
        all = ensure(Ref::steal(PyList_New(0)));
        if (PyDict_SetItemString(dict, "__all__", all.get()) < 0) {
            throw PythonError{};
        }
    }
    return all;
}

// Appends the name to __all__ and sets the object as a module attribute.
void add_public(PyObject* module, const char* name, PyObject* object) {
    Ref all = all_names(module);
    Ref text = ensure(Ref::steal(PyUnicode_FromString(name)));
    if (PyList_Append(all.get(), text.get()) < 0 || PyObject_SetAttr(module, text.get(), object) < 0) {
        throw PythonError{};
    }
}

// Creates the class and adds it as a public name.
void add_class(PyObject* module, const ClassEntry& entry) {
    Ref type = Ref::steal(entry.create());
    if (!type) {
        Ref cause = Ref::steal(PyErr_GetRaisedException());
        PyErr_Format(PyExc_RuntimeError, "An error occurred while initializing class %s", entry.name);
        Ref error = Ref::steal(PyErr_GetRaisedException());
        PyException_SetCause(error.get(), cause.release());
        PyErr_SetRaisedException(error.release());
        throw PythonError{};
    }
    add_public(module, entry.name, type.get());
}

// Builds the module: the classes, the functions and pickle's helper.
Ref make_module() {
    Ref module = ensure(Ref::steal(PyModule_Create(&module_def)));
#ifdef Py_GIL_DISABLED
    // Safe without the interpreter lock: a free-threaded interpreter leaves it off.
    if (PyUnstable_Module_SetGIL(module.get(), Py_MOD_GIL_NOT_USED) < 0) {
        throw PythonError{};
    }
#endif
    for (const ClassEntry& entry : kClasses) {
        add_class(module.get(), entry);
    }
    Ref module_name = ensure(Ref::steal(PyModule_GetNameObject(module.get())));
    for (PyMethodDef* def = query_functions; def->ml_name != nullptr; ++def) {
        Ref function = ensure(Ref::steal(PyCFunction_NewEx(def, module.get(), module_name.get())));
        add_public(module.get(), def->ml_name, function.get());
    }
    // Private, so not in __all__: pickle imports it by name to rebuild objects.
    add_restore_function(module.get());
    return module;
}

PyObject* init() {
    return boundary([] {
        const std::int64_t id = PyInterpreterState_GetID(PyInterpreterState_Get());
        std::int64_t first = -1;
        if (!g_interpreter.compare_exchange_strong(first, id) && first != id) {
            raise(PyExc_ImportError, "wayforge does not support sub-interpreters");
        }
        return Ref::borrow(ensure(once_object(g_module, make_module)));
    });
}

}  // namespace

}  // namespace wayforge::py

PyMODINIT_FUNC PyInit_wayforge() {
    return wayforge::py::init();
}
