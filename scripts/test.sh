#!/usr/bin/env bash
# Builds and runs every test: the C++ core tests, then the Python suite.
set -euo pipefail
cd "$(dirname "$0")/.."

py="$(scripts/env.sh test)"
bin="$(dirname "$py")"
ver="$("$py" -c 'import sys; print(f"{sys.version_info[0]}.{sys.version_info[1]}")')"
echo "== wayforge tests on $("$py" --version)"

cpp="build/cpp-$ver"
PATH="$bin:$PATH" cmake -S . -B "$cpp" -G Ninja -DWAYFORGE_MODULE=OFF -DWAYFORGE_TESTS=ON \
    -DPython_EXECUTABLE="$py" >/dev/null
PATH="$bin:$PATH" cmake --build "$cpp" >/dev/null
"$cpp/wayforge_core_tests"

# The installed type stubs against the installed module; mypy's cache goes under build/.
mkdir -p "build/stubtest-$ver"
(cd "build/stubtest-$ver" && "$py" -m mypy.stubtest wayforge)

cd tests
"$py" -m pytest -q -p no:cacheprovider python "$@"
