#include "python/errors.hpp"

#include <cstdio>

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

PyObject* panic_exception_type() {
    // Created once per process and kept for its whole life.
    static PyObject* type = nullptr;
    if (type == nullptr) {
        type = PyErr_NewExceptionWithDoc("pyo3_runtime.PanicException", kPanicDoc,
                                         PyExc_BaseException, nullptr);
    }
    return type;
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
