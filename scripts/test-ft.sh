#!/usr/bin/env bash
# The tests of scripts/test.sh on a free-threaded CPython 3.13 (3.13t, built
# once by scripts/ft-python.sh) in build/venv-3.13t. Clarabel and some test
# extras have no wheels for it: the package goes in without its dependencies
# and then every dependency that has a wheel there. The C++ core tests, which
# do not depend on the interpreter, are left out. Arguments go to pytest.
set -euo pipefail
cd "$(dirname "$0")/.."

PYTHON="$(scripts/ft-python.sh)"
export PYTHON WAYFORGE_DEPS=wheels WAYFORGE_CPP_TESTS=0
exec scripts/test.sh "$@"
