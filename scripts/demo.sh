#!/usr/bin/env bash
# Builds the study and our host (release) and runs kmi-host demo: sample data into out/data,
# then a fast replay of its last day through the study into out/ (series.csv, log.txt, panel.txt).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset linux >/dev/null
cmake --build --preset linux
./build/linux/bin/kmi-host demo "$@"
