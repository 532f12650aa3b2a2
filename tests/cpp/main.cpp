#include "check.hpp"
#include "core/lapack.hpp"

int main() {
    // Circle fits need LAPACK, loaded as the module loads it: from the library
    // of scipy-openblas32, whose path CMake found.
    wayforge::lapack::load(WAYFORGE_LAPACK_LIBRARY);
    return check::run_all();
}
