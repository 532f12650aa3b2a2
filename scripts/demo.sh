#!/usr/bin/env bash
# Installs wayforge with the demo extras and runs the tour of the module.
set -euo pipefail
cd "$(dirname "$0")/.."
py="$(scripts/env.sh demo)"
"$py" examples/demo.py "$@"
