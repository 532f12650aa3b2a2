// Path2D methods as declarations. Each method states once its name,
// docstring, parameters (name, converter, default), how its receiver is
// borrowed, how its work grows, its core call and, where the plain result
// conversion does not fit, its result conversion. One generic entry, call<M>,
// does the rest in the documented order: bind, check and borrow the receiver,
// convert the arguments one by one in parameter order, run the core call
// (without the interpreter lock when the path is large), convert the result,
// release the borrow.
#pragma once

#include "python/ref.hpp"

#include <array>
#include <cstddef>
#include <optional>
#include <tuple>
#include <type_traits>
#include <utility>

#include "python/binder.hpp"
#include "python/convert.hpp"
#include "python/errors.hpp"
#include "python/gil.hpp"
#include "python/path2d_type.hpp"

namespace wayforge::py {

// How a method's core call runs.
struct Work {
    enum class Kind {
        // Constant time (a lookup, an append): keeps the lock.
        Constant,
        // Grows with the number of points: runs without the lock when its
        // estimated duration is long enough (see worth_unlocking).
        GrowsWithPoints,
        // Grows with the number of points but calls Python objects itself
        // (the elastic band's solver): keeps the lock, and its borrow counts
        // as core work, so a writer on another thread waits while the called
        // code lets it run.
        CallsPython,
    };
    Kind kind;
    // Rough nanoseconds of core work per point, for GrowsWithPoints.
    double ns_per_point = 0.0;
};

inline constexpr Work kConstantWork{Work::Kind::Constant};
inline constexpr Work kCallsPython{Work::Kind::CallsPython};
constexpr Work grows_with_points(double ns_per_point) {
    return {Work::Kind::GrowsWithPoints, ns_per_point};
}

enum class Access { Read, Write };

// One parameter: its name, and its default when it may be omitted. An
// omitted parameter takes the default without conversion.
template <class T>
struct Param {
    using Type = T;
    const char* name;
    std::optional<T> fallback;
};

template <class T>
constexpr Param<T> param(const char* name) {
    return {name, std::nullopt};
}
template <class T>
constexpr Param<T> param(const char* name, T fallback) {
    return {name, std::move(fallback)};
}

template <class T>
concept IsParam = requires { typename T::Type; } && std::is_same_v<T, Param<typename T::Type>>;

// The plain result conversion: a core value to its Python value.
struct ToPython {
    Ref operator()(Path2D&& path) const { return wrap_path(std::move(path)); }
    template <class T>
    Ref operator()(std::optional<T>&& value) const {
        return value ? (*this)(std::move(*value)) : none();
    }
    template <class T>
    Ref operator()(T&& value) const {
        return to_python(std::forward<T>(value));
    }
};

// How a method reaches the object it works on. Path2D methods borrow their
// receiver (see PathBorrow); a receiver policy supplies the class name shown
// in binding messages, the hold it keeps for the call, the record, and the
// record's size for the work estimate. A policy with a `param` name takes its
// receiver from the first argument instead of self (a module function).
struct PathReceiver {
    using Target = Path2D;
    static constexpr const char* cls = "Path2D";
    static constexpr const char* param = nullptr;
    static PathBorrow hold(PyObject* self, Access access) {
        return access == Access::Write ? PathBorrow::exclusive_after_core_work(self)
                                       : PathBorrow::shared(self);
    }
    static Path2D& target(PathBorrow& borrow) { return borrow.path(); }
    static double points(const Path2D& path) { return static_cast<double>(path.size()); }
};

// A module function whose first parameter, `path`, is the path it reads.
struct PathArgument : PathReceiver {
    static constexpr const char* cls = nullptr;
    static constexpr const char* param = "path";
    static PathBorrow hold(PyObject* path, Access access) {
        try {
            return PathReceiver::hold(path, access);
        } catch (const PythonError&) {
            prefix_type_error(param);
            throw;
        }
    }
};

template <class R>
constexpr std::size_t kReceiverParams = R::param != nullptr ? 1 : 0;

template <class R, class Core, class Result, class... P>
struct Method {
    using Receiver = R;
    using Target = typename R::Target;
    const char* name;
    const char* doc;
    Access access;
    Work work;
    Core core;       // core(Target&, converted arguments...) -> core value
    Result result;   // result(core value) -> Ref, with the lock held
    std::tuple<Param<typename P::Type>...> params;
    std::array<const char*, kReceiverParams<R> + sizeof...(P)> names;
    std::size_t required;
    // Run with the lock held after the arguments are converted and before
    // the core call: loads what the core call needs from Python packages.
    void (*prepare)() = nullptr;
    // The number of points the core call handles, when that is not the
    // record's size (the output of a resampling, several channels).
    double (*work_points)(Target&, const std::tuple<typename P::Type...>&) = nullptr;
};

// The method with a preparation step (see Method::prepare).
template <class M>
constexpr M with_prepare(M method, void (*prepare)()) {
    method.prepare = prepare;
    return method;
}

// The method with its own count of the points its work handles (see
// Method::work_points).
template <class M, class Count>
constexpr M with_work_points(M method, Count count) {
    method.work_points = count;
    return method;
}

template <class... P>
constexpr std::size_t count_required(const P&... params) {
    // Parameters with a default follow the required ones.
    std::size_t required = 0;
    bool optional_seen = false;
    ((optional_seen = optional_seen || params.fallback.has_value(),
      required += optional_seen ? 0 : 1), ...);
    return required;
}

template <class R = PathReceiver, class Core, class Result, IsParam... P>
    requires(!IsParam<Result>)
constexpr auto method(const char* name, const char* doc, Access access, Work work, Core core,
                      Result result, P... params) {
    using Names = std::array<const char*, kReceiverParams<R> + sizeof...(P)>;
    Names names{};
    std::size_t i = 0;
    if constexpr (R::param != nullptr) {
        names[i++] = R::param;
    }
    ((names[i++] = params.name), ...);
    return Method<R, Core, Result, P...>{name,   doc,  access,
                                         work,   core, result,
                                         {params...},
                                         names,
                                         kReceiverParams<R> + count_required(params...)};
}

template <class R = PathReceiver, class Core, IsParam... P>
constexpr auto method(const char* name, const char* doc, Access access, Work work, Core core,
                      P... params) {
    return method<R>(name, doc, access, work, core, ToPython{}, params...);
}

// The entry in a type's (or the module's) method table; names and
// docstrings live in the declaration only.
struct MethodEntry {
    const char* name;
    PyObject* (*function)(PyObject*, PyObject* const*, Py_ssize_t, PyObject*);
    const char* doc;
};

namespace detail {

template <class T>
T convert_param(const Param<T>& p, PyObject* slot) {
    if (slot == nullptr) {
        return *p.fallback;
    }
    return arg<T>(slot, p.name);
}

template <const auto& M, std::size_t... I>
PyObject* call(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
               std::index_sequence<I...>) noexcept {
    using R = typename std::remove_cvref_t<decltype(M)>::Receiver;
    constexpr std::size_t skip = kReceiverParams<R>;
    return boundary([&] {
        constexpr std::size_t count = skip + sizeof...(I);
        PyObject* slots[count > 0 ? count : 1] = {};
        const Signature signature{R::cls, M.name, M.names, M.required};
        bind(signature, args, nargs, kwnames, slots);
        auto held = R::hold(skip != 0 ? slots[0] : self, M.access);
        // Braced initialisation converts strictly left to right, so the first
        // failing parameter ends the call before later ones are looked at.
        auto values = std::tuple<typename std::tuple_element_t<I, decltype(M.params)>::Type...>{
            convert_param(std::get<I>(M.params), slots[skip + I])...};
        // From here on no user code runs on a read borrow until it is
        // released (the result conversion may still let other threads run:
        // the first NumPy result imports NumPy), so a writer on another
        // thread may wait for it.
        held.mark_core_work();
        if (M.prepare != nullptr) {
            M.prepare();
        }
        auto& target = R::target(held);
        auto run = [&] { return M.core(target, std::move(std::get<I>(values))...); };
        if constexpr (M.work.kind != Work::Kind::GrowsWithPoints) {
            return M.result(run());
        } else {
            const double points =
                M.work_points != nullptr ? M.work_points(target, values) : R::points(target);
            return M.result(run_unlocked_if(worth_unlocking(M.work.ns_per_point * points), run));
        }
    });
}

}  // namespace detail

template <const auto& M>
PyObject* call(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
               PyObject* kwnames) noexcept {
    return detail::call<M>(self, args, nargs, kwnames,
                           std::make_index_sequence<std::tuple_size_v<decltype(M.params)>>{});
}

template <const auto& M>
constexpr MethodEntry entry() {
    return {M.name, &call<M>, M.doc};
}

// The row of a PyMethodDef table for a declared method or function.
inline PyMethodDef method_def(const MethodEntry& entry) {
    return {entry.name, reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(entry.function)),
            METH_FASTCALL | METH_KEYWORDS, entry.doc};
}

}  // namespace wayforge::py
