#include "python/errors.hpp"

#include <cstdio>

#include "python/free_threading.hpp"

namespace wayforge::py {

namespace {

constexpr const char kPanicDoc[] =
    "Raised when wayforge's native code fails an internal check.\n\n"
    "Like SystemExit, it derives from BaseException rather than Exception, so that it\n"
    "typically propagates all the way up and ends the interpreter instead of being\n"
    "caught by a broad 'except Exception'.";

}  // namespace

void raise(PyObject* type, const std::string& message) {
    PyErr_SetString(type, message.c_str());
    throw PythonError{};
}

void raise_import_error(const char* message, const char* module_name) {
    Ref original = Ref::steal(PyErr_GetRaisedException());
    if (!PyErr_GivenExceptionMatches(original.get(), PyExc_Exception)) {
        PyErr_SetRaisedException(original.release());
        throw PythonError{};
    }
    Ref text = ensure(Ref::steal(PyUnicode_FromString(message)));
    Ref name = ensure(Ref::steal(PyUnicode_FromString(module_name)));
    PyErr_SetImportError(text.get(), name.get(), nullptr);
    Ref error = Ref::steal(PyErr_GetRaisedException());
    PyException_SetContext(error.get(), Ref(original).release());
    PyException_SetCause(error.get(), original.release());
    PyErr_SetRaisedException(error.release());
    throw PythonError{};
}

PyObject* panic_exception_type() {
    // Created once per process, by the first failure on any thread, and kept
    // for its whole life.
    static Once<PyObject> type;
    return once_object(type, [] {
        return Ref::steal(PyErr_NewExceptionWithDoc("pyo3_runtime.PanicException", kPanicDoc,
                                                    PyExc_BaseException, nullptr));
    });
}

void raise_panic(const Panic& panic) noexcept {
    const auto& where = panic.where();
    std::fprintf(stderr, "wayforge: internal check failed at %s:%u in %s: %s\n", where.file_name(),
                 static_cast<unsigned>(where.line()), where.function_name(),
                 panic.message().c_str());
    std::fflush(stderr);
    PyObject* type = panic_exception_type();
    if (type == nullptr) {
        return;  // creating the class failed; its error is set
    }
    PyErr_SetString(type, panic.message().c_str());
}

void raise_unexpected(const char* what) noexcept {
    raise_panic(Panic(std::string("unexpected C++ exception: ") + what,
                      std::source_location::current()));
}

}  // namespace wayforge::py
