#!/usr/bin/env bash
# The thread tests under ThreadSanitizer: the module built with
# -fsanitize=thread (WAYFORGE_TSAN) and loaded into the free-threaded CPython
# that scripts/ft-python.sh --tsan builds with ThreadSanitizer (once), from a
# venv in build/venv-3.13t-tsan. The first report ends the run with exit code
# 66. By default python/test_threads.py and python/test_hammer.py run; extra
# arguments go to pytest, and when they name test files under python/, only
# those run.
set -euo pipefail
cd "$(dirname "$0")/.."

base="$(scripts/ft-python.sh --tsan)"
prefix="$(dirname "$(dirname "$base")")"
# CPython's own suppressions, for the interpreter's known races; we add none.
# NumPy and OpenBLAS come as ordinary wheels and are not instrumented, so
# ThreadSanitizer sees only the calls of theirs it intercepts (malloc, memcpy,
# pthread); the runs here need no suppression for them either.
suppressions="$prefix/share/tsan/suppressions_free_threading.txt"
[ -f "$suppressions" ] || { echo "tsan.sh: $suppressions is missing" >&2; exit 1; }
export TSAN_OPTIONS="suppressions=$suppressions:halt_on_error=1${TSAN_OPTIONS:+:$TSAN_OPTIONS}"

venv="build/venv-3.13t-tsan"
py="$PWD/$venv/bin/python"
# Everything is slow under the sanitizer (pip too), so the venv is made and
# filled once: wheels only, the requirements recorded beside it.
requirements="numpy pytest hypothesis threadpoolctl scipy-openblas32 cmake ninja"
if [ ! -x "$py" ] || [ "$(cat "$venv/.requirements" 2>/dev/null)" != "$requirements" ]; then
    echo "== making $venv (slow under ThreadSanitizer)" >&2
    [ -x "$py" ] || "$base" -m venv "$venv"
    # pip's notes about index locations configured on this machine are noise here.
    "$py" -m pip install -q --disable-pip-version-check --only-binary :all: $requirements \
        2> >(grep -v '^WARNING: Location' >&2)
    echo "$requirements" >"$venv/.requirements"
fi

out="build/tsan"
PATH="$PWD/$venv/bin:$PATH" cmake -S . -B "$out" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DWAYFORGE_TSAN=ON -DPython_EXECUTABLE="$py" >/dev/null
PATH="$PWD/$venv/bin:$PATH" cmake --build "$out" >/dev/null
echo "== wayforge under ThreadSanitizer on $("$py" --version) ($("$py" -c 'import sys; print("GIL enabled" if sys._is_gil_enabled() else "no GIL")'))"

cd tests
selection=(python/test_threads.py python/test_hammer.py)
for argument in "$@"; do
    case "$argument" in
        python/*) selection=() ;;
    esac
done
start=$SECONDS
# -s: pytest would otherwise swallow a report written to stderr.
PYTHONPATH="$PWD/../$out" "$py" -m pytest -q -s -p no:cacheprovider "${selection[@]}" "$@"
echo "== no ThreadSanitizer report; the tests took $((SECONDS - start)) s"
