#!/usr/bin/env bash
# Installs wayforge with the bench extra (NumPy, SciPy, Shapely, threadpoolctl;
# cvxpy as well when it installs) into build/venv-X.Y and runs the benchmarks
# of benchmarks/run.py. Arguments go to run.py (for example --quick, or
# --only chaikin). The table is also kept in build/bench-latest.md.
set -euo pipefail
cd "$(dirname "$0")/.."

py="$(scripts/env.sh bench)"
# cvxpy is a peer of the elastic band only; without it that row is left out.
"$py" -m pip install -q --disable-pip-version-check cvxpy 2> >(grep -v '^WARNING: Location' >&2) \
    || echo "cvxpy did not install; its comparison is skipped" >&2

# OPENBLAS_CORETYPE and OPENBLAS_L2_SIZE, when set on a machine, pin OpenBLAS
# to a slower kernel; they are cleared together for the benchmark run only,
# and run.py prints the kernel each BLAS library chose.
env -u OPENBLAS_CORETYPE -u OPENBLAS_L2_SIZE "$py" benchmarks/run.py "$@" | tee build/bench-latest.md
