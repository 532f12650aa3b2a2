#!/usr/bin/env bash
# Runs the whole Python suite against a build of the module with
# AddressSanitizer and UndefinedBehaviorSanitizer (recovery off), loaded into
# an ordinary CPython. Extra arguments go to pytest; when they name test files
# under python/ (for example python/test_threads.py), only those run.
set -euo pipefail
cd "$(dirname "$0")/.."

py="$(scripts/env.sh test)"
bin="$(dirname "$py")"
ver="$("$py" -c 'import sys; print(f"{sys.version_info[0]}.{sys.version_info[1]}")')"
out="$PWD/build/asan-$ver"
PATH="$bin:$PATH" cmake -S . -B "$out" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DWAYFORGE_SANITIZE=ON \
    -DPython_EXECUTABLE="$py" >/dev/null
PATH="$bin:$PATH" cmake --build "$out" >/dev/null
echo "== wayforge under ASan + UBSan on $("$py" --version)"

# PYTHONMALLOC=malloc lets ASan see overflows past Python-allocated blocks;
# Python itself leaks at exit, so leak detection stays off here.
cd tests
selection=(python)
for argument in "$@"; do
    case "$argument" in
        python/*) selection=() ;;
    esac
done
# libstdc++ is preloaded too so that ASan can intercept C++ throws.
LD_PRELOAD="$(g++ -print-file-name=libasan.so) $(g++ -print-file-name=libstdc++.so)" \
ASAN_OPTIONS="detect_leaks=0:abort_on_error=1" \
UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1" \
PYTHONMALLOC=malloc WAYFORGE_SANITIZED=1 PYTHONPATH="$out" \
    "$py" -m pytest -q -s -p no:cacheprovider "${selection[@]}" "$@"
