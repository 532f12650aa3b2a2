#include "python/pickling.hpp"

#include <bit>
#include <cstdint>
#include <cstddef>
#include <cstring>
#include <iterator>
#include <limits>
#include <string>
#include <utility>
#include <variant>

#include "python/batch_type.hpp"
#include "python/convert.hpp"
#include "python/errors.hpp"
#include "python/free_threading.hpp"
#include "python/method_values.hpp"
#include "python/path2d_type.hpp"

namespace wayforge::py {

// Coordinates travel as the bytes of the stored doubles. Every platform the
// module builds on stores IEEE 754 doubles little-endian, so a pickle made on
// one machine loads bit for bit on another.
static_assert(std::endian::native == std::endian::little);
static_assert(std::numeric_limits<double>::is_iec559 && sizeof(double) == 8);

const char reduce_doc[] = "Helper for pickle.";

namespace {

// Version of the Path2D state. A loader refuses versions it does not know
// rather than guess at their layout.
constexpr long kPathStateVersion = 1;
constexpr long kBatchStateVersion = 1;

// wayforge._restore, kept for the life of the process like the type objects.
Once<PyObject> g_restore;

Ref str(const char* text) {
    return ensure(Ref::steal(PyUnicode_InternFromString(text)));
}

// (wayforge._restore, (class name, state...)): what every __reduce__ returns.
template <class... State>
Ref reduction(const char* cls, State... state) {
    PyObject* restore = g_restore.get();
    if (restore == nullptr) {
        raise(PyExc_RuntimeError, "wayforge._restore is not available");
    }
    return make_tuple(Ref::borrow(restore), make_tuple(str(cls), std::move(state)...));
}

// ---- Path2D: what travels (path_state); path_from_state below builds it again ----

Ref to_bytes(const Values& values) {
    return ensure(Ref::steal(PyBytes_FromStringAndSize(
        reinterpret_cast<const char*>(values.data()),
        static_cast<Py_ssize_t>(values.size() * sizeof(double)))));
}

// What travels of a path: x and y exactly as given (a longer list keeps its
// surplus) and every associated value list in handle order, so that the
// handles and the next handle stay the same. The lazily computed attributes
// are computed again on demand.
Ref path_state(const Path2D& path) {
    const auto& lists = path.associated_values;
    Ref values = ensure(Ref::steal(PyTuple_New(static_cast<Py_ssize_t>(lists.size()))));
    for (std::size_t i = 0; i < lists.size(); ++i) {
        PyTuple_SET_ITEM(values.get(), static_cast<Py_ssize_t>(i), to_bytes(lists[i]).release());
    }
    return reduction("Path2D", Ref::steal(PyLong_FromLong(kPathStateVersion)), to_bytes(path.x),
                     to_bytes(path.y), std::move(values));
}

// ---- refusing bad state ----

// The state of one object as _restore received it (after the class name).
struct State {
    const char* cls;
    PyObject* const* items;
    Py_ssize_t count;

    PyObject* operator[](Py_ssize_t i) const { return items[i]; }
};

[[noreturn]] void refuse(PyObject* type, const State& state, const std::string& why) {
    raise(type, std::string("cannot restore ") + state.cls + ": " + why);
}

// The repr of an int or str by its base type's own repr, so that no code of a
// subclass runs while a state is checked.
std::string repr(PyObject* obj, PyTypeObject* base) {
    Ref text = ensure(Ref::steal(base->tp_repr(obj)));
    const char* utf8 = PyUnicode_AsUTF8(text.get());
    if (utf8 == nullptr) {
        throw PythonError{};
    }
    return utf8;
}

void expect_items(const State& state, Py_ssize_t count, const char* names) {
    if (state.count != count) {
        refuse(PyExc_TypeError, state,
               "its state has " + std::to_string(count) + (count == 1 ? " item (" : " items (") +
                   names + "), not " + std::to_string(state.count));
    }
}

void expect_type(const State& state, PyObject* obj, bool ok, const std::string& what,
                 const char* expected) {
    if (!ok) {
        refuse(PyExc_TypeError, state,
               what + " must be " + expected + ", not '" + type_name(obj) + "'");
    }
}

// An int's value when it lies in [0, limit], else the ValueError.
unsigned long long bounded_int(const State& state, PyObject* obj, const std::string& what,
                               unsigned long long limit, const char* range) {
    expect_type(state, obj, PyLong_Check(obj), what, "an int");
    const unsigned long long value = PyLong_AsUnsignedLongLong(obj);
    if (value == static_cast<unsigned long long>(-1) && PyErr_Occurred()) {
        // negative or beyond 64 bits: refused below like any other value out of range
        PyErr_Clear();
    } else if (value <= limit) {
        return value;
    }
    refuse(PyExc_ValueError, state, what + " must be " + range + ", not " + repr(obj, &PyLong_Type));
}

// The float64 values stored in a byte buffer, read in one pass into a new
// list without first writing zeros over it. Each value is copied bytewise:
// the buffer need not be aligned for doubles.
struct StoredDoubles {
    using iterator_category = std::forward_iterator_tag;
    using value_type = double;
    using difference_type = std::ptrdiff_t;
    using pointer = const double*;
    using reference = double;

    const char* at;

    double operator*() const noexcept {
        double value;
        std::memcpy(&value, at, sizeof(double));
        return value;
    }
    StoredDoubles& operator++() noexcept {
        at += sizeof(double);
        return *this;
    }
    StoredDoubles operator++(int) noexcept {
        StoredDoubles before = *this;
        ++*this;
        return before;
    }
    bool operator==(const StoredDoubles&) const noexcept = default;
};

// The float64 values held by a bytes object, checked to be a whole number of
// values and, when `expected` is given, exactly that many.
Values doubles(const State& state, PyObject* obj, const std::string& what,
               const std::size_t* expected = nullptr) {
    expect_type(state, obj, PyBytes_Check(obj), what, "bytes");
    const auto size = static_cast<std::size_t>(PyBytes_GET_SIZE(obj));
    if (size % sizeof(double) != 0) {
        refuse(PyExc_ValueError, state,
               what + " holds " + std::to_string(size) +
                   " bytes, which is not a whole number of float64 values");
    }
    const std::size_t count = size / sizeof(double);
    if (expected != nullptr && count != *expected) {
        refuse(PyExc_ValueError, state,
               what + " holds " + std::to_string(count) + " values for a path of " +
                   std::to_string(*expected) + " points");
    }
    const char* bytes = PyBytes_AS_STRING(obj);
    return Values(StoredDoubles{bytes}, StoredDoubles{bytes + count * sizeof(double)});
}

// Builds the path from its state: the record from x and y as given, then the
// value lists in order, each checked against the number of points first.
Path2D path_from_state(const State& state, PyObject* x, PyObject* y, PyObject* lists) {
    Path2D path = Path2D::from_coordinates(doubles(state, x, "x"), doubles(state, y, "y"));
    expect_type(state, lists, PyTuple_Check(lists), "the associated values", "a tuple");
    const std::size_t n = path.size();
    for (Py_ssize_t i = 0; i < PyTuple_GET_SIZE(lists); ++i) {
        const std::string what = "associated values " + std::to_string(i);
        auto added = path.add_associated_values(doubles(state, PyTuple_GET_ITEM(lists, i), what, &n));
        if (const auto* error = std::get_if<std::string>(&added)) {
            refuse(PyExc_ValueError, state, *error);
        }
    }
    return path;
}

void expect_version(const State& state, PyObject* version, long known) {
    expect_type(state, version, PyLong_Check(version), "the state version", "an int");
    int overflow = 0;
    const long long number = PyLong_AsLongLongAndOverflow(version, &overflow);
    if (number == -1 && PyErr_Occurred()) {
        throw PythonError{};
    }
    if (overflow != 0 || number != known) {
        refuse(PyExc_ValueError, state,
               "unknown state version " + repr(version, &PyLong_Type) + " (this wayforge reads version " +
                   std::to_string(known) + ")");
    }
}

Ref restore_path(const State& state) {
    expect_items(state, 4, "version, x, y, associated values");
    expect_version(state, state[0], kPathStateVersion);
    return wrap_path(path_from_state(state, state[1], state[2], state[3]));
}

// ---- PathBatch: its columns as they are stored, offsets as int64 ----

Ref batch_state(const PathBatch& batch) {
    Ref values = ensure(Ref::steal(PyTuple_New(static_cast<Py_ssize_t>(batch.values.size()))));
    for (std::size_t c = 0; c < batch.values.size(); ++c) {
        PyTuple_SET_ITEM(values.get(), static_cast<Py_ssize_t>(c), to_bytes(batch.values[c]).release());
    }
    Ref offsets = ensure(Ref::steal(PyBytes_FromStringAndSize(
        reinterpret_cast<const char*>(batch.offsets.data()),
        static_cast<Py_ssize_t>(batch.offsets.size() * sizeof(std::int64_t)))));
    return reduction("PathBatch", Ref::steal(PyLong_FromLong(kBatchStateVersion)), to_bytes(batch.x),
                     to_bytes(batch.y), std::move(offsets), std::move(values));
}

Ref restore_batch(const State& state) {
    expect_items(state, 5, "version, x, y, offsets, value lists");
    expect_version(state, state[0], kBatchStateVersion);
    PathBatch batch;
    batch.x = doubles(state, state[1], "x");
    batch.y = doubles(state, state[2], "y");
    PyObject* offsets = state[3];
    expect_type(state, offsets, PyBytes_Check(offsets), "offsets", "bytes");
    const auto size = static_cast<std::size_t>(PyBytes_GET_SIZE(offsets));
    if (size % sizeof(std::int64_t) != 0) {
        refuse(PyExc_ValueError, state,
               "offsets holds " + std::to_string(size) +
                   " bytes, which is not a whole number of int64 values");
    }
    batch.offsets.resize(size / sizeof(std::int64_t));
    std::memcpy(batch.offsets.data(), PyBytes_AS_STRING(offsets), size);
    PyObject* lists = state[4];
    expect_type(state, lists, PyTuple_Check(lists), "the value lists", "a tuple");
    for (Py_ssize_t c = 0; c < PyTuple_GET_SIZE(lists); ++c) {
        batch.values.push_back(
            doubles(state, PyTuple_GET_ITEM(lists, c), "value list " + std::to_string(c)));
    }
    if (const auto error = PathBatch::layout_error(batch.x, batch.y, batch.offsets, batch.values)) {
        refuse(PyExc_ValueError, state, *error);
    }
    return wrap_batch(std::move(batch));
}

// ---- the method values ----

Ref restore_by_number_points(const State& state) {
    expect_items(state, 1, "number_points");
    const auto number_points = bounded_int(state, state[0], "number_points",
                                           std::numeric_limits<std::size_t>::max(),
                                           "between 0 and 2**64 - 1");
    return wrap_resampling_method(ResamplingMethod::by_number_points(number_points));
}

Ref restore_by_sampling_distance(const State& state) {
    expect_items(state, 2, "sampling_distance, drop_last");
    expect_type(state, state[0], PyFloat_Check(state[0]), "sampling_distance", "a float");
    expect_type(state, state[1], PyBool_Check(state[1]), "drop_last", "a bool");
    return wrap_resampling_method(
        ResamplingMethod::by_sampling_distance(PyFloat_AS_DOUBLE(state[0]), state[1] == Py_True));
}

// The members are singletons: loading one gives back the class attribute.
Ref restore_interpolation(const State& state) {
    expect_items(state, 1, "value");
    const auto value = bounded_int(state, state[0], "the value", 1, "0 or 1");
    return interpolation_member(static_cast<InterpolationMethod>(value));
}

Ref restore_elastic_band(const State& state) {
    expect_items(state, 1, "value");
    const auto value = bounded_int(state, state[0], "the value", 1, "0 or 1");
    return elastic_band_member(static_cast<ElasticBandMethod>(value));
}

struct Restorer {
    const char* cls;
    Ref (*restore)(const State&);
};

const Restorer kRestorers[] = {
    {"Path2D", restore_path},
    {"PathBatch", restore_batch},
    {"ResamplingMethod_ByNumberPoints", restore_by_number_points},
    {"ResamplingMethod_BySamplingDistance", restore_by_sampling_distance},
    {"InterpolationMethod", restore_interpolation},
    {"ElasticBandMethod", restore_elastic_band},
};

PyObject* restore(PyObject*, PyObject* const* args, Py_ssize_t nargs) {
    return boundary([&] {
        if (nargs < 1 || !PyUnicode_Check(args[0])) {
            raise(PyExc_TypeError, "_restore() takes the name of a wayforge class and its state");
        }
        for (const Restorer& restorer : kRestorers) {
            // Never fails, whatever the characters of the name.
            if (PyUnicode_CompareWithASCIIString(args[0], restorer.cls) == 0) {
                return restorer.restore(State{restorer.cls, args + 1, nargs - 1});
            }
        }
        raise(PyExc_ValueError, "_restore(): no wayforge class is named " + repr(args[0], &PyUnicode_Type));
    });
}

PyMethodDef module_functions[] = {
    {"_restore", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(restore)), METH_FASTCALL,
     "_restore($module, name, /, *state)\n--\n\n"
     "Rebuilds a wayforge object from the state its __reduce__ method gave; pickle and copy call "
     "it."},
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace

PyObject* reduce_path(PyObject* self, PyObject*) {
    return boundary([&] {
        PathBorrow borrow = PathBorrow::shared(self);
        return path_state(borrow.path());
    });
}

PyObject* reduce_batch(PyObject* self, PyObject*) {
    return boundary([&] { return batch_state(reinterpret_cast<BatchObject*>(self)->batch); });
}

PyObject* reduce_resampling_method(PyObject* self, PyObject*) {
    return boundary([&] {
        const ResamplingMethod value = convert<ResamplingMethod>(self);
        if (value.tag == ResamplingMethod::Tag::ByNumberPoints) {
            return reduction("ResamplingMethod_ByNumberPoints", to_python(value.number_points));
        }
        return reduction("ResamplingMethod_BySamplingDistance", to_python(value.sampling_distance),
                         to_python(value.drop_last));
    });
}

PyObject* reduce_interpolation_method(PyObject* self, PyObject*) {
    return boundary([&] {
        const auto value = static_cast<std::size_t>(convert<InterpolationMethod>(self));
        return reduction("InterpolationMethod", to_python(value));
    });
}

PyObject* reduce_elastic_band_method(PyObject* self, PyObject*) {
    return boundary([&] {
        const auto value = static_cast<std::size_t>(convert<ElasticBandMethod>(self));
        return reduction("ElasticBandMethod", to_python(value));
    });
}

void add_restore_function(PyObject* module) {
    if (PyModule_AddFunctions(module, module_functions) < 0) {
        throw PythonError{};
    }
    ensure(once_object(g_restore, [&] { return Ref::steal(PyObject_GetAttrString(module, "_restore")); }));
}

}  // namespace wayforge::py
