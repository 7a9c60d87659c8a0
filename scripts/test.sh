#!/usr/bin/env bash
# Runs every test, in this order:
# - the unit and host tests in a debug build, then the demo's chart page in headless Chromium;
# - the static checks (clang-format, clang-tidy) and the study's line coverage;
# - the tests again under AddressSanitizer and UndefinedBehaviorSanitizer, then under valgrind
#   memcheck, and the study's fuzzer for a bounded time (KMI_FUZZ_SECONDS, default 180);
# - a clang build with warnings as errors;
# - the Windows cross build with the check of its export and import tables and, under Wine,
#   its transcripts compared byte for byte with the Linux build's;
# - every runnable command block of README.md and docs/, and the README's demo command;
# - a build (not a run) of the benchmarks.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
# Every build of this run (Linux and Windows) stamps the last commit's time into its
# diagnostics report, so their transcripts can be compared byte for byte.
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || date +%s)}

jobs=$(nproc)
step() { printf '\n== %s\n' "$*"; }

step "debug build and tests"
cmake --preset debug >/dev/null
cmake --build --preset debug -j "$jobs"
ctest --preset debug -j "$jobs"

step "chart page in headless Chromium"
bash scripts/page-deps.sh
(cd page && KMI_HOST="$PWD/../build/debug/bin/kmi-host" KMI_PAGE_TEST_OUT="$PWD/../build/page-test" node --test test/)

step "static checks"
bash scripts/lint.sh build/debug

step "line coverage of the study"
bash scripts/coverage.sh

step "sanitizer build and tests"
cmake --preset asan >/dev/null
cmake --build --preset asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --preset asan -j "$jobs"

step "valgrind memcheck of the debug tests"
bash scripts/valgrind.sh

step "fuzzing (${KMI_FUZZ_SECONDS:-180} s)"
bash scripts/fuzz.sh "${KMI_FUZZ_SECONDS:-180}"

step "clang build"
cmake --preset clang >/dev/null
cmake --build --preset clang -j "$jobs"

step "Windows cross build"
cmake --preset windows >/dev/null
cmake --build --preset windows -j "$jobs"
bash scripts/check-windows-dll.sh build/windows/bin/KeelwickMarketInternals_64.dll build/windows/bin/kmi-host.exe

step "Windows build under Wine against the Linux build"
bash scripts/wine-compare.sh build/debug/bin build/windows/bin

step "the documentation's runnable commands"
bash scripts/doc-commands.sh

step "the README's demo command"
bash scripts/demo.sh >/dev/null
test -s out/chart.html && test -s out/series.csv

step "benchmarks build (they are run by scripts/bench.sh, never here)"
cmake --preset bench >/dev/null
cmake --build --preset bench -j "$jobs" --target kmi_bench kmi_update_probe

step "all tests passed"
