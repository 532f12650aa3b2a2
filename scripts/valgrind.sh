#!/usr/bin/env bash
# Runs a representative subset of the Python suite under valgrind's memcheck
# (about 30 times slower than a plain run) against a build of the module with
# debug information. Prints valgrind's error count; fails on any error.
# Extra arguments replace the default selection of test files.
set -euo pipefail
cd "$(dirname "$0")/.."

py="$(scripts/env.sh test)"
bin="$(dirname "$py")"
ver="$("$py" -c 'import sys; print(f"{sys.version_info[0]}.{sys.version_info[1]}")')"
out="$PWD/build/valgrind-$ver"
PATH="$bin:$PATH" cmake -S . -B "$out" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DPython_EXECUTABLE="$py" >/dev/null
PATH="$bin:$PATH" cmake --build "$out" >/dev/null
echo "== wayforge under valgrind on $("$py" --version)"

# Every operation with its argument conversions and error paths, the borrow
# rules, and a short hostile-argument run. The elastic band tests (clarabel's
# solver would dominate the time) and the leak loops are left out.
tests=("$@")
if [ ${#tests[@]} -eq 0 ]; then
    tests=(python/test_path2d.py python/test_repr.py python/test_numpy_output.py
           python/test_associated_values.py python/test_method_values.py python/test_resample.py
           python/test_projection.py python/test_sub_path.py python/test_chaikin.py
           python/test_error_detection.py python/test_circle_fit.py python/test_reentrancy.py
           python/test_fuzz.py)
fi

log="$out/valgrind.log"
# glibc's AVX2 wmemcmp reads whole 32-byte vectors past the end of a string
# (never across a page); this valgrind does not know the routine. CPython
# uses it to compare non-ASCII strings.
supp="$out/glibc.supp"
cat >"$supp" <<'EOF'
{
   glibc-wmemcmp-avx2-vector-overread
   Memcheck:Addr32
   fun:__wmemcmp_avx2_movbe
}
EOF
cd tests
# PYTHONMALLOC=malloc lets memcheck see every Python allocation. Huge
# allocations abort under valgrind (its operator new cannot throw), so the
# tests skip or shrink them as they do under the sanitizer.
status=0
WAYFORGE_SANITIZED=1 WAYFORGE_FUZZ_CALLS="${WAYFORGE_FUZZ_CALLS:-3000}" PYTHONMALLOC=malloc \
PYTHONPATH="$out" valgrind --error-exitcode=99 --errors-for-leak-kinds=none --suppressions="$supp" \
    --log-file="$log" \
    "$py" -m pytest -q -s -p no:cacheprovider "${tests[@]}" || status=$?
errors="$(grep -o 'ERROR SUMMARY: [0-9]*' "$log" | tail -n 1 | grep -o '[0-9]*$' || echo "?")"
echo "== valgrind: $errors errors (log: $log)"
if [ "$errors" != "0" ]; then
    grep -B2 -A25 -m 5 "Invalid\|uninitialised\|Mismatched\|overlap" "$log" || true
    exit 1
fi
exit $status
