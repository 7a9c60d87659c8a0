#!/usr/bin/env bash
# Builds the study and our host (release) and runs kmi-host demo: sample data into out/data,
# then a fast replay of its last day through the study into out/ (series.csv, log.txt, panel.txt,
# and chart.html, the chart page, which embeds the charting library installed into page/).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/page-deps.sh || echo "Without page/node_modules the chart page says that its charting library is missing." >&2
cmake --preset linux >/dev/null
cmake --build --preset linux --target kmi-host kmi_study_shared
./build/linux/bin/kmi-host demo "$@"
