#include "python/method_values.hpp"

#include <cstdint>
#include <initializer_list>
#include <utility>

#include "python/binder.hpp"
#include "python/convert.hpp"
#include "python/errors.hpp"
#include "python/free_threading.hpp"
#include "python/pickling.hpp"

namespace wayforge::py {

namespace {

// ---- objects ----

struct ResamplingObject {
    PyObject_HEAD
    ResamplingMethod value;
};

struct EnumObject {
    PyObject_HEAD
    std::uint8_t value;
};

const ResamplingMethod& resampling_value(PyObject* obj) {
    return reinterpret_cast<ResamplingObject*>(obj)->value;
}

// The objects hold no references, so freeing the memory and the reference
// to their heap type is all there is to do.
void value_dealloc(PyObject* self) {
    PyTypeObject* type = Py_TYPE(self);
    type->tp_free(self);
    Py_DECREF(type);
}

// tp_new of the classes that cannot be instantiated.
PyObject* no_constructor(PyTypeObject* subtype, PyObject*, PyObject*) {
    Ref name = Ref::steal(PyType_GetName(subtype));
    if (name) {
        PyErr_Format(PyExc_TypeError, "No constructor defined for %U", name.get());
    }
    return nullptr;
}

PyObject* not_implemented() {
    return Py_NewRef(Py_NotImplemented);
}

// ---- ResamplingMethod and its variant classes ----

// Created once per process and never released: the classes live until the
// process ends, and nothing may drop a reference after the interpreter has
// gone. The first import creates them; they are published like every
// process-wide object (see Once).
struct ResamplingTypes {
    Ref base;
    Ref by_number_points;
    Ref by_sampling_distance;
};
Once<ResamplingTypes> g_resampling;

PyTypeObject* as_type(const Ref& type) {
    return reinterpret_cast<PyTypeObject*>(type.get());
}

Ref alloc_resampling(PyTypeObject* type, const ResamplingMethod& value) {
    Ref obj = ensure(Ref::steal(type->tp_alloc(type, 0)));
    reinterpret_cast<ResamplingObject*>(obj.get())->value = value;
    return obj;
}

const char* const kNumberPointsParams[] = {"number_points"};
const char* const kSamplingDistanceParams[] = {"sampling_distance", "drop_last"};
const Signature kByNumberPoints{"ResamplingMethod", "by_number_points", kNumberPointsParams, 1};
const Signature kBySamplingDistance{"ResamplingMethod", "by_sampling_distance",
                                    kSamplingDistanceParams, 1};
const Signature kNumberPointsNew{"ResamplingMethod_ByNumberPoints", "__new__",
                                 kNumberPointsParams, 1};
const Signature kSamplingDistanceNew{"ResamplingMethod_BySamplingDistance", "__new__",
                                     kSamplingDistanceParams, 2};

// Static methods: self is the defining class and is not used.
PyObject* by_number_points(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return boundary([&] {
        PyObject* slots[1] = {};
        bind(kByNumberPoints, args, nargs, kwnames, slots);
        const auto number_points = arg<std::size_t>(slots[0], "number_points");
        return wrap_resampling_method(ResamplingMethod::by_number_points(number_points));
    });
}

PyObject* by_sampling_distance(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                               PyObject* kwnames) {
    return boundary([&] {
        PyObject* slots[2] = {};
        bind(kBySamplingDistance, args, nargs, kwnames, slots);
        const auto sampling_distance = arg<double>(slots[0], "sampling_distance");
        const bool drop_last = slots[1] ? arg<bool>(slots[1], "drop_last") : true;
        return wrap_resampling_method(
            ResamplingMethod::by_sampling_distance(sampling_distance, drop_last));
    });
}

PyObject* number_points_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
    return boundary([&] {
        PyObject* slots[1] = {};
        bind(kNumberPointsNew, args, kwargs, slots);
        const auto number_points = arg<std::size_t>(slots[0], "number_points");
        return alloc_resampling(type, ResamplingMethod::by_number_points(number_points));
    });
}

PyObject* sampling_distance_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
    return boundary([&] {
        PyObject* slots[2] = {};
        bind(kSamplingDistanceNew, args, kwargs, slots);
        const auto sampling_distance = arg<double>(slots[0], "sampling_distance");
        const bool drop_last = arg<bool>(slots[1], "drop_last");
        return alloc_resampling(type,
                                ResamplingMethod::by_sampling_distance(sampling_distance, drop_last));
    });
}

PyObject* get_number_points(PyObject* self, void*) {
    return boundary([&] { return to_python(resampling_value(self).number_points); });
}

PyObject* get_sampling_distance(PyObject* self, void*) {
    return boundary([&] { return to_python(resampling_value(self).sampling_distance); });
}

PyObject* get_drop_last(PyObject* self, void*) {
    return boundary([&] { return to_python(resampling_value(self).drop_last); });
}

bool same_resampling(const ResamplingMethod& a, const ResamplingMethod& b) {
    if (a.tag != b.tag) {
        return false;
    }
    if (a.tag == ResamplingMethod::Tag::ByNumberPoints) {
        return a.number_points == b.number_points;
    }
    // Compared as doubles: NaN differs from itself, 0.0 equals -0.0.
    return a.sampling_distance == b.sampling_distance && a.drop_last == b.drop_last;
}

PyObject* resampling_richcompare(PyObject* self, PyObject* other, int op) {
    PyTypeObject* base = as_type(g_resampling.get()->base);
    if (!PyObject_TypeCheck(other, base) || !PyObject_TypeCheck(self, base)) {
        return not_implemented();
    }
    const bool equal = same_resampling(resampling_value(self), resampling_value(other));
    switch (op) {
        case Py_EQ:
            return PyBool_FromLong(equal);
        case Py_NE:
            return PyBool_FromLong(!equal);
        default:
            return not_implemented();
    }
}

const char kByNumberPointsDoc[] =
    "by_number_points(number_points)\n--\n\n"
    "by_number_points(number_points)\n"
    "\n"
    "The path will be equidistantly resampled using the given number of points.\n"
    "\n"
    ":param number_points: Number of points\n"
    "\n"
    ":type number_points: int\n"
    "\n"
    ":returns: The resampling method\n"
    ":rtype: ResamplingMethod";

const char kBySamplingDistanceDoc[] =
    "by_sampling_distance(sampling_distance, drop_last=True)\n--\n\n"
    "by_sampling_distance(sampling_distance, drop_last=True)\n"
    "\n"
    "The path will be resampled using the given sampling_distance.\n"
    "The distance between the last and second last point will differ from sampling distance.\n"
    "Setting drop_last=True will omit the last point.\n"
    "\n"
    ":param sampling_distance: Sampling distance\n"
    ":param drop_last: Omits the last point when true.\n"
    "\n"
    ":type sampling_distance: float\n"
    ":type drop_last: bool\n"
    "\n"
    ":returns: The resampling method\n"
    ":rtype: ResamplingMethod";

PyMethodDef resampling_methods[] = {
    {"by_number_points", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(by_number_points)),
     METH_FASTCALL | METH_KEYWORDS | METH_STATIC, kByNumberPointsDoc},
    {"by_sampling_distance",
     reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(by_sampling_distance)),
     METH_FASTCALL | METH_KEYWORDS | METH_STATIC, kBySamplingDistanceDoc},
    // Inherited by both variant classes.
    {"__reduce__", reduce_resampling_method, METH_NOARGS, reduce_doc},
    {nullptr, nullptr, 0, nullptr},
};

PyType_Slot resampling_slots[] = {
    {Py_tp_new, reinterpret_cast<void*>(no_constructor)},
    {Py_tp_dealloc, reinterpret_cast<void*>(value_dealloc)},
    {Py_tp_richcompare, reinterpret_cast<void*>(resampling_richcompare)},
    {Py_tp_methods, resampling_methods},
    {0, nullptr},
};

PyType_Spec resampling_spec = {
    "builtins.ResamplingMethod",
    sizeof(ResamplingObject),
    0,
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE,
    resampling_slots,
};

PyGetSetDef number_points_properties[] = {
    {"number_points", get_number_points, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyGetSetDef sampling_distance_properties[] = {
    {"sampling_distance", get_sampling_distance, nullptr, nullptr, nullptr},
    {"drop_last", get_drop_last, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

// The variant classes carry only their text signatures as documentation.
const char kNumberPointsDoc[] = "ResamplingMethod_ByNumberPoints(number_points)\n--\n\n";
const char kSamplingDistanceDoc[] =
    "ResamplingMethod_BySamplingDistance(sampling_distance, drop_last)\n--\n\n";

PyType_Slot number_points_slots[] = {
    {Py_tp_new, reinterpret_cast<void*>(number_points_new)},
    {Py_tp_dealloc, reinterpret_cast<void*>(value_dealloc)},
    {Py_tp_getset, number_points_properties},
    {Py_tp_doc, const_cast<char*>(kNumberPointsDoc)},
    {0, nullptr},
};

PyType_Slot sampling_distance_slots[] = {
    {Py_tp_new, reinterpret_cast<void*>(sampling_distance_new)},
    {Py_tp_dealloc, reinterpret_cast<void*>(value_dealloc)},
    {Py_tp_getset, sampling_distance_properties},
    {Py_tp_doc, const_cast<char*>(kSamplingDistanceDoc)},
    {0, nullptr},
};

PyType_Spec number_points_spec = {
    "builtins.ResamplingMethod_ByNumberPoints",
    sizeof(ResamplingObject),
    0,
    Py_TPFLAGS_DEFAULT,
    number_points_slots,
};

PyType_Spec sampling_distance_spec = {
    "builtins.ResamplingMethod_BySamplingDistance",
    sizeof(ResamplingObject),
    0,
    Py_TPFLAGS_DEFAULT,
    sampling_distance_slots,
};

void set_class_attribute(const Ref& type, const char* name, const Ref& value) {
    if (PyObject_SetAttrString(type.get(), name, value.get()) < 0) {
        throw PythonError{};
    }
}

Ref make_match_args(std::initializer_list<const char*> names) {
    Ref tuple = ensure(Ref::steal(PyTuple_New(static_cast<Py_ssize_t>(names.size()))));
    Py_ssize_t i = 0;
    for (const char* name : names) {
        PyTuple_SET_ITEM(tuple.get(), i++, ensure(PyUnicode_InternFromString(name)));
    }
    return tuple;
}

ResamplingTypes& resampling_types() {
    if (ResamplingTypes* made = g_resampling.get()) {
        return *made;
    }
    ResamplingTypes types;
    types.base = ensure(Ref::steal(PyType_FromSpec(&resampling_spec)));
    types.by_number_points =
        ensure(Ref::steal(PyType_FromSpecWithBases(&number_points_spec, types.base.get())));
    types.by_sampling_distance =
        ensure(Ref::steal(PyType_FromSpecWithBases(&sampling_distance_spec, types.base.get())));
    set_class_attribute(types.by_number_points, "__match_args__", make_match_args({"number_points"}));
    set_class_attribute(types.by_sampling_distance, "__match_args__",
                        make_match_args({"sampling_distance", "drop_last"}));
    set_class_attribute(types.base, "ByNumberPoints", types.by_number_points);
    set_class_attribute(types.base, "BySamplingDistance", types.by_sampling_distance);
    return *g_resampling.get_or_make([&] { return new ResamplingTypes(std::move(types)); },
                                     [](ResamplingTypes* lost) { delete lost; });
}

// ---- the enumerations ----

struct EnumClass {
    const char* spec_name;        // "builtins." and the class name
    const char* name;
    const char* member_names[2];  // indexed by integer value, registered in this order
    PyCFunction reduce;           // __reduce__: pickle and copy give back the member itself
    // Created with the class, once per process, and never released (see
    // ResamplingTypes).
    struct Created {
        Ref type;
        Ref members[2];
    };
    Once<Created> created;
};

EnumClass g_interpolation{
    "builtins.InterpolationMethod", "InterpolationMethod", {"Cubic", "Linear"},
    reduce_interpolation_method, {}};
EnumClass g_elastic_band{
    "builtins.ElasticBandMethod", "ElasticBandMethod", {"SquareBounds", "OrthogonalBounds"},
    reduce_elastic_band_method, {}};

EnumObject* as_enum(PyObject* obj) {
    return reinterpret_cast<EnumObject*>(obj);
}

template <EnumClass& E>
PyObject* enum_repr(PyObject* self) {
    return PyUnicode_FromFormat("%s.%s", E.name, E.member_names[as_enum(self)->value]);
}

PyObject* enum_int(PyObject* self) {
    return PyLong_FromLong(as_enum(self)->value);
}

template <EnumClass& E>
PyObject* enum_richcompare(PyObject* self, PyObject* other, int op) {
    long long other_value = 0;
    if (PyObject_TypeCheck(other, reinterpret_cast<PyTypeObject*>(E.created.get()->type.get()))) {
        other_value = as_enum(other)->value;
    } else {
        // int, bool and anything with __index__ that fits in 64 signed bits;
        // for everything else the comparison is left to the other side.
        other_value = PyLong_AsLongLong(other);
        if (other_value == -1 && PyErr_Occurred()) {
            PyErr_Clear();
            return not_implemented();
        }
    }
    const bool equal = as_enum(self)->value == other_value;
    switch (op) {
        case Py_EQ:
            return PyBool_FromLong(equal);
        case Py_NE:
            return PyBool_FromLong(!equal);
        default:
            return not_implemented();
    }
}

template <EnumClass& E>
EnumClass::Created& enum_class() {
    if (EnumClass::Created* made = E.created.get()) {
        return *made;
    }
    static PyMethodDef methods[] = {
        {"__reduce__", E.reduce, METH_NOARGS, reduce_doc},
        {nullptr, nullptr, 0, nullptr},
    };
    static PyType_Slot slots[] = {
        {Py_tp_new, reinterpret_cast<void*>(no_constructor)},
        {Py_tp_methods, methods},
        {Py_tp_dealloc, reinterpret_cast<void*>(value_dealloc)},
        {Py_tp_repr, reinterpret_cast<void*>(enum_repr<E>)},
        {Py_nb_int, reinterpret_cast<void*>(enum_int)},
        {Py_tp_richcompare, reinterpret_cast<void*>(enum_richcompare<E>)},
        {0, nullptr},
    };
    static PyType_Spec spec = {E.spec_name, sizeof(EnumObject), 0, Py_TPFLAGS_DEFAULT, slots};
    EnumClass::Created created;
    created.type = ensure(Ref::steal(PyType_FromSpec(&spec)));
    auto* type = reinterpret_cast<PyTypeObject*>(created.type.get());
    for (std::uint8_t value = 0; value < 2; ++value) {
        created.members[value] = ensure(Ref::steal(type->tp_alloc(type, 0)));
        as_enum(created.members[value].get())->value = value;
        set_class_attribute(created.type, E.member_names[value], created.members[value]);
    }
    return *E.created.get_or_make([&] { return new EnumClass::Created(std::move(created)); },
                                  [](EnumClass::Created* lost) { delete lost; });
}

template <EnumClass& E, class T>
T enum_from(PyObject* obj) {
    if (!PyObject_TypeCheck(obj, reinterpret_cast<PyTypeObject*>(enum_class<E>().type.get()))) {
        raise_cannot_convert(obj, E.name);
    }
    return static_cast<T>(as_enum(obj)->value);
}

}  // namespace

PyObject* create_resampling_method_type() {
    return boundary([] { return resampling_types().base; });
}

PyObject* create_interpolation_method_type() {
    return boundary([] { return enum_class<g_interpolation>().type; });
}

PyObject* create_elastic_band_method_type() {
    return boundary([] { return enum_class<g_elastic_band>().type; });
}

Ref interpolation_member(InterpolationMethod value) {
    return enum_class<g_interpolation>().members[static_cast<std::uint8_t>(value)];
}

Ref elastic_band_member(ElasticBandMethod value) {
    return enum_class<g_elastic_band>().members[static_cast<std::uint8_t>(value)];
}

Ref wrap_resampling_method(const ResamplingMethod& value) {
    ResamplingTypes& types = resampling_types();
    const Ref& type = value.tag == ResamplingMethod::Tag::ByNumberPoints
                          ? types.by_number_points
                          : types.by_sampling_distance;
    return alloc_resampling(as_type(type), value);
}

// ---- parameter converters ----

template <>
ResamplingMethod convert<ResamplingMethod>(PyObject* obj) {
    if (!PyObject_TypeCheck(obj, as_type(resampling_types().base))) {
        raise_cannot_convert(obj, "ResamplingMethod");
    }
    return resampling_value(obj);
}

template <>
InterpolationMethod convert<InterpolationMethod>(PyObject* obj) {
    return enum_from<g_interpolation, InterpolationMethod>(obj);
}

template <>
ElasticBandMethod convert<ElasticBandMethod>(PyObject* obj) {
    return enum_from<g_elastic_band, ElasticBandMethod>(obj);
}

}  // namespace wayforge::py
