#include "python/convert.hpp"

#include <cstring>

namespace wayforge::py {

std::string type_name(PyObject* obj) {
    Ref name = Ref::steal(PyType_GetQualName(Py_TYPE(obj)));
    const char* text = name ? PyUnicode_AsUTF8(name.get()) : nullptr;
    if (text == nullptr) {
        PyErr_Clear();
        return Py_TYPE(obj)->tp_name;
    }
    return text;
}

void raise_cannot_convert(PyObject* obj, const char* target) {
    raise(PyExc_TypeError, "'" + type_name(obj) + "' object cannot be converted to '" + target + "'");
}

void prefix_type_error(const char* param) noexcept {
    PyObject* raised = PyErr_GetRaisedException();
    if (raised == nullptr) {
        return;
    }
    if (Py_TYPE(raised) != reinterpret_cast<PyTypeObject*>(PyExc_TypeError)) {
        PyErr_SetRaisedException(raised);
        return;
    }
    Ref old = Ref::steal(raised);
    Ref text = Ref::steal(PyObject_Str(old.get()));
    if (!text) {
        // let the latest Python exception pass through and ignore the current one
        return;
    }
    Ref message = Ref::steal(PyUnicode_FromFormat("argument '%s': %U", param, text.get()));
    if (!message) {
        return;
    }
    Ref replaced = Ref::steal(PyObject_CallOneArg(PyExc_TypeError, message.get()));
    if (!replaced) {
        return;
    }
    PyException_SetCause(replaced.get(), PyException_GetCause(old.get()));
    PyErr_SetRaisedException(replaced.release());
}

// ---- scalars ----

template <>
double convert<double>(PyObject* obj) {
    if (PyFloat_CheckExact(obj)) {
        return PyFloat_AS_DOUBLE(obj);
    }
    const double value = PyFloat_AsDouble(obj);
    if (value == -1.0 && PyErr_Occurred()) {
        throw PythonError{};
    }
    return value;
}

template <>
std::size_t convert<std::size_t>(PyObject* obj) {
    static_assert(sizeof(unsigned long long) == sizeof(std::size_t));
    Ref integer = PyLong_Check(obj) ? Ref::borrow(obj) : ensure(Ref::steal(PyNumber_Index(obj)));
    const unsigned long long value = PyLong_AsUnsignedLongLong(integer.get());
    if (value == static_cast<unsigned long long>(-1) && PyErr_Occurred()) {
        throw PythonError{};
    }
    return static_cast<std::size_t>(value);
}

namespace {

// NumPy's boolean scalar, recognised by its type's module and name so that
// NumPy need not be imported.
bool is_numpy_bool(PyObject* obj) {
    PyObject* type = reinterpret_cast<PyObject*>(Py_TYPE(obj));
    Ref module = Ref::steal(PyObject_GetAttrString(type, "__module__"));
    Ref name = Ref::steal(PyObject_GetAttrString(type, "__name__"));
    if (!module || !name || !PyUnicode_Check(module.get()) || !PyUnicode_Check(name.get())) {
        PyErr_Clear();
        return false;
    }
    return PyUnicode_CompareWithASCIIString(module.get(), "numpy") == 0 &&
           (PyUnicode_CompareWithASCIIString(name.get(), "bool_") == 0 ||
            PyUnicode_CompareWithASCIIString(name.get(), "bool") == 0);
}

}  // namespace

template <>
bool convert<bool>(PyObject* obj) {
    if (obj == Py_True) {
        return true;
    }
    if (obj == Py_False) {
        return false;
    }
    if (is_numpy_bool(obj)) {
        PyNumberMethods* number = Py_TYPE(obj)->tp_as_number;
        if (number == nullptr || number->nb_bool == nullptr) {
            raise(PyExc_TypeError,
                  "object of type '" + type_name(obj) + "' does not define a '__bool__' conversion");
        }
        const int truth = number->nb_bool(obj);
        if (truth < 0) {
            throw PythonError{};
        }
        return truth != 0;
    }
    raise_cannot_convert(obj, "PyBool");
}

// ---- points ----

namespace {

Point point_from(PyObject* obj) {
    if ((PyList_CheckExact(obj) && PyList_GET_SIZE(obj) == 2) ||
        (PyTuple_CheckExact(obj) && PyTuple_GET_SIZE(obj) == 2)) {
        PyObject* const* items = PyList_CheckExact(obj) ? &PyList_GET_ITEM(obj, 0)
                                                        : &PyTuple_GET_ITEM(obj, 0);
        if (PyFloat_CheckExact(items[0]) && PyFloat_CheckExact(items[1])) {
            return Point{PyFloat_AS_DOUBLE(items[0]), PyFloat_AS_DOUBLE(items[1])};
        }
    }
    if (!PySequence_Check(obj)) {
        raise_cannot_convert(obj, "Sequence");
    }
    const Py_ssize_t length = PySequence_Size(obj);
    if (length < 0) {
        throw PythonError{};
    }
    if (length != 2) {
        raise(PyExc_ValueError,
              "expected a sequence of length 2 (got " + std::to_string(length) + ")");
    }
    // Items are fetched one at a time and owned while converted: converting
    // the first may run code that changes the sequence.
    Ref first = ensure(Ref::steal(PySequence_GetItem(obj, 0)));
    const double x = convert<double>(first.get());
    Ref second = ensure(Ref::steal(PySequence_GetItem(obj, 1)));
    const double y = convert<double>(second.get());
    return Point{x, y};
}

// Reads a C-contiguous float64 buffer of the given number of columns
// (1: a flat list of numbers; 2: rows of points). Returns false when the
// object offers no such buffer, leaving no error set.
template <class T>
bool from_float64_buffer(PyObject* obj, int ndim, std::vector<T>& out) {
    if (!PyObject_CheckBuffer(obj) || PyBytes_Check(obj) || PyByteArray_Check(obj)) {
        return false;
    }
    Py_buffer view;
    if (PyObject_GetBuffer(obj, &view, PyBUF_C_CONTIGUOUS | PyBUF_FORMAT) != 0) {
        PyErr_Clear();
        return false;
    }
    const char* format = view.format != nullptr ? view.format : "B";
    const bool is_double = std::strcmp(format, "d") == 0 || std::strcmp(format, "<d") == 0 ||
                           std::strcmp(format, "=d") == 0;
    bool usable = is_double && view.itemsize == 8 && view.ndim == ndim;
    if (usable && ndim == 2) {
        usable = view.shape[1] == 2;
    }
    if (usable) {
        const std::size_t count = static_cast<std::size_t>(view.shape[0]);
        out.resize(count);
        if (count != 0) {
            std::memcpy(out.data(), view.buf, count * sizeof(T));
        }
    }
    PyBuffer_Release(&view);
    return usable;
}

// Converts every item of a sequence argument with the item converter.
template <class T, class Item>
std::vector<T> list_from(PyObject* obj, Item&& item) {
    if (PyUnicode_Check(obj)) {
        raise(PyExc_TypeError, "Can't extract `str` to `Vec`");
    }
    if (!PySequence_Check(obj)) {
        raise_cannot_convert(obj, "Sequence");
    }
    std::vector<T> out;
    if (PyList_CheckExact(obj) || PyTuple_CheckExact(obj)) {
        // Index by index with the size read anew each step, as the list
        // iterator does: an item's conversion may shrink or grow the list.
        const bool is_list = PyList_CheckExact(obj);
        out.reserve(static_cast<std::size_t>(Py_SIZE(obj)));
        for (Py_ssize_t i = 0; i < Py_SIZE(obj); ++i) {
            Ref element = Ref::borrow(is_list ? PyList_GET_ITEM(obj, i) : PyTuple_GET_ITEM(obj, i));
            out.push_back(item(element.get()));
        }
        return out;
    }
    if constexpr (sizeof(T) == sizeof(double) || sizeof(T) == 2 * sizeof(double)) {
        if (from_float64_buffer(obj, sizeof(T) == sizeof(double) ? 1 : 2, out)) {
            return out;
        }
    }
    // The length is only a size hint: when it cannot be read, its error is
    // dropped and the items are still taken by iteration.
    const Py_ssize_t hint = PySequence_Size(obj);
    if (hint < 0) {
        PyErr_Clear();
    } else {
        out.reserve(static_cast<std::size_t>(hint));
    }
    Ref iterator = ensure(Ref::steal(PyObject_GetIter(obj)));
    while (Ref element = Ref::steal(PyIter_Next(iterator.get()))) {
        out.push_back(item(element.get()));
    }
    if (PyErr_Occurred()) {
        throw PythonError{};
    }
    return out;
}

}  // namespace

template <>
Point convert<Point>(PyObject* obj) {
    return point_from(obj);
}

template <>
std::optional<Point> convert<std::optional<Point>>(PyObject* obj) {
    if (obj == Py_None) {
        return std::nullopt;
    }
    return point_from(obj);
}

template <>
Values convert<Values>(PyObject* obj) {
    return list_from<double>(obj, [](PyObject* item) { return convert<double>(item); });
}

template <>
Points convert<Points>(PyObject* obj) {
    return list_from<Point>(obj, [](PyObject* item) { return point_from(item); });
}

// ---- results ----

Ref none() {
    return Ref::borrow(Py_None);
}

Ref to_python(double value) {
    return ensure(Ref::steal(PyFloat_FromDouble(value)));
}

Ref to_python(std::size_t value) {
    return ensure(Ref::steal(PyLong_FromSize_t(value)));
}

Ref to_python(bool value) {
    return Ref::borrow(value ? Py_True : Py_False);
}

Ref to_python(const Values& values) {
    Ref list = ensure(Ref::steal(PyList_New(static_cast<Py_ssize_t>(values.size()))));
    for (std::size_t i = 0; i < values.size(); ++i) {
        PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i),
                        ensure(PyFloat_FromDouble(values[i])));
    }
    return list;
}

Ref to_python(const Points& points) {
    Ref list = ensure(Ref::steal(PyList_New(static_cast<Py_ssize_t>(points.size()))));
    for (std::size_t i = 0; i < points.size(); ++i) {
        Ref pair = ensure(Ref::steal(PyList_New(2)));
        PyList_SET_ITEM(pair.get(), 0, ensure(PyFloat_FromDouble(points[i].x)));
        PyList_SET_ITEM(pair.get(), 1, ensure(PyFloat_FromDouble(points[i].y)));
        PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), pair.release());
    }
    return list;
}

Ref to_python(const std::vector<std::size_t>& indices) {
    Ref list = ensure(Ref::steal(PyList_New(static_cast<Py_ssize_t>(indices.size()))));
    for (std::size_t i = 0; i < indices.size(); ++i) {
        PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), ensure(PyLong_FromSize_t(indices[i])));
    }
    return list;
}

}  // namespace wayforge::py
