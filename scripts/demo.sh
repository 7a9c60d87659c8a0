#!/usr/bin/env bash
# Builds the study and our host (release) and runs the demo.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset linux >/dev/null
cmake --build --preset linux
./build/linux/bin/kmi-host demo "$@"
