// LAPACK, loaded at run time from a shared library rather than linked: the
// OpenBLAS packaged by scipy-openblas32 (its symbols carry the scipy_ prefix)
// starts a thread per CPU when it is loaded, and a link-time dependency would
// do that at import and tie the module to another package's directory.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>

namespace wayforge::lapack {

// dgesvd with 32-bit integers and the gfortran calling convention: the two
// character arguments are followed by their hidden lengths at the end.
using Dgesvd = void (*)(const char* jobu, const char* jobvt, const int* m, const int* n, double* a,
                        const int* lda, double* s, double* u, const int* ldu, double* vt,
                        const int* ldvt, double* work, const int* lwork, int* info,
                        std::size_t jobu_length, std::size_t jobvt_length);
using SetNumThreads = void (*)(int threads);

struct Functions {
    Dgesvd dgesvd;
    SetNumThreads set_num_threads;
};

// The library could not be loaded or lacks a routine; what() says why.
class LoadError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Loads the library at `path` (with local symbols, every symbol resolved
// now), looks up dgesvd and the thread-count setter, and sets the library to
// one thread: the fits decompose n x 3 matrices, which gain nothing from BLAS
// threads. Once one load has succeeded, later calls do nothing. A failed load
// leaves nothing loaded and throws LoadError. Safe to call from any thread.
void load(const std::string& path);

// Whether a load has succeeded. Safe to call from any thread.
bool loaded() noexcept;

// The loaded routines; an internal error when nothing has been loaded.
const Functions& functions();

}  // namespace wayforge::lapack
