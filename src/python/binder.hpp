// One data-driven argument binder for every function of the module. A
// Signature describes the parameters; bind() places positional and keyword
// arguments into slots and raises the binding messages.
#pragma once

#include "python/ref.hpp"

#include <cstddef>
#include <span>
#include <string>

namespace wayforge::py {

struct Signature {
    const char* cls;                       // class name shown in messages; null for a module function
    const char* name;                      // function name, e.g. "__new__"
    std::span<const char* const> params;   // every parameter, in order
    std::size_t required;                  // the first `required` have no default

    std::string display() const;           // "Class.name()", or "name()" for a module function
};

// Binds vectorcall arguments. slots must hold params.size() entries set to
// nullptr; they receive borrowed references, nullptr for omitted parameters.
void bind(const Signature& sig, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames,
          PyObject** slots);

// Binds an argument tuple and keyword dictionary (the tp_new calling form).
void bind(const Signature& sig, PyObject* args, PyObject* kwargs, PyObject** slots);

}  // namespace wayforge::py
