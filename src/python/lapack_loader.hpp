// Loads LAPACK for circle fitting on first need, from the package
// scipy-openblas32, with the interpreter lock held.
#pragma once

namespace wayforge::py {

// Makes sure LAPACK is loaded before a circle fit runs. The first call asks
// scipy_openblas32 where its library is and loads it (set to one thread);
// later calls return at once. A missing or broken package raises ImportError
// naming scipy-openblas32, with the original error as its cause, and a later
// call tries again. Needs the interpreter lock.
void ensure_lapack();

}  // namespace wayforge::py
