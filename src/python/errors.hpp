// The single boundary between C++ failures and Python exceptions.
#pragma once

#include "python/ref.hpp"

#include <cassert>
#include <new>
#include <stdexcept>
#include <string>

#include "core/panic.hpp"

namespace wayforge::py {

// Thrown when a Python exception is already set and should pass through.
struct PythonError {};

// Sets a Python exception of the given type and throws PythonError.
[[noreturn]] void raise(PyObject* type, const std::string& message);

// Throws PythonError if the object is null (a failed C API call).
inline PyObject* ensure(PyObject* obj) {
    if (obj == nullptr) {
        throw PythonError{};
    }
    return obj;
}
inline Ref ensure(Ref obj) {
    if (!obj) {
        throw PythonError{};
    }
    return obj;
}

// Replaces the pending exception, when it is an ordinary Exception, by an
// ImportError with this message and module name whose cause (and context) is
// that exception; KeyboardInterrupt and the like pass through as they are.
[[noreturn]] void raise_import_error(const char* message, const char* module_name);

// The PanicException class, created on first use.
PyObject* panic_exception_type();

// Writes the report of a failed internal check and raises PanicException.
void raise_panic(const Panic& panic) noexcept;
// Raises PanicException for a C++ exception the core did not expect.
void raise_unexpected(const char* what) noexcept;

// Runs one entry point: body returns the result as a Ref. Core failures and
// allocation failures become the documented Python exceptions here and only
// here.
template <class F>
PyObject* boundary(F&& body) noexcept {
    try {
        PyObject* result = body().release();
        // A result returned with an exception set is a bug that release
        // builds of CPython only notice later; debug builds check it here.
        assert(result == nullptr || !PyErr_Occurred());
        return result;
    } catch (const PythonError&) {
        // the Python exception is already set
    } catch (const Panic& panic) {
        raise_panic(panic);
    } catch (const std::bad_alloc&) {
        PyErr_NoMemory();
    } catch (const std::length_error&) {
        PyErr_NoMemory();
    } catch (const std::exception& e) {
        raise_unexpected(e.what());
    } catch (...) {
        raise_unexpected("unknown C++ exception");
    }
    return nullptr;
}

// The same boundary for slots that return int (0 on success, -1 on error).
template <class F>
int boundary_int(F&& body) noexcept {
    PyObject* ok = boundary([&] {
        body();
        return Ref::borrow(Py_None);
    });
    if (ok == nullptr) {
        return -1;
    }
    Py_DECREF(ok);
    return 0;
}

}  // namespace wayforge::py
