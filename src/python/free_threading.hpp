// What the module needs where no interpreter lock serialises threads (a
// free-threaded build, 3.13t): per-object critical sections, strong item
// access and process-wide pointers published once. With the lock (3.12,
// 3.13) the critical section does nothing and the rest costs next to nothing.
#pragma once

#include "python/ref.hpp"

#include <atomic>

#if PY_VERSION_HEX < 0x030D0000
// 3.13's strong-reference item access: a new reference, or null with
// IndexError set.
inline PyObject* PyList_GetItemRef(PyObject* list, Py_ssize_t index) {
    return Py_XNewRef(PyList_GetItem(list, index));
}
#endif

namespace wayforge::py {

// Holds the critical section of one object for its lifetime. On a
// free-threaded build another thread that enters one on the same object
// waits (detached) until this one ends; like the interpreter lock, the
// section is let go while this thread is detached (it blocks, or runs core
// work without the lock) and taken back before it goes on. With the
// interpreter lock there is nothing to do: the lock itself serialises.
// Never moved: the thread state links to it while it is active.
class CriticalSection {
public:
#ifdef Py_GIL_DISABLED
    explicit CriticalSection(PyObject* obj) noexcept { PyCriticalSection_Begin(&section_, obj); }
    ~CriticalSection() { PyCriticalSection_End(&section_); }
#else
    explicit CriticalSection(PyObject*) noexcept {}
#endif
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;

private:
#ifdef Py_GIL_DISABLED
    PyCriticalSection section_;
#endif
};

// A process-wide object made on first use and kept until the process ends.
// Making it may run Python code (an import, a class creation), which lets
// other threads in, so no lock is held meanwhile (a lock held across Python
// code can deadlock with the interpreter's stop-the-world pauses): every
// thread that finds it missing makes one, the first to publish wins and the
// others drop theirs. Readers see nothing or the whole object.
template <class T>
class Once {
public:
    T* get() const noexcept { return value_.load(std::memory_order_acquire); }

    // make() returns an owned T* (nullptr on failure, which publishes
    // nothing); drop(T*) disposes of a losing one.
    template <class Make, class Drop>
    T* get_or_make(Make&& make, Drop&& drop) {
        if (T* value = get()) {
            return value;
        }
        T* made = make();
        if (made == nullptr) {
            return nullptr;
        }
        T* expected = nullptr;
        if (value_.compare_exchange_strong(expected, made, std::memory_order_acq_rel,
                                           std::memory_order_acquire)) {
            return made;
        }
        drop(made);
        return expected;
    }

private:
    std::atomic<T*> value_{nullptr};
};

// A Python object made once: make() returns a Ref (empty, with an error
// set, on failure). Returns a borrowed reference, or nullptr on failure.
template <class Make>
PyObject* once_object(Once<PyObject>& once, Make&& make) {
    return once.get_or_make([&] { return make().release(); }, [](PyObject* lost) { Py_DECREF(lost); });
}

}  // namespace wayforge::py
