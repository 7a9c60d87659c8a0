#!/usr/bin/env bash
# Fuzzes the study and kmi-host's bar-file reader: builds the fuzz preset (clang with
# libFuzzer, AddressSanitizer and UndefinedBehaviorSanitizer), checks that fuzz/corpus is
# exactly what the seed writer writes, runs the study's fuzzer for SECONDS (default 180) over
# a copy of fuzz/corpus and fuzz/regressions, then the bar-file fuzzer for SECONDS/2 over a
# copy of fuzz/bar_file_corpus and fuzz/bar_file_regressions. The copies are in a temporary
# folder, so the repository's corpora never grow.
#
#     bash scripts/fuzz.sh [SECONDS]
#
# KMI_FUZZ_BUILD_DIR builds somewhere else than build/fuzz.
#
# A crash, a sanitizer report, a leak, a broken promise (of the study, which the harness
# checks after every call, fuzz/fuzz_harness.cpp; of the reader, fuzz/bar_file_check.cpp) or
# an input slower than 10 seconds fails the script; libFuzzer keeps that input in
# build/fuzz/artifacts/. Once the fault is fixed, the input goes into fuzz/regressions/ or
# fuzz/bar_file_regressions/, which the tests replay.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-180}
bar_file_seconds=$((seconds / 2 > 0 ? seconds / 2 : 1))

build=${KMI_FUZZ_BUILD_DIR:-build/fuzz}
cmake --preset fuzz -B "$build" >/dev/null
cmake --build "$build" -j "$(nproc)" --target kmi_fuzz_study kmi_fuzz_seeds kmi_fuzz_bar_file

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/seeds" "$build/artifacts"
"$build/fuzz/kmi_fuzz_seeds" "$work/seeds"
if ! diff -r fuzz/corpus "$work/seeds" >/dev/null; then
    echo "fuzz/corpus is not what the seed writer writes; regenerate it with:" >&2
    echo "    rm -f fuzz/corpus/* && $build/fuzz/kmi_fuzz_seeds fuzz/corpus" >&2
    exit 1
fi

# fuzz NAME FUZZER SECONDS CORPUS [REGRESSIONS]: runs one fuzzer over a copy of its seeds and
# regression inputs, prints libFuzzer's summary (the last status line: coverage, features,
# corpus; the final statistics: executions, speed, peak memory) and fails on a failure.
fuzz() {
    local name=$1 fuzzer=$2 time=$3 seeds=$4 regressions=${5:-}
    mkdir -p "$work/$name"
    cp "$seeds"/* "$work/$name/"
    if [ -n "$regressions" ] && [ -d "$regressions" ]; then cp "$regressions"/* "$work/$name/" 2>/dev/null || true; fi
    local status=0
    "$fuzzer" "$work/$name" -max_total_time="$time" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix="$build/artifacts/" >"$work/$name.log" 2>&1 || status=$?
    echo "$name fuzzer, $time s:"
    grep -E '^#[0-9]+[[:space:]]+(INITED|DONE)' "$work/$name.log" | tail -n 2 || true
    grep -E '^stat::' "$work/$name.log" || true
    if [ "$status" -ne 0 ]; then
        echo "the $name fuzzer failed (exit status $status):" >&2
        grep -E -A 40 'ERROR|runtime error|promise broken|Test unit written|deadly signal|timeout' "$work/$name.log" |
            head -n 80 >&2 || tail -n 60 "$work/$name.log" >&2
        exit 1
    fi
}

fuzz study "$build/fuzz/kmi_fuzz_study" "$seconds" fuzz/corpus fuzz/regressions
fuzz bar-file "$build/fuzz/kmi_fuzz_bar_file" "$bar_file_seconds" fuzz/bar_file_corpus fuzz/bar_file_regressions
echo "fuzzing passed: $seconds s of the study, $bar_file_seconds s of the bar-file reader; no crash, no sanitizer" \
    "report, no broken promise"
