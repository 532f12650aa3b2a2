// Running core work without the interpreter lock.
//
// Core work that takes long enough runs with the lock released so that other
// Python threads (and other wayforge calls) proceed meanwhile. Releasing and
// taking back the lock costs little on its own, but when another thread is
// waiting for it, taking it back can cost a thread switch; so short calls
// keep the lock. Nothing inside an unlocked scope may touch a Python object.
#pragma once

#include "python/ref.hpp"

#include <utility>

namespace wayforge::py {

// Core work releases the lock when its estimated duration reaches this many
// nanoseconds. Each kind of work states its rough cost per point (measured on
// an x86-64 core; only the order of magnitude matters). When another thread
// waits for the lock, taking it back costs a thread switch, and with two
// threads calling wayforge in a loop the release pays off from about one
// microsecond of core work (benchmarks/bench_threads.py --sizes); the margin
// keeps calls whose conversions outweigh their core work from getting slower.
inline constexpr double kUnlockedMinWorkNs = 3000.0;

// Rough core costs per point of kinds of work used in more than one place.
inline constexpr double kCopyNsPerPoint = 1.0;  // reading a numeric buffer into the columns

// Whether core work of the given estimated duration runs without the lock.
// NaN (an estimate from non-finite inputs) keeps the lock.
constexpr bool worth_unlocking(double estimated_ns) { return estimated_ns >= kUnlockedMinWorkNs; }

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
