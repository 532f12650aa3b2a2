#!/usr/bin/env bash
# Builds the libFuzzer harnesses of fuzz/ over the C++ core with clang,
# AddressSanitizer and UndefinedBehaviorSanitizer (recovery off), and runs each
# for a while. Not part of `make test`.
#
# Usage: scripts/fuzz.sh [SECONDS] [HARNESS...]
#   SECONDS  run time per harness (default 60)
#   HARNESS  names such as fuzz_chaikin (default: every fuzz/fuzz_*.cpp)
# Environment: CLANGXX picks the compiler (clang 15 or later: the core uses
# std::source_location); JOBS the parallel compile jobs.
#
# Corpora grow in build/fuzz/corpus/<harness>; a failing input is written to
# build/fuzz/artifacts/ and the run stops with its report.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-60}"
[ $# -gt 0 ] && shift
harnesses=("$@")
if [ ${#harnesses[@]} -eq 0 ]; then
    for f in fuzz/fuzz_*.cpp; do
        harnesses+=("$(basename "$f" .cpp)")
    done
fi

cxx="${CLANGXX:-}"
if [ -z "$cxx" ]; then
    for c in clang++-19 clang++-18 clang++-17 clang++-16 clang++-15 clang++; do
        if command -v "$c" >/dev/null 2>&1; then
            cxx="$c"
            break
        fi
    done
fi
if [ -z "$cxx" ]; then
    echo "No clang++ found: apt-get install clang-16 libclang-rt-16-dev (or set CLANGXX)" >&2
    exit 1
fi

# LAPACK comes from scipy-openblas32, loaded at run time as the module loads it.
py="$(scripts/env.sh test)"
lapack="$("$py" -c 'import scipy_openblas32 as s; print(s.get_lib_dir() + "/lib" + s.get_library() + ".so", end="")')"

out="$PWD/build/fuzz"
mkdir -p "$out/obj" "$out/artifacts"
common=(-std=c++20 -O1 -g -fno-omit-frame-pointer -ffp-contract=off -fno-math-errno
        -fsanitize=address,undefined -fno-sanitize-recover=all
        -Wall -Wextra -Wpedantic -Isrc -I. "-DWAYFORGE_LAPACK_LIBRARY=\"$lapack\"")

# The core once, instrumented for coverage but without libFuzzer's main;
# objects are rebuilt when their source or any header is newer.
newest_header="$(ls -t src/*/*.hpp fuzz/*.hpp | head -n 1)"
jobs=0
for src in src/core/*.cpp src/qp/*.cpp; do
    obj="$out/obj/$(echo "$src" | tr / _).o"
    if [ ! -f "$obj" ] || [ "$src" -nt "$obj" ] || [ "$newest_header" -nt "$obj" ]; then
        "$cxx" "${common[@]}" -fsanitize=fuzzer-no-link -c "$src" -o "$obj" &
        jobs=$((jobs + 1))
        if [ "$jobs" -ge "${JOBS:-$(nproc)}" ]; then
            wait -n
            jobs=$((jobs - 1))
        fi
    fi
done
while [ "$jobs" -gt 0 ]; do
    wait -n
    jobs=$((jobs - 1))
done

status=0
summary=()
for h in "${harnesses[@]}"; do
    "$cxx" "${common[@]}" -fsanitize=fuzzer "fuzz/$h.cpp" "$out"/obj/*.o \
        -ldl -o "$out/$h"
    mkdir -p "$out/corpus/$h"
    echo "== $h for ${seconds}s"
    log="$out/$h.log"
    if ! UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1" ASAN_OPTIONS="detect_leaks=1" \
        "$out/$h" -max_total_time="$seconds" -print_final_stats=1 -max_len=4096 -timeout=20 \
        -rss_limit_mb=2048 -artifact_prefix="$out/artifacts/$h-" "$out/corpus/$h" >"$log" 2>&1; then
        status=1
        tail -n 60 "$log"
    fi
    runs="$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo "?")"
    cov="$(grep -o 'cov: [0-9]*' "$log" | tail -1 || true)"
    summary+=("$h: $runs executions, $cov")
done

echo "== summary"
printf '%s\n' "${summary[@]}"
exit $status
