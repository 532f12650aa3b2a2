#include "python/array_args.hpp"

#include <cstdint>
#include <string>
#include <utility>

#include "python/errors.hpp"

namespace wayforge::py {

namespace {

enum class Elements { Numbers, Integers };

// A C-ordered NumPy array with its buffer held: while the buffer is held,
// NumPy refuses to resize the array, so its memory stays where it is.
class HeldArray {
public:
    HeldArray(Ref array) : array_(std::move(array)) {
        if (PyObject_GetBuffer(array_.get(), &view_, PyBUF_C_CONTIGUOUS | PyBUF_FORMAT) != 0) {
            throw PythonError{};
        }
        held_ = true;
    }
    HeldArray(HeldArray&& other) noexcept
        : array_(std::move(other.array_)), view_(other.view_), held_(std::exchange(other.held_, false)) {}
    HeldArray(const HeldArray&) = delete;
    HeldArray& operator=(const HeldArray&) = delete;
    HeldArray& operator=(HeldArray&&) = delete;
    ~HeldArray() {
        if (held_) {
            PyBuffer_Release(&view_);
        }
    }

    int ndim() const noexcept { return view_.ndim; }
    std::size_t dim(int i) const noexcept { return static_cast<std::size_t>(view_.shape[i]); }
    std::size_t size() const noexcept {
        return static_cast<std::size_t>(view_.len / (view_.itemsize > 0 ? view_.itemsize : 1));
    }
    template <class T>
    const T* data() const noexcept {
        return static_cast<const T*>(view_.buf);
    }
    const Ref& array() const noexcept { return array_; }

private:
    Ref array_;
    Py_buffer view_{};
    bool held_ = false;
};

Ref attribute(PyObject* obj, const char* name) {
    return ensure(Ref::steal(PyObject_GetAttrString(obj, name)));
}

std::string text_of(PyObject* obj) {
    Ref text = ensure(Ref::steal(PyObject_Str(obj)));
    const char* utf8 = PyUnicode_AsUTF8(text.get());
    if (utf8 == nullptr) {
        throw PythonError{};
    }
    return utf8;
}

// "(3,)", "(3, 4)": a shape as NumPy prints it.
std::string shape_text(const HeldArray& a) {
    std::string text = "(";
    for (int i = 0; i < a.ndim(); ++i) {
        text += (i > 0 ? ", " : "") + std::to_string(a.dim(i));
    }
    return text + (a.ndim() == 1 ? ",)" : ")");
}

[[noreturn]] void wrong_shape(const char* name, const char* expected, const HeldArray& a) {
    raise(PyExc_ValueError,
          std::string(name) + " must have shape " + expected + ", not " + shape_text(a));
}

// numpy.asarray(obj) as a C-ordered float64 (numbers) or int64 (integers)
// array, after its element kind was checked: booleans, integers and floats
// are numbers; only integers are integers (an empty array of any numeric
// kind serves too, since numpy.asarray([]) is float64).
HeldArray array_arg(PyObject* obj, const char* name, Elements elements) {
    Ref numpy = ensure(Ref::steal(PyImport_ImportModule("numpy")));
    Ref array = Ref::steal(PyObject_CallMethod(numpy.get(), "asarray", "O", obj));
    if (!array) {
        // A ragged nesting of lists is a layout error: say which argument.
        if (PyErr_ExceptionMatches(PyExc_ValueError)) {
            Ref cause = Ref::steal(PyErr_GetRaisedException());
            const std::string why = text_of(cause.get());
            PyErr_Format(PyExc_ValueError, "%s is not an array of numbers: %s", name, why.c_str());
            Ref error = Ref::steal(PyErr_GetRaisedException());
            PyException_SetCause(error.get(), cause.release());
            PyErr_SetRaisedException(error.release());
        }
        throw PythonError{};
    }
    Ref dtype = attribute(array.get(), "dtype");
    const std::string kind = text_of(attribute(dtype.get(), "kind").get());
    const bool empty = PyObject_Size(array.get()) == 0;
    if (PyErr_Occurred()) {
        throw PythonError{};
    }
    const bool numeric = kind == "b" || kind == "i" || kind == "u" || kind == "f";
    const bool integral = kind == "i" || kind == "u";
    if (!(elements == Elements::Numbers ? numeric : integral || (empty && numeric))) {
        raise(PyExc_TypeError, std::string("expected an array of ") +
                                   (elements == Elements::Numbers ? "numbers" : "integers") +
                                   ", not an array of dtype '" + text_of(dtype.get()) + "'");
    }
    Ref converted = ensure(Ref::steal(PyObject_CallMethod(
        numpy.get(), "ascontiguousarray", "Os", array.get(),
        elements == Elements::Numbers ? "float64" : "int64")));
    return HeldArray(std::move(converted));
}

}  // namespace

PointColumns point_columns_arg(PyObject* obj, const char* name, const char* shape) {
    const HeldArray a = array_arg(obj, name, Elements::Numbers);
    PointColumns out;
    if (a.ndim() == 1 && a.size() == 0) {
        return out;
    }
    if (a.ndim() != 2 || a.dim(1) != 2) {
        wrong_shape(name, shape, a);
    }
    const std::size_t n = a.dim(0);
    const double* rows = a.data<double>();
    out.x.resize(n);
    out.y.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
        out.x[i] = rows[2 * i];
        out.y[i] = rows[2 * i + 1];
    }
    return out;
}

std::vector<Values> value_columns_arg(PyObject* obj, const char* name) {
    const HeldArray a = array_arg(obj, name, Elements::Numbers);
    if (a.ndim() == 1 && a.size() == 0) {
        return {};
    }
    if (a.ndim() != 2) {
        wrong_shape(name, "(N, k)", a);
    }
    const std::size_t n = a.dim(0);
    const std::size_t k = a.dim(1);
    const double* rows = a.data<double>();
    std::vector<Values> columns(k, Values(n));
    for (std::size_t i = 0; i < n; ++i) {
        for (std::size_t c = 0; c < k; ++c) {
            columns[c][i] = rows[i * k + c];
        }
    }
    return columns;
}

Offsets offsets_arg(PyObject* obj, const char* name) {
    const HeldArray a = array_arg(obj, name, Elements::Integers);
    if (a.ndim() != 1) {
        wrong_shape(name, "(P + 1,)", a);
    }
    const std::int64_t* data = a.data<std::int64_t>();
    return Offsets(data, data + a.size());
}

FloatColumn float_column_arg(PyObject* obj, const char* name) {
    HeldArray a = array_arg(obj, name, Elements::Numbers);
    if (a.ndim() != 1) {
        wrong_shape(name, "(m,)", a);
    }
    FloatColumn column;
    column.data = a.data<double>();
    column.size = a.size();
    column.held = std::make_shared<HeldArray>(std::move(a));
    return column;
}

template <>
QueryPoints convert<QueryPoints>(PyObject* obj) {
    return {point_columns_arg(obj, "points", "(m, 2)")};
}

template <>
QueryLengths convert<QueryLengths>(PyObject* obj) {
    return {float_column_arg(obj, "lengths")};
}

}  // namespace wayforge::py
