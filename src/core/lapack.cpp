#include "core/lapack.hpp"

#include <dlfcn.h>

#include <atomic>
#include <mutex>

#include "core/panic.hpp"

namespace wayforge::lapack {

namespace {

constexpr const char* kDgesvd = "scipy_dgesvd_";
constexpr const char* kSetNumThreads = "scipy_openblas_set_num_threads";

// Written once, under the mutex, before the pointer to it is published;
// readers on other threads see it complete through the acquire load.
Functions g_functions{};
std::atomic<const Functions*> g_loaded{nullptr};
std::mutex g_load_mutex;

std::string dl_error() {
    const char* text = dlerror();
    return text != nullptr ? text : "unknown error";
}

}  // namespace

void load(const std::string& path) {
    const std::lock_guard<std::mutex> lock(g_load_mutex);
    if (g_loaded.load(std::memory_order_acquire) != nullptr) {
        return;
    }
    // Local symbols: another OpenBLAS in the process (NumPy's) keeps its own.
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        throw LoadError(dl_error());
    }
    void* dgesvd = dlsym(handle, kDgesvd);
    void* set_num_threads = dlsym(handle, kSetNumThreads);
    if (dgesvd == nullptr || set_num_threads == nullptr) {
        const std::string missing = dgesvd == nullptr ? kDgesvd : kSetNumThreads;
        dlclose(handle);
        throw LoadError(path + " does not define " + missing);
    }
    // The handle stays open for the life of the process.
    g_functions.dgesvd = reinterpret_cast<Dgesvd>(dgesvd);
    g_functions.set_num_threads = reinterpret_cast<SetNumThreads>(set_num_threads);
    g_functions.set_num_threads(1);
    g_loaded.store(&g_functions, std::memory_order_release);
}

bool loaded() noexcept { return g_loaded.load(std::memory_order_acquire) != nullptr; }

const Functions& functions() {
    const Functions* f = g_loaded.load(std::memory_order_acquire);
    check(f != nullptr, "LAPACK has not been loaded before a circle fit");
    return *f;
}

}  // namespace wayforge::lapack
