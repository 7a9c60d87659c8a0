#!/usr/bin/env bash
# Counts the instructions of one ordinary update under callgrind, so that a regression
# shows without timing noise. For each history length (default: 1000 and 100000 bars) the
# synthetic market is built and fully recalculated, one update is made to warm up, then
# one update is counted: for a new trade on the forming bar, and for one new closed bar.
#   bash scripts/callgrind-update.sh [BARS...]
set -euo pipefail
cd "$(dirname "$0")/.."
if ! command -v valgrind >/dev/null; then
    echo "Please install valgrind (for example: sudo apt-get install valgrind)" >&2
    exit 1
fi
cmake --preset bench >/dev/null
cmake --build --preset bench --target kmi_update_probe >/dev/null
probe=build/bench/bench/kmi_update_probe

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
histories=("$@")
[ ${#histories[@]} -eq 0 ] && histories=(1000 100000)

printf '| history bars | update | instructions |\n|---:|---|---:|\n'
for bars in "${histories[@]}"; do
    for kind in trade bar; do
        valgrind --tool=callgrind --callgrind-out-file="$work/callgrind.out" --collect-atstart=no \
            --toggle-collect=kmi_measured_call "$probe" --history "$bars" --kind "$kind" >"$work/probe.txt" 2>"$work/valgrind.txt" || {
            cat "$work/probe.txt" "$work/valgrind.txt" >&2
            exit 1
        }
        instructions=$(awk '/^summary:/ {print $2}' "$work/callgrind.out")
        label=$([ "$kind" = trade ] && echo "new trade" || echo "new closed bar")
        printf '| %s | %s | %s |\n' "$bars" "$label" "$instructions"
    done
done
