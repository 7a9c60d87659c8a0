#!/usr/bin/env bash
# Fuzzes the study: builds the fuzz preset (clang with libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer), checks that fuzz/corpus is exactly what the seed writer
# writes, and runs the fuzzer for SECONDS (default 180) over a copy of the seed corpus and
# the regression inputs in a temporary folder, so the repository's corpus never grows.
#
#     bash scripts/fuzz.sh [SECONDS]
#
# KMI_FUZZ_BUILD_DIR builds somewhere else than build/fuzz.
#
# A crash, a sanitizer report, a leak, a broken promise of the study (the harness checks
# them after every call, fuzz/fuzz_harness.cpp) or an input slower than 10 seconds fails
# the script; libFuzzer keeps that input in build/fuzz/artifacts/. Once the study is fixed,
# the input goes into fuzz/regressions/, which the tests replay.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-180}

build=${KMI_FUZZ_BUILD_DIR:-build/fuzz}
cmake --preset fuzz -B "$build" >/dev/null
cmake --build "$build" -j "$(nproc)" --target kmi_fuzz_study kmi_fuzz_seeds
fuzzer=$build/fuzz/kmi_fuzz_study

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/seeds" "$work/corpus" "$build/artifacts"
"$build/fuzz/kmi_fuzz_seeds" "$work/seeds"
if ! diff -r fuzz/corpus "$work/seeds" >/dev/null; then
    echo "fuzz/corpus is not what the seed writer writes; regenerate it with:" >&2
    echo "    rm -f fuzz/corpus/* && $build/fuzz/kmi_fuzz_seeds fuzz/corpus" >&2
    exit 1
fi
cp fuzz/corpus/* "$work/corpus/"
if [ -d fuzz/regressions ]; then cp fuzz/regressions/* "$work/corpus/" 2>/dev/null || true; fi

status=0
"$fuzzer" "$work/corpus" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$build/artifacts/" >"$work/log" 2>&1 || status=$?

# libFuzzer's own summary: the last status line (coverage, features, corpus) and the final
# statistics (executions, speed, peak memory).
grep -E '^#[0-9]+[[:space:]]+(INITED|DONE)' "$work/log" | tail -n 2 || true
grep -E '^stat::' "$work/log" || true
if [ "$status" -ne 0 ]; then
    echo "the fuzzer failed (exit status $status):" >&2
    grep -E -A 40 'ERROR|runtime error|promise broken|Test unit written|deadly signal|timeout' "$work/log" | head -n 80 >&2 || \
        tail -n 60 "$work/log" >&2
    exit 1
fi
echo "fuzzing passed: $seconds s, no crash, no sanitizer report, no broken promise"
