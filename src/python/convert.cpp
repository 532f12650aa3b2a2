#include "python/convert.hpp"

#include <bit>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <type_traits>

#include "python/free_threading.hpp"
#include "python/gil.hpp"

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

// Two exact floats, read in place; nullopt for anything else.
std::optional<Point> two_floats(PyObject* const* items) {
    if (PyFloat_CheckExact(items[0]) && PyFloat_CheckExact(items[1])) {
        return Point{PyFloat_AS_DOUBLE(items[0]), PyFloat_AS_DOUBLE(items[1])};
    }
    return std::nullopt;
}

Point point_from(PyObject* obj) {
    if (PyTuple_CheckExact(obj) && PyTuple_GET_SIZE(obj) == 2) {
        if (const std::optional<Point> point = two_floats(&PyTuple_GET_ITEM(obj, 0))) {
            return *point;
        }
    } else if (PyList_CheckExact(obj)) {
        // Another thread may resize the list meanwhile: its items are read in
        // its critical section, and a float's value never changes.
        std::optional<Point> point;
        {
            CriticalSection section(obj);
            if (PyList_GET_SIZE(obj) == 2) {
                point = two_floats(&PyList_GET_ITEM(obj, 0));
            }
        }
        if (point) {
            return *point;
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

// ---- numeric buffers ----
//
// A NumPy array or an array.array hands over its memory through the buffer
// protocol. Reading the elements there gives exactly the numbers that the
// general path gets by converting each item (a NumPy scalar or a Python
// number) with __float__: every supported element type converts to double
// by the same C conversion. So no per-element Python object is made.

enum class ElementKind { Float, Signed, Unsigned, Bool };

struct ElementFormat {
    ElementKind kind;
    Py_ssize_t size;
};

// One element in native byte order ("d", "=f", "<q", "?", ...). Anything else
// (other byte orders, half floats, long doubles, complex numbers, records)
// is left to the general path.
std::optional<ElementFormat> element_format(const Py_buffer& view) {
    const char* format = view.format != nullptr ? view.format : "B";
    if (*format == '@' || *format == '=' ||
        (*format == '<' && std::endian::native == std::endian::little)) {
        ++format;
    }
    if (format[0] == '\0' || format[1] != '\0') {
        return std::nullopt;
    }
    const Py_ssize_t size = view.itemsize;
    const bool int_size = size == 1 || size == 2 || size == 4 || size == 8;
    switch (format[0]) {
        case 'd':
            return size == 8 ? std::optional(ElementFormat{ElementKind::Float, 8}) : std::nullopt;
        case 'f':
            return size == 4 ? std::optional(ElementFormat{ElementKind::Float, 4}) : std::nullopt;
        case '?':
            return size == 1 ? std::optional(ElementFormat{ElementKind::Bool, 1}) : std::nullopt;
        case 'b': case 'h': case 'i': case 'l': case 'q': case 'n':
            return int_size ? std::optional(ElementFormat{ElementKind::Signed, size}) : std::nullopt;
        case 'B': case 'H': case 'I': case 'L': case 'Q': case 'N':
            return int_size ? std::optional(ElementFormat{ElementKind::Unsigned, size}) : std::nullopt;
        default:
            return std::nullopt;
    }
}

// NumPy's boolean scalar is True for any non-zero byte.
struct BoolByte {
    unsigned char byte;
};

template <class E>
double read_element(const char* at) {
    E element;
    std::memcpy(&element, at, sizeof element);  // the buffer need not be aligned
    if constexpr (std::is_same_v<E, BoolByte>) {
        return element.byte != 0 ? 1.0 : 0.0;
    } else {
        return static_cast<double>(element);
    }
}

// A random-access iterator over the rows of a buffer that yields one
// converted value per row, so that a vector is built from it in one
// allocation and one pass. With a FixedStride (in bytes), the distance
// between rows is known at compile time (the C order of a contiguous array,
// or one column of a packed (n, 2) array), which lets the compiler vectorise
// the copy; without one, it is the buffer's own stride.
template <class E, Py_ssize_t FixedStride = 0>
class RowReader {
public:
    using iterator_category = std::random_access_iterator_tag;
    using value_type = double;
    using difference_type = std::ptrdiff_t;
    using pointer = const double*;
    using reference = double;

    // With an offset, the rows are read from that many bytes into each row
    // (one column of a two-column buffer).
    RowReader(const Py_buffer& view, Py_ssize_t row, Py_ssize_t offset = 0)
        : base_(static_cast<const char*>(view.buf) + offset),
          row_stride_(FixedStride != 0 ? FixedStride : view.strides[0]),
          row_(row) {}

    double operator*() const {
        const Py_ssize_t stride = FixedStride != 0 ? FixedStride : row_stride_;
        return read_element<E>(base_ + row_ * stride);
    }
    RowReader& operator++() {
        ++row_;
        return *this;
    }
    RowReader operator++(int) {
        RowReader old = *this;
        ++row_;
        return old;
    }
    friend bool operator==(const RowReader& a, const RowReader& b) { return a.row_ == b.row_; }
    friend difference_type operator-(const RowReader& a, const RowReader& b) { return a.row_ - b.row_; }

private:
    const char* base_;
    Py_ssize_t row_stride_;
    Py_ssize_t row_;
};

// A one-dimensional buffer as a list of values.
template <class E>
Values read_rows(const Py_buffer& view) {
    const Py_ssize_t rows = view.shape[0];
    if (view.strides[0] == Py_ssize_t{sizeof(E)}) {
        return Values(RowReader<E, sizeof(E)>(view, 0), RowReader<E, sizeof(E)>(view, rows));
    }
    return Values(RowReader<E>(view, 0), RowReader<E>(view, rows));
}

// The two columns of an (n, 2) buffer straight into x and y, each in one
// allocation, in one pass over its column and without first writing zeros
// over it.
template <class E>
PointColumns read_columns(const Py_buffer& view) {
    using Column = RowReader<E>;
    const Py_ssize_t rows = view.shape[0];
    const Py_ssize_t second = view.strides[1];
    PointColumns out;
    if constexpr (std::is_same_v<E, double>) {
        // C order: each column is every other double, a stride the compiler knows.
        if (view.strides[0] == 2 * Py_ssize_t{sizeof(double)} && second == Py_ssize_t{sizeof(double)}) {
            using Packed = RowReader<double, 2 * sizeof(double)>;
            out.x = Values(Packed(view, 0), Packed(view, rows));
            out.y = Values(Packed(view, 0, second), Packed(view, rows, second));
            return out;
        }
    }
    out.x = Values(Column(view, 0), Column(view, rows));
    out.y = Values(Column(view, 0, second), Column(view, rows, second));
    return out;
}

// Calls read.template operator()<E>() with E the C type of the elements.
template <class Read>
auto with_element_type(ElementFormat format, Read&& read) {
    switch (format.kind) {
        case ElementKind::Float:
            return format.size == 8 ? read.template operator()<double>()
                                    : read.template operator()<float>();
        case ElementKind::Bool:
            return read.template operator()<BoolByte>();
        case ElementKind::Signed:
            switch (format.size) {
                case 1: return read.template operator()<std::int8_t>();
                case 2: return read.template operator()<std::int16_t>();
                case 4: return read.template operator()<std::int32_t>();
                default: return read.template operator()<std::int64_t>();
            }
        case ElementKind::Unsigned:
            switch (format.size) {
                case 1: return read.template operator()<std::uint8_t>();
                case 2: return read.template operator()<std::uint16_t>();
                case 4: return read.template operator()<std::uint32_t>();
                default: return read.template operator()<std::uint64_t>();
            }
    }
    return read.template operator()<double>();  // not reached: every kind is handled
}

// What a buffer is read into: a list of values (one dimension) or the two
// coordinate columns (two dimensions, two columns).
template <class Out>
constexpr int kBufferDimensions = std::is_same_v<Out, std::vector<double>> ? 1 : 2;

template <class Out>
Out read_buffer(const Py_buffer& view, ElementFormat format) {
    return with_element_type(format, [&]<class E>() {
        if constexpr (std::is_same_v<Out, PointColumns>) {
            return read_columns<E>(view);
        } else {
            return read_rows<E>(view);
        }
    });
}

// True for an object of exactly the type `name` of the loaded module
// `module`. Only that type's iteration is known to yield its buffer's
// elements: a subclass may change iteration, and another type may carry the
// same name.
bool is_exactly(PyObject* obj, const char* module, const char* name) {
    Ref module_name = ensure(Ref::steal(PyUnicode_FromString(module)));
    Ref loaded = Ref::steal(PyImport_GetModule(module_name.get()));
    Ref type = loaded ? Ref::steal(PyObject_GetAttrString(loaded.get(), name)) : Ref();
    if (!type) {
        PyErr_Clear();
        return false;
    }
    return reinterpret_cast<PyObject*>(Py_TYPE(obj)) == type.get();
}

// NumPy arrays and array.array objects: iterating them yields their
// elements, each converting as read_element does.
bool iterates_its_buffer(PyObject* obj) {
    const char* name = Py_TYPE(obj)->tp_name;
    if (std::strcmp(name, "numpy.ndarray") == 0) {
        return is_exactly(obj, "numpy", "ndarray");
    }
    if (std::strcmp(name, "array.array") == 0) {
        return is_exactly(obj, "array", "array");
    }
    return false;
}

// Reads a list of values (one dimension) or the coordinate columns (two dimensions, two
// columns) straight from a numeric buffer. Returns nullopt, with no error
// set, when the object is not such a buffer: the general path then decides.
// With unlock_large, a buffer long enough for the copy to be worth it is
// copied with the interpreter lock released: the copy runs no Python code,
// and the held buffer keeps its memory alive.
template <class Out>
std::optional<Out> from_numeric_buffer(PyObject* obj, bool unlock_large) {
    constexpr int ndim = kBufferDimensions<Out>;
    if (!iterates_its_buffer(obj) || !PyObject_CheckBuffer(obj)) {
        return std::nullopt;
    }
    Py_buffer view;
    if (PyObject_GetBuffer(obj, &view, PyBUF_RECORDS_RO) != 0) {
        PyErr_Clear();
        return std::nullopt;
    }
    struct Release {
        Py_buffer* view;
        ~Release() { PyBuffer_Release(view); }
    } release{&view};
    const std::optional<ElementFormat> format = element_format(view);
    if (!format || view.ndim != ndim || (ndim == 2 && view.shape[1] != 2)) {
        return std::nullopt;
    }
    const bool unlock =
        unlock_large && worth_unlocking(kCopyNsPerPoint * static_cast<double>(view.shape[0]));
    return run_unlocked_if(unlock, [&] { return read_buffer<Out>(view, *format); });
}

// Converts every item of a sequence argument with the item converter and
// appends it to Out (a vector, or the coordinate columns).
template <class Out, class Item>
Out list_from(PyObject* obj, Item&& item, bool unlock_large_buffers = false) {
    if (PyUnicode_Check(obj)) {
        raise(PyExc_TypeError, "Can't extract `str` to `Vec`");
    }
    if (!PySequence_Check(obj)) {
        raise_cannot_convert(obj, "Sequence");
    }
    Out out;
    if (PyList_CheckExact(obj) || PyTuple_CheckExact(obj)) {
        // Index by index with the size read anew each step, as the list
        // iterator does: an item's conversion, or another thread, may shrink
        // or grow the list. Each item is owned while it is converted.
        const bool is_list = PyList_CheckExact(obj);
        auto size = [&] { return is_list ? PyList_GET_SIZE(obj) : PyTuple_GET_SIZE(obj); };
        out.reserve(static_cast<std::size_t>(size()));
        for (Py_ssize_t i = 0; i < size(); ++i) {
            Ref element = is_list ? Ref::steal(PyList_GetItemRef(obj, i))
                                  : Ref::borrow(PyTuple_GET_ITEM(obj, i));
            if (!element) {
                // Another thread shrank the list after its size was read.
                PyErr_Clear();
                break;
            }
            out.push_back(item(element.get()));
        }
        return out;
    }
    if (std::optional<Out> read = from_numeric_buffer<Out>(obj, unlock_large_buffers)) {
        return std::move(*read);
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
    return list_from<Values>(obj, [](PyObject* item) { return convert<double>(item); });
}

template <>
PointColumns convert<PointColumns>(PyObject* obj) {
    return list_from<PointColumns>(obj, [](PyObject* item) { return point_from(item); });
}

template <>
ConstructorArg<Values> convert<ConstructorArg<Values>>(PyObject* obj) {
    return {list_from<Values>(obj, [](PyObject* item) { return convert<double>(item); }, true)};
}

template <>
ConstructorArg<PointColumns> convert<ConstructorArg<PointColumns>>(PyObject* obj) {
    return {list_from<PointColumns>(obj, [](PyObject* item) { return point_from(item); }, true)};
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

namespace {

template <class PointList>
Ref point_list(const PointList& points) {
    Ref list = ensure(Ref::steal(PyList_New(static_cast<Py_ssize_t>(points.size()))));
    for (std::size_t i = 0; i < points.size(); ++i) {
        const Point point = points[i];
        Ref pair = ensure(Ref::steal(PyList_New(2)));
        PyList_SET_ITEM(pair.get(), 0, ensure(PyFloat_FromDouble(point.x)));
        PyList_SET_ITEM(pair.get(), 1, ensure(PyFloat_FromDouble(point.y)));
        PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), pair.release());
    }
    return list;
}

}  // namespace

Ref to_python(const Points& points) {
    return point_list(points);
}

Ref to_python(PointsView points) {
    return point_list(points);
}

Ref to_python(const std::vector<std::size_t>& indices) {
    Ref list = ensure(Ref::steal(PyList_New(static_cast<Py_ssize_t>(indices.size()))));
    for (std::size_t i = 0; i < indices.size(); ++i) {
        PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), ensure(PyLong_FromSize_t(indices[i])));
    }
    return list;
}

}  // namespace wayforge::py
