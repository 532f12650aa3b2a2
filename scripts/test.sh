#!/usr/bin/env bash
# Builds and runs every test: the C++ core tests, then the Python suite.
# WAYFORGE_CPP_TESTS=0 leaves out the C++ core tests (they do not depend on
# the interpreter); the environment of scripts/env.sh applies.
set -euo pipefail
cd "$(dirname "$0")/.."

py="$(scripts/env.sh test)"
bin="$(dirname "$py")"
ver="$("$py" -c 'import sys; print(f"{sys.version_info[0]}.{sys.version_info[1]}{sys.abiflags}")')"
echo "== wayforge tests on $("$py" --version)"

if [ "${WAYFORGE_CPP_TESTS:-1}" != 0 ]; then
    cpp="build/cpp-$ver"
    PATH="$bin:$PATH" cmake -S . -B "$cpp" -G Ninja -DWAYFORGE_MODULE=OFF -DWAYFORGE_TESTS=ON \
        -DPython_EXECUTABLE="$py" >/dev/null
    PATH="$bin:$PATH" cmake --build "$cpp" >/dev/null
    "$cpp/wayforge_core_tests"
fi
# On a free-threaded interpreter: whether importing the module turned the GIL on.
"$py" -c 'import sys, sysconfig, wayforge
if sysconfig.get_config_var("Py_GIL_DISABLED"):
    print("== sys._is_gil_enabled() after import wayforge:", sys._is_gil_enabled())'

# The installed type stubs against the installed module; mypy's cache goes under build/.
# mypy is a test dependency, so only WAYFORGE_DEPS=wheels can leave it out.
if "$py" -c 'import mypy' 2>/dev/null; then
    mkdir -p "build/stubtest-$ver"
    (cd "build/stubtest-$ver" && "$py" -m mypy.stubtest wayforge)
else
    echo "== mypy is not installed: stubtest left out"
fi

cd tests
"$py" -m pytest -q -p no:cacheprovider python "$@"
