#!/usr/bin/env bash
# Runs every test, in this order:
# - the unit and host tests in a debug build (with the chart page's npm packages installed
#   first, which kmi-host embeds), then the demo's chart page in headless Chromium;
# - the static checks (clang-format, clang-tidy) and the study's line coverage;
# - the tests again under AddressSanitizer and UndefinedBehaviorSanitizer; the study library
#   with instances called on several threads at once under ThreadSanitizer; the tests under
#   valgrind memcheck, and the study's fuzzer for a bounded time (KMI_FUZZ_SECONDS, default 120);
# - a clang build with warnings as errors, and a GCC release build of every target with
#   warnings as errors;
# - the Windows cross build with the check of its export and import tables and, under Wine,
#   its transcripts compared byte for byte with the Linux build's and its output read back
#   from a console of its own;
# - the release archive, written twice alike, unpacked and its demo run under Wine;
# - every runnable command block of README.md and docs/, and the README's demo command;
# - a build (not a run) of the benchmarks.
# Nothing is skipped: a stage whose tool is missing fails.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
# Every build of this run (Linux and Windows) stamps the last commit's time into its
# diagnostics report, so their transcripts can be compared byte for byte.
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || date +%s)}

jobs=$(nproc)
started=$SECONDS
step() { printf '\n== %s (at %d s)\n' "$*" "$((SECONDS - started))"; }
# Runs a test preset; a skipped test fails the run like a failed one, since a skip hides
# the regression the test exists for.
run_tests() {  # run_tests PRESET [CTEST ARGUMENTS...]
    local log
    log=$(mktemp)
    ctest --preset "$@" | tee "$log"
    if grep -q '(Skipped)' "$log"; then
        echo "FAIL: tests were skipped (above)" >&2
        rm -f "$log"
        return 1
    fi
    rm -f "$log"
}

step "debug build and tests"
bash scripts/page-deps.sh
cmake --preset debug >/dev/null
cmake --build --preset debug -j "$jobs"
run_tests debug -j "$jobs"

step "chart page in headless Chromium"
(cd page && KMI_HOST="$PWD/../build/debug/bin/kmi-host" KMI_PAGE_TEST_OUT="$PWD/../build/page-test" node --test test/)

step "static checks"
bash scripts/lint.sh build/debug

step "line coverage of the study"
bash scripts/coverage.sh

step "sanitizer build and tests"
cmake --preset asan >/dev/null
cmake --build --preset asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 run_tests asan -j "$jobs"

step "thread sanitizer: instances of the study library on several threads"
cmake --preset tsan >/dev/null
cmake --build --preset tsan -j "$jobs"
run_tests tsan

step "valgrind memcheck of the debug tests"
bash scripts/valgrind.sh

step "fuzzing (${KMI_FUZZ_SECONDS:-120} s)"
bash scripts/fuzz.sh "${KMI_FUZZ_SECONDS:-120}"

step "clang build"
cmake --preset clang >/dev/null
cmake --build --preset clang -j "$jobs"

step "release build of every target with warnings as errors"
cmake --preset linux >/dev/null
cmake --build --preset linux -j "$jobs"

step "Windows cross build"
cmake --preset windows >/dev/null
cmake --build --preset windows -j "$jobs"
bash scripts/check-windows-dll.sh build/windows/bin/KeelwickMarketInternals_64.dll build/windows/bin/kmi-host.exe

step "Windows build under Wine against the Linux build"
bash scripts/wine-compare.sh build/debug/bin build/windows/bin
bash scripts/wine-console.sh build/windows/bin

step "the release archive: written twice alike, unpacked into an empty folder, its demo run under Wine"
archive=$(bash scripts/package.sh)
cp "$archive" "$archive.first"
bash scripts/package.sh >/dev/null
cmp "$archive.first" "$archive" || { echo "FAIL: two runs of scripts/package.sh wrote different archives" >&2; exit 1; }
rm -f "$archive.first"
bash scripts/check-package.sh "$archive" build/debug/bin/kmi-host

step "the documentation's runnable commands"
bash scripts/doc-commands.sh

step "the README's demo command"
bash scripts/demo.sh >/dev/null
test -s out/chart.html && test -s out/series.csv

step "benchmarks build (they are run by scripts/bench.sh, never here)"
cmake --preset bench >/dev/null
cmake --build --preset bench -j "$jobs" --target kmi_bench kmi_update_probe kmi_bar_file_bench kmi_bar_file_memory \
    kmi_replay_bench kmi_output_bench

step "all tests passed"
