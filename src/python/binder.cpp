#include "python/binder.hpp"

#include <vector>

#include "python/errors.hpp"
#include "python/free_threading.hpp"

namespace wayforge::py {

std::string Signature::display() const {
    return cls != nullptr ? std::string(cls) + "." + name + "()" : std::string(name) + "()";
}

namespace {

[[noreturn]] void too_many_positional(const Signature& sig, std::size_t given) {
    const std::size_t total = sig.params.size();
    std::string msg = sig.display() + " takes ";
    if (sig.required < total) {
        msg += "from " + std::to_string(sig.required) + " to " + std::to_string(total);
    } else {
        msg += std::to_string(total);
    }
    msg += " positional arguments but " + std::to_string(given) + (given == 1 ? " was" : " were") +
           " given";
    raise(PyExc_TypeError, msg);
}

// Index of the parameter named by a keyword, or -1.
Py_ssize_t find_parameter(const Signature& sig, PyObject* keyword) {
    for (std::size_t i = 0; i < sig.params.size(); ++i) {
        if (PyUnicode_CompareWithASCIIString(keyword, sig.params[i]) == 0) {
            return static_cast<Py_ssize_t>(i);
        }
    }
    return -1;
}

void place_keyword(const Signature& sig, PyObject* keyword, PyObject* value, PyObject** slots) {
    if (!PyUnicode_Check(keyword)) {
        raise(PyExc_TypeError, sig.display() + " keywords must be strings");
    }
    const Py_ssize_t index = find_parameter(sig, keyword);
    if (index < 0) {
        // Formatted by the interpreter: a keyword need not be encodable as
        // UTF-8 (a lone surrogate) and may hold a NUL character.
        PyErr_Format(PyExc_TypeError, "%s got an unexpected keyword argument '%U'",
                     sig.display().c_str(), keyword);
        throw PythonError{};
    }
    if (slots[index] != nullptr) {
        raise(PyExc_TypeError, sig.display() + " got multiple values for argument '" +
                                   sig.params[index] + "'");
    }
    slots[index] = value;
}

void check_required(const Signature& sig, PyObject** slots) {
    std::vector<const char*> missing;
    for (std::size_t i = 0; i < sig.required; ++i) {
        if (slots[i] == nullptr) {
            missing.push_back(sig.params[i]);
        }
    }
    if (missing.empty()) {
        return;
    }
    // 'a' / 'a' and 'b' / 'a', 'b', and 'c'
    std::string list;
    for (std::size_t i = 0; i < missing.size(); ++i) {
        if (i > 0) {
            list += missing.size() > 2 ? ", " : " ";
            if (i + 1 == missing.size()) {
                list += "and ";
            }
        }
        list += std::string("'") + missing[i] + "'";
    }
    raise(PyExc_TypeError, sig.display() + " missing " + std::to_string(missing.size()) +
                               " required positional argument" + (missing.size() > 1 ? "s" : "") +
                               ": " + list);
}

}  // namespace

void bind(const Signature& sig, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames,
          PyObject** slots) {
    const auto nargs = static_cast<std::size_t>(PyVectorcall_NARGS(nargsf));
    if (nargs > sig.params.size()) {
        too_many_positional(sig, nargs);
    }
    for (std::size_t i = 0; i < nargs; ++i) {
        slots[i] = args[i];
    }
    if (kwnames != nullptr) {
        const Py_ssize_t nkw = PyTuple_GET_SIZE(kwnames);
        for (Py_ssize_t k = 0; k < nkw; ++k) {
            place_keyword(sig, PyTuple_GET_ITEM(kwnames, k), args[nargs + k], slots);
        }
    }
    check_required(sig, slots);
}

void bind(const Signature& sig, PyObject* args, PyObject* kwargs, PyObject** slots) {
    const auto nargs = static_cast<std::size_t>(PyTuple_GET_SIZE(args));
    if (nargs > sig.params.size()) {
        too_many_positional(sig, nargs);
    }
    for (std::size_t i = 0; i < nargs; ++i) {
        slots[i] = PyTuple_GET_ITEM(args, i);
    }
    if (kwargs != nullptr) {
        PyObject* key = nullptr;
        PyObject* value = nullptr;
        Py_ssize_t pos = 0;
        // Keyword dictionaries keep the order in which the keywords were
        // passed. The walk runs in the dictionary's critical section; the
        // call owns the dictionary, which keeps the values alive afterwards.
        CriticalSection section(kwargs);
        while (PyDict_Next(kwargs, &pos, &key, &value)) {
            place_keyword(sig, key, value, slots);
        }
    }
    check_required(sig, slots);
}

}  // namespace wayforge::py
