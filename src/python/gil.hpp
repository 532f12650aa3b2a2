// Running core work without the interpreter lock.
//
// Core work over a large path runs with the lock released so that other
// Python threads (and other wayforge calls) proceed meanwhile. Releasing and
// taking back the lock costs little on its own, but when another thread is
// waiting for it, taking it back can cost a thread switch; so small calls
// keep the lock. Nothing inside an unlocked scope may touch a Python object.
#pragma once

#include "python/ref.hpp"

#include <cstddef>
#include <utility>

namespace wayforge::py {

// Paths of fewer points keep the lock for their core work: below this the
// work takes a few microseconds, about what a contended hand-over of the lock
// costs (measured with benchmarks/bench_threads.py).
inline constexpr std::size_t kUnlockedMinPoints = 4096;
// Construction copies a numeric buffer into the coordinate lists, about a
// nanosecond per point: it keeps the lock up to 16 times as many points.
inline constexpr std::size_t kUnlockedMinConstructionPoints = 16 * kUnlockedMinPoints;

// Releases the interpreter lock for its lifetime; the destructor takes it
// back, also while an exception unwinds, so that the exception boundary
// always runs with the lock held.
class UnlockedScope {
public:
    UnlockedScope() noexcept : state_(PyEval_SaveThread()) {}
    ~UnlockedScope() { PyEval_RestoreThread(state_); }
    UnlockedScope(const UnlockedScope&) = delete;
    UnlockedScope& operator=(const UnlockedScope&) = delete;

private:
    PyThreadState* state_;
};

// Runs work() with the lock released when unlock is true, else holding it,
// and returns its result once the lock is held again.
template <class F>
decltype(auto) run_unlocked_if(bool unlock, F&& work) {
    if (!unlock) {
        return std::forward<F>(work)();
    }
    UnlockedScope scope;
    return std::forward<F>(work)();
}

}  // namespace wayforge::py
