#include "python/numpy_api.hpp"

#include <atomic>
#include <cstdint>
#include <cstring>
#include <memory>
#include <source_location>
#include <string>
#include <type_traits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "core/panic.hpp"
#include "python/convert.hpp"
#include "python/errors.hpp"

namespace wayforge::py {

namespace {

// The entries of NumPy's interface table used here. Their positions are part
// of NumPy's stable C ABI.
constexpr std::size_t kArrayTypeEntry = 2;        // PyArray_Type
constexpr std::size_t kDescrFromTypeEntry = 45;   // PyArray_DescrFromType
constexpr std::size_t kNewFromDescrEntry = 94;    // PyArray_NewFromDescr
constexpr std::size_t kSetBaseObjectEntry = 282;  // PyArray_SetBaseObject

using DescrFromType = PyObject* (*)(int type_num);
// Steals the reference to descr.
using NewFromDescr = PyObject* (*)(PyTypeObject* subtype, PyObject* descr, int nd,
                                   const Py_intptr_t* dims, const Py_intptr_t* strides, void* data,
                                   int flags, PyObject* base);
// Steals the reference to base.
using SetBaseObject = int (*)(PyObject* array, PyObject* base);

// NPY_ARRAY_C_CONTIGUOUS | NPY_ARRAY_ALIGNED | NPY_ARRAY_WRITEABLE
constexpr int kCArrayFlags = 0x0001 | 0x0100 | 0x0400;

// The start of NumPy's array object: the data pointer follows the header.
struct ArrayHead {
    PyObject_HEAD
    char* data;
};

// From this many rows on (2 MB of array), points are written with streaming
// stores; smaller arrays are left in the cache for their first reader.
constexpr std::size_t kStreamingRows = std::size_t{1} << 17;

constexpr const char kCapsuleFailure[] = "Failed to access NumPy array API capsule";

// "numpy._core" or "numpy.core", decided once by NumPy's major version.
std::atomic<const char*> g_core_module{nullptr};
// The capsule's table. The capsule is kept for the rest of the process so
// that the pointer stays valid. Any thread may be the first to ask: both are
// published with one atomic store each, and threads that look them up at the
// same time find the same values.
std::atomic<void* const*> g_table{nullptr};

// The set Python exception as "Type: message", clearing it.
std::string take_error_text() {
    Ref error = Ref::steal(PyErr_GetRaisedException());
    if (!error) {
        return "unknown error";
    }
    std::string text = type_name(error.get());
    Ref message = Ref::steal(PyObject_Str(error.get()));
    const char* utf8 = message ? PyUnicode_AsUTF8(message.get()) : nullptr;
    if (utf8 == nullptr) {
        PyErr_Clear();
    } else if (*utf8 != '\0') {
        text += ": ";
        text += utf8;
    }
    return text;
}

[[noreturn]] void fail(const std::string& reason,
                       std::source_location where = std::source_location::current()) {
    panic(std::string(kCapsuleFailure) + ": " + reason, where);
}

// Fails with the set Python exception as the reason.
Ref checked(PyObject* obj, std::source_location where = std::source_location::current()) {
    if (obj == nullptr) {
        fail(take_error_text(), where);
    }
    return Ref::steal(obj);
}

const char* decide_core_module() {
    Ref numpy = checked(PyImport_ImportModule("numpy"));
    Ref version = checked(PyObject_GetAttrString(numpy.get(), "__version__"));
    Ref lib = checked(PyImport_ImportModule("numpy.lib"));
    Ref parsed = checked(PyObject_CallMethod(lib.get(), "NumpyVersion", "O", version.get()));
    Ref major = checked(PyObject_GetAttrString(parsed.get(), "major"));
    const long value = PyLong_AsLong(major.get());
    if (value == -1 && PyErr_Occurred()) {
        fail(take_error_text());
    }
    if (value < 0 || value > 255) {
        fail("NumPy major version " + std::to_string(value) + " is out of range");
    }
    return value >= 2 ? "numpy._core" : "numpy.core";
}

// Locates the table on the first request. A failure is not remembered: the
// next request tries again.
void* const* table() {
    if (void* const* known = g_table.load(std::memory_order_acquire)) {
        return known;
    }
    const char* core_module = g_core_module.load(std::memory_order_acquire);
    if (core_module == nullptr) {
        core_module = decide_core_module();
        g_core_module.store(core_module, std::memory_order_release);
    }
    const std::string name = std::string(core_module) + ".multiarray";
    Ref multiarray = checked(PyImport_ImportModule(name.c_str()));
    Ref capsule = checked(PyObject_GetAttrString(multiarray.get(), "_ARRAY_API"));
    if (!PyCapsule_CheckExact(capsule.get())) {
        fail(name + "._ARRAY_API is a '" + type_name(capsule.get()) + "', not a capsule");
    }
    const char* capsule_name = PyCapsule_GetName(capsule.get());
    if (capsule_name == nullptr && PyErr_Occurred()) {
        fail(take_error_text());
    }
    void* pointer = PyCapsule_GetPointer(capsule.get(), capsule_name);
    if (pointer == nullptr) {
        fail(PyErr_Occurred() ? take_error_text() : "the capsule holds no table");
    }
    // Importing ran Python code, and other threads may be here too: the
    // first to publish keeps its reference to the capsule; it is the same
    // capsule, so either table is the same one.
    void* const* expected = nullptr;
    if (g_table.compare_exchange_strong(expected, static_cast<void* const*>(pointer),
                                        std::memory_order_acq_rel, std::memory_order_acquire)) {
        capsule.release();  // kept for the rest of the process
        return static_cast<void* const*>(pointer);
    }
    return expected;
}

template <class F>
F entry(void* const* api, std::size_t index) {
    static_assert(sizeof(F) == sizeof(void*));
    F function;
    std::memcpy(&function, &api[index], sizeof(F));
    return function;
}

// A new C-ordered array: over memory NumPy allocates (uninitialised) when
// data is null, else over data, which the caller keeps alive.
Ref new_array(int type_num, int nd, const Py_intptr_t* dims, void* data = nullptr) {
    void* const* api = table();
    auto* array_type = static_cast<PyTypeObject*>(api[kArrayTypeEntry]);
    PyObject* descr = entry<DescrFromType>(api, kDescrFromTypeEntry)(type_num);
    PyObject* array = nullptr;
    if (descr != nullptr) {
        array = entry<NewFromDescr>(api, kNewFromDescrEntry)(array_type, descr, nd, dims, nullptr,
                                                            data, data != nullptr ? kCArrayFlags : 0,
                                                            nullptr);
    }
    if (array == nullptr) {
        // Lack of memory stays a MemoryError; anything else is unexpected.
        if (PyErr_ExceptionMatches(PyExc_MemoryError)) {
            throw PythonError{};
        }
        panic("NumPy failed to create an array: " + take_error_text());
    }
    return Ref::steal(array);
}

char* data_of(const Ref& array) {
    return reinterpret_cast<ArrayHead*>(array.get())->data;
}

std::size_t element_size(int type_num) {
    switch (type_num) {
        case kNpyInt64:
        case kNpyFloat64:
            return 8;
        default:
            panic("unsupported NumPy element type " + std::to_string(type_num));
    }
}

// An array of the given shape over the elements of a vector, which it takes
// over: the vector moves into a capsule that becomes the array's base and
// frees it with the array.
template <class T>
Ref adopt(std::vector<T>&& values, int type_num, int nd, const Py_intptr_t* dims) {
    if (values.empty()) {
        return new_array(type_num, nd, dims);
    }
    auto owned = std::make_unique<std::vector<T>>(std::move(values));
    void* data = owned->data();
    Ref capsule = ensure(Ref::steal(PyCapsule_New(owned.get(), nullptr, [](PyObject* c) {
        delete static_cast<std::vector<T>*>(PyCapsule_GetPointer(c, nullptr));
    })));
    owned.release();  // the capsule frees it from here on
    Ref array = new_array(type_num, nd, dims, data);
    if (entry<SetBaseObject>(table(), kSetBaseObjectEntry)(array.get(), capsule.release()) < 0) {
        throw PythonError{};
    }
    return array;
}

}  // namespace

Ref adopt_array(Values&& values) {
    const Py_intptr_t dims[1] = {static_cast<Py_intptr_t>(values.size())};
    return adopt(std::move(values), kNpyFloat64, 1, dims);
}

Ref adopt_array(std::vector<std::int64_t>&& values) {
    const Py_intptr_t dims[1] = {static_cast<Py_intptr_t>(values.size())};
    return adopt(std::move(values), kNpyInt64, 1, dims);
}

Ref adopt_array(Points&& points) {
    const Py_intptr_t dims[2] = {static_cast<Py_intptr_t>(points.size()), 2};
    return adopt(std::move(points), kNpyFloat64, 2, dims);
}

Ref adopt_array(Values&& values, std::size_t rows, std::size_t columns) {
    check(values.size() == rows * columns, "array data does not match its shape");
    const Py_intptr_t dims[2] = {static_cast<Py_intptr_t>(rows), static_cast<Py_intptr_t>(columns)};
    return adopt(std::move(values), kNpyFloat64, 2, dims);
}

Ref new_array_1d(int type_num, std::size_t n, const void* data, std::size_t item_size) {
    check(item_size == element_size(type_num), "element size does not match the NumPy type");
    check(n <= static_cast<std::size_t>(PY_SSIZE_T_MAX) / item_size, "array too large");
    const Py_intptr_t dims[1] = {static_cast<Py_intptr_t>(n)};
    Ref array = new_array(type_num, 1, dims);
    if (n != 0) {
        std::memcpy(data_of(array), data, n * item_size);
    }
    return array;
}

Ref to_numpy(const Values& values) {
    return new_array_1d(kNpyFloat64, values.size(), values.data(), sizeof(double));
}

Ref to_numpy(const Points& points) {
    static_assert(sizeof(Point) == 2 * sizeof(double) && std::is_standard_layout_v<Point>,
                  "a point is stored as its x and y, which are the two columns of its row");
    const std::size_t n = points.size();
    // An empty list has no first row to take the column count from.
    const Py_intptr_t dims[2] = {static_cast<Py_intptr_t>(n), n == 0 ? 0 : 2};
    Ref array = new_array(kNpyFloat64, 2, dims);
    if (n != 0) {
        std::memcpy(data_of(array), points.data(), n * sizeof(Point));
    }
    return array;
}

Ref to_numpy(PointsView points) {
    const std::size_t n = points.size();
    // An empty list has no first row to take the column count from.
    const Py_intptr_t dims[2] = {static_cast<Py_intptr_t>(n), n == 0 ? 0 : 2};
    Ref array = new_array(kNpyFloat64, 2, dims);
    // Row i is (x[i], y[i]): the coordinate lists are interleaved.
    double* out = reinterpret_cast<double*>(data_of(array));
    const double* x = points.x();
    const double* y = points.y();
    std::size_t i = 0;
#if defined(__SSE2__)
    // A large array is written with streaming stores, which do not first
    // read each line of the new array into the cache: the C library's block
    // copy does the same for a list of points. Only data moves, so the
    // values are the same bits either way.
    if (n >= kStreamingRows && reinterpret_cast<std::uintptr_t>(out) % 16 == 0) {
        for (; i + 2 <= n; i += 2) {
            const __m128d xs = _mm_loadu_pd(x + i);
            const __m128d ys = _mm_loadu_pd(y + i);
            _mm_stream_pd(out + 2 * i, _mm_unpacklo_pd(xs, ys));
            _mm_stream_pd(out + 2 * i + 2, _mm_unpackhi_pd(xs, ys));
        }
        _mm_sfence();
    }
#endif
    for (; i < n; ++i) {
        out[2 * i] = x[i];
        out[2 * i + 1] = y[i];
    }
    return array;
}

}  // namespace wayforge::py
