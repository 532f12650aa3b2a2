#include "python/clarabel.hpp"

#include <cstring>
#include <initializer_list>
#include <iterator>
#include <string>
#include <string_view>
#include <utility>

#include "python/errors.hpp"
#include "python/free_threading.hpp"
#include "qp/assembly.hpp"
#include "qp/csc.hpp"

namespace wayforge::py {

namespace {

// Imports clarabel. A failure that is an ordinary Exception becomes an
// ImportError naming the package, with the original error as its cause;
// KeyboardInterrupt and the like pass through as they are.
Ref import_clarabel() {
    Ref module = Ref::steal(PyImport_ImportModule("clarabel"));
    if (!module) {
        raise_import_error(
            "smoothed_path_elastic_band needs the QP solver package 'clarabel', which could not be "
            "imported (install it with 'pip install clarabel')",
            "clarabel");
    }
    return module;
}

Ref attr(PyObject* obj, const char* name) {
    return ensure(Ref::steal(PyObject_GetAttrString(obj, name)));
}

void set_attr(PyObject* obj, const char* name, Ref value) {
    if (!value || PyObject_SetAttrString(obj, name, value.get()) < 0) {
        throw PythonError{};
    }
}

// A read-only memoryview of the given format over a copy of the elements:
// one bulk copy, and clarabel reads it as a sequence of numbers without any
// per-element objects made on this side.
template <class T>
Ref typed_view(const std::vector<T>& items, const char* format) {
    Ref bytes = ensure(Ref::steal(PyBytes_FromStringAndSize(
        nullptr, static_cast<Py_ssize_t>(items.size() * sizeof(T)))));
    if (!items.empty()) {
        std::memcpy(PyBytes_AS_STRING(bytes.get()), items.data(), items.size() * sizeof(T));
    }
    Ref view = ensure(Ref::steal(PyMemoryView_FromObject(bytes.get())));
    Ref cast = attr(view.get(), "cast");
    Ref code = ensure(Ref::steal(PyUnicode_FromString(format)));
    return ensure(Ref::steal(PyObject_CallOneArg(cast.get(), code.get())));
}

Ref size_object(std::size_t value) {
    return ensure(Ref::steal(PyLong_FromSize_t(value)));
}

// The compressed sparse column matrix clarabel expects: an object with
// data, indices, indptr, shape and (read from 0.10 on) has_canonical_format.
Ref csc_object(PyObject* namespace_type, const qp::CscMatrix& m) {
    static_assert(sizeof(std::size_t) == sizeof(unsigned long long));
    Ref kwargs = ensure(Ref::steal(PyDict_New()));
    auto put = [&](const char* key, Ref value) {
        if (!value || PyDict_SetItemString(kwargs.get(), key, value.get()) < 0) {
            throw PythonError{};
        }
    };
    put("data", typed_view(m.values, "d"));
    put("indices", typed_view(m.row_indices, "Q"));
    put("indptr", typed_view(m.column_starts, "Q"));
    Ref rows = size_object(m.rows);
    Ref cols = size_object(m.cols);
    put("shape", Ref::steal(PyTuple_Pack(2, rows.get(), cols.get())));
    put("has_canonical_format", Ref::borrow(Py_True));
    Ref empty = ensure(Ref::steal(PyTuple_New(0)));
    return ensure(Ref::steal(PyObject_Call(namespace_type, empty.get(), kwargs.get())));
}

Ref call(PyObject* callable, std::initializer_list<PyObject*> args) {
    return ensure(Ref::steal(PyObject_Vectorcall(callable, std::data(args), args.size(), nullptr)));
}

Ref settings(PyObject* clarabel) {
    Ref settings = call(attr(clarabel, "DefaultSettings").get(), {});
    PyObject* s = settings.get();
    set_attr(s, "verbose", Ref::borrow(Py_False));
    set_attr(s, "max_iter", size_object(1000));
    set_attr(s, "tol_gap_abs", Ref::steal(PyFloat_FromDouble(1e-4)));
    set_attr(s, "tol_gap_rel", Ref::steal(PyFloat_FromDouble(1e-4)));
    set_attr(s, "tol_feas", Ref::steal(PyFloat_FromDouble(1e-4)));
    set_attr(s, "iterative_refinement_reltol", Ref::steal(PyFloat_FromDouble(1e-4)));
    set_attr(s, "iterative_refinement_abstol", Ref::steal(PyFloat_FromDouble(1e-4)));
    // Explicit, so that every clarabel version factors alike.
    set_attr(s, "direct_solve_method", Ref::steal(PyUnicode_FromString("qdldl")));
    return settings;
}

std::vector<double> read_solution(PyObject* x) {
    // The items are taken, each owned, in the sequence's critical section, so
    // that no other thread changes a list while it is read; they are
    // converted afterwards, since a conversion may run code that lets the
    // section go.
    std::vector<Ref> items;
    {
        CriticalSection section(x);
        Ref fast = ensure(Ref::steal(PySequence_Fast(x, "clarabel returned a solution that is not a sequence")));
        const Py_ssize_t count = PySequence_Fast_GET_SIZE(fast.get());
        PyObject** item = PySequence_Fast_ITEMS(fast.get());
        items.reserve(static_cast<std::size_t>(count));
        for (Py_ssize_t k = 0; k < count; ++k) {
            items.push_back(Ref::borrow(item[k]));
        }
    }
    std::vector<double> values(items.size());
    for (std::size_t k = 0; k < items.size(); ++k) {
        const double v = PyFloat_AsDouble(items[k].get());
        if (v == -1.0 && PyErr_Occurred()) {
            throw PythonError{};
        }
        values[k] = v;
    }
    return values;
}

qp::SolveFailure failure_kind(std::string_view status) {
    if (status == "PrimalInfeasible" || status == "DualInfeasible") {
        return qp::SolveFailure::Infeasible;
    }
    return qp::SolveFailure::NotSolved;
}

}  // namespace

qp::SolveResult ClarabelSolver::solve(qp::ProblemVariables variables,
                                      qp::QuadraticExpression objective,
                                      std::vector<qp::Constraint> constraints) {
    Ref clarabel = import_clarabel();

    // Clarabel reads only the upper triangle of P.
    const qp::ConicProblem problem = qp::assemble(variables, objective, constraints, qp::Triangle::Upper);

    Ref types = ensure(Ref::steal(PyImport_ImportModule("types")));
    Ref namespace_type = attr(types.get(), "SimpleNamespace");
    Ref p = csc_object(namespace_type.get(), problem.P);
    Ref a = csc_object(namespace_type.get(), problem.A);
    Ref q = typed_view(problem.q, "d");
    Ref b = typed_view(problem.b, "d");

    Ref zero_cone = call(attr(clarabel.get(), "ZeroConeT").get(), {size_object(problem.zero_cone).get()});
    Ref nonnegative_cone = call(attr(clarabel.get(), "NonnegativeConeT").get(),
                                {size_object(problem.nonnegative_cone).get()});
    Ref cones = ensure(Ref::steal(PyList_New(2)));
    PyList_SET_ITEM(cones.get(), 0, zero_cone.release());
    PyList_SET_ITEM(cones.get(), 1, nonnegative_cone.release());

    Ref config = settings(clarabel.get());
    Ref solver = call(attr(clarabel.get(), "DefaultSolver").get(),
                      {p.get(), q.get(), a.get(), b.get(), cones.get(), config.get()});
    Ref solution = call(attr(solver.get(), "solve").get(), {});

    Ref status = ensure(Ref::steal(PyObject_Str(attr(solution.get(), "status").get())));
    Py_ssize_t length = 0;
    const char* text = PyUnicode_AsUTF8AndSize(status.get(), &length);
    if (text == nullptr) {
        throw PythonError{};
    }
    const std::string_view name(text, static_cast<std::size_t>(length));
    if (name != "Solved") {
        return failure_kind(name);
    }
    return qp::SolvedProblem{read_solution(attr(solution.get(), "x").get())};
}

}  // namespace wayforge::py
