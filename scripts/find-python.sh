#!/usr/bin/env bash
# Prints the path of a Python interpreter of version 3.12 or later.
# $PYTHON wins when set; then the interpreters on PATH; then pyenv's versions.
set -euo pipefail

ok() {
    "$1" -c 'import sys; sys.exit(0 if sys.version_info >= (3, 12) else 1)' 2>/dev/null
}

if [ -n "${PYTHON:-}" ]; then
    if ok "$PYTHON"; then
        command -v "$PYTHON"
        exit 0
    fi
    echo "PYTHON=$PYTHON is not a Python of version 3.12 or later" >&2
    exit 1
fi

for name in python3 python3.13 python3.12; do
    if command -v "$name" >/dev/null 2>&1 && ok "$(command -v "$name")"; then
        command -v "$name"
        exit 0
    fi
done

roots=()
command -v pyenv >/dev/null 2>&1 && roots+=("$(pyenv root)")
roots+=("${PYENV_ROOT:-$HOME/.pyenv}")
for root in "${roots[@]}"; do
    for candidate in $(ls -d "$root"/versions/3.1[2-9]* "$root"/versions/3.[2-9][0-9]* 2>/dev/null | sort -rV); do
        if [ -x "$candidate/bin/python3" ] && ok "$candidate/bin/python3"; then
            echo "$candidate/bin/python3"
            exit 0
        fi
    done
done

echo "No Python 3.12 or later found; set PYTHON to one" >&2
exit 1
