// Typed conversions between Python objects and core values, in one place.
// convert<T> turns one object into one value or throws PythonError with the
// interpreter's error set; arg<T> adds the "argument 'name': " prefix to an
// exact TypeError, as every bound parameter reports it.
#pragma once

#include "python/ref.hpp"

#include <cstddef>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "core/method_values.hpp"
#include "core/path2d.hpp"
#include "python/errors.hpp"

namespace wayforge::py {

// The points argument taken apart into its coordinate lists, as the path
// record holds them: no list of points is made on the way.
struct PointColumns {
    Values x;
    Values y;

    void reserve(std::size_t n) {
        x.reserve(n);
        y.reserve(n);
    }
    void push_back(Point p) {
        x.push_back(p.x);
        y.push_back(p.y);
    }
};

// A coordinate argument of the constructor: converted exactly as T, except
// that a large numeric buffer is copied with the interpreter lock released.
// Only the constructor may do that: it holds no borrow of any path, so other
// threads that run meanwhile meet no borrow they could conflict with.
template <class T>
struct ConstructorArg {
    T value;
};

template <class T>
T convert(PyObject* obj);

template <> double convert<double>(PyObject* obj);
template <> std::size_t convert<std::size_t>(PyObject* obj);
template <> bool convert<bool>(PyObject* obj);
template <> Values convert<Values>(PyObject* obj);
template <> Point convert<Point>(PyObject* obj);
template <> std::optional<Point> convert<std::optional<Point>>(PyObject* obj);
template <> PointColumns convert<PointColumns>(PyObject* obj);
template <> ConstructorArg<Values> convert<ConstructorArg<Values>>(PyObject* obj);
template <> ConstructorArg<PointColumns> convert<ConstructorArg<PointColumns>>(PyObject* obj);
template <> ResamplingMethod convert<ResamplingMethod>(PyObject* obj);
template <> InterpolationMethod convert<InterpolationMethod>(PyObject* obj);
template <> ElasticBandMethod convert<ElasticBandMethod>(PyObject* obj);

// Replaces a set exception of exactly TypeError by one whose message starts
// with "argument '<param>': "; the old error's cause becomes the new cause.
void prefix_type_error(const char* param) noexcept;

template <class T>
T arg(PyObject* obj, const char* param) {
    try {
        return convert<T>(obj);
    } catch (const PythonError&) {
        prefix_type_error(param);
        throw;
    }
}

// The bare qualified name of an object's type, as used in messages.
std::string type_name(PyObject* obj);
// Raises TypeError "'<type>' object cannot be converted to '<target>'".
[[noreturn]] void raise_cannot_convert(PyObject* obj, const char* target);

// Results.
Ref none();
Ref to_python(double value);
Ref to_python(std::size_t value);
Ref to_python(bool value);
Ref to_python(const Values& values);
Ref to_python(const Points& points);
Ref to_python(PointsView points);
Ref to_python(const std::vector<std::size_t>& indices);

template <class... R>
Ref make_tuple(R... items) {
    Ref tuple = ensure(Ref::steal(PyTuple_New(sizeof...(items))));
    Py_ssize_t i = 0;
    ((PyTuple_SET_ITEM(tuple.get(), i++, ensure(std::move(items)).release())), ...);
    return tuple;
}

}  // namespace wayforge::py
