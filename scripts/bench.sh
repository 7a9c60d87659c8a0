#!/usr/bin/env bash
# Builds the benchmarks (release, preset `bench`) and runs them: the rebuild against a
# plain read of the source arrays, ordinary updates against the history length, the
# recompute peer, heap blocks per call and per bar, kmi-host's reading of bar files
# against a plain pass over the same bytes, and kmi-host's replay of a year of bars against
# reading its files. Each benchmark is repeated five
# times and the summary at the end takes the medians. Further arguments go to Google
# Benchmark, for example --benchmark_filter=update or --benchmark_repetitions=9. Last, the
# peak memory a read of a 1 000 000-row bar file adds, against its bars' size (the script
# fails when it is above 1.5 times), and the peak a replay of it with --out adds (above 8
# times fails). Instructions of one ordinary update: scripts/callgrind-update.sh.
# The tests never run this (scripts/test.sh only builds it).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset bench >/dev/null
cmake --build --preset bench --target kmi_bench kmi_update_probe kmi_bar_file_bench kmi_bar_file_memory \
    kmi_replay_bench kmi_output_bench
./build/bench/bench/kmi_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true "$@"
# Reading bar files, against a plain pass over the same bytes.
./build/bench/bench/kmi_bar_file_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true "$@"
# Replaying a year of bars, every bar live and the last ten days live, against reading its files.
./build/bench/bench/kmi_replay_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true "$@"
# Writing the outputs of a year's replay, in bytes per second.
./build/bench/bench/kmi_output_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true "$@"
# The peak memory reading a 1 000 000-row bar file adds, against the bars' size.
bar_file_dir=$(mktemp -d)
trap 'rm -rf "$bar_file_dir"' EXIT
./build/bench/bench/kmi_bar_file_memory write "$bar_file_dir/bars.csv" 1000000
./build/bench/bench/kmi_bar_file_memory read "$bar_file_dir/bars.csv"
# The peak memory replaying it as a chart with --out adds, against the bars' size.
./build/bench/bench/kmi_bar_file_memory replay "$bar_file_dir/bars.csv"
