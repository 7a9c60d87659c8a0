#!/usr/bin/env bash
# Builds the benchmarks (release, preset `bench`) and runs them: the rebuild against a
# plain read of the source arrays, ordinary updates against the history length, the
# recompute peer, heap blocks per call and per bar, and kmi-host's reading of bar files
# against a plain pass over the same bytes. Each benchmark is repeated five
# times and the summary at the end takes the medians. Further arguments go to Google
# Benchmark, for example --benchmark_filter=update or --benchmark_repetitions=9.
# The tests never run this (scripts/test.sh only builds it).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset bench >/dev/null
cmake --build --preset bench --target kmi_bench kmi_update_probe kmi_bar_file_bench
./build/bench/bench/kmi_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true "$@"
# Reading bar files, against a plain pass over the same bytes.
./build/bench/bench/kmi_bar_file_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true "$@"
