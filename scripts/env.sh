#!/usr/bin/env bash
# Creates (or reuses) build/venv-X.Y for the chosen Python, installs the build
# tools, the package with the given extras, and prints the venv's python.
# Usage: scripts/env.sh EXTRAS   (for example "test" or "demo,test")
set -euo pipefail
cd "$(dirname "$0")/.."

extras="${1:-test}"
base="$(scripts/find-python.sh)"
ver="$("$base" -c 'import sys; print(f"{sys.version_info[0]}.{sys.version_info[1]}")')"
venv="build/venv-$ver"

if [ ! -x "$venv/bin/python" ]; then
    "$base" -m venv "$venv" >&2
fi
py="$PWD/$venv/bin/python"
# pip's notes about index locations configured on this machine are noise here.
quiet() { "$@" 2> >(grep -v '^WARNING: Location' >&2); }
quiet "$py" -m pip install -q --disable-pip-version-check --upgrade pip >&2
quiet "$py" -m pip install -q --disable-pip-version-check \
    "scikit-build-core>=0.11" "scipy-openblas32>=0.3.27" cmake ninja >&2
quiet "$py" -m pip install -q --disable-pip-version-check --no-build-isolation \
    -Cbuild-dir="build/skbuild-$ver" ".[$extras]" >&2
echo "$py"
