#!/usr/bin/env bash
# Creates (or reuses) build/venv-X.Y for the chosen Python, installs the build
# tools, the package with the given extras, and prints the venv's python.
# Usage: scripts/env.sh EXTRAS   (for example "test" or "demo,test")
# With WAYFORGE_DEPS=wheels (for interpreters that lack wheels of some
# dependencies, such as a free-threaded one) the package is installed without
# its dependencies, and then each dependency and extra that has a wheel for
# this interpreter; the others are reported and left out.
set -euo pipefail
cd "$(dirname "$0")/.."

extras="${1:-test}"
base="$(scripts/find-python.sh)"
# A free-threaded interpreter gets venv-3.13t, one built with ThreadSanitizer venv-3.13t-tsan.
ver="$("$base" -c 'import sys, sysconfig
tsan = "--with-thread-sanitizer" in (sysconfig.get_config_var("CONFIG_ARGS") or "")
print(f"{sys.version_info[0]}.{sys.version_info[1]}{sys.abiflags}" + "-tsan" * tsan)')"
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
if [ "${WAYFORGE_DEPS:-all}" = wheels ]; then
    quiet "$py" -m pip install -q --disable-pip-version-check --no-build-isolation --no-deps \
        -Cbuild-dir="build/skbuild-$ver" . >&2
    "$py" -c 'import sys, tomllib
project = tomllib.load(open("pyproject.toml", "rb"))["project"]
extras = [r for e in sys.argv[1].split(",") for r in project["optional-dependencies"][e]]
print("\n".join(dict.fromkeys(project["dependencies"] + extras)))' "$extras" |
    while read -r requirement; do
        if ! out="$("$py" -m pip install -q --disable-pip-version-check --only-binary :all: \
                "$requirement" 2>&1)"; then
            case "$out" in
                *"No matching distribution"* | *ResolutionImpossible*)
                    echo "env.sh: $requirement (or a dependency) has no wheels for Python $ver here: left out" >&2 ;;
                *) echo "$out" >&2; exit 1 ;;
            esac
        fi
    done
else
    quiet "$py" -m pip install -q --disable-pip-version-check --no-build-isolation \
        -Cbuild-dir="build/skbuild-$ver" ".[$extras]" >&2
fi
echo "$py"
