#!/usr/bin/env bash
# Static checks: clang-format (the tree must already be formatted) and clang-tidy with the
# checks of .clang-tidy on the study, our host, the benchmarks and the fuzzer. Any finding
# fails. Uses the compile commands of the debug build (built first by the test script). The
# sources of others in third_party/ keep their own style and are not checked.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/debug}

files=$(git ls-files '*.cpp' '*.h' ':!:third_party/*')
# shellcheck disable=SC2086
clang-format-14 --dry-run --Werror $files
echo "ok: clang-format finds nothing to change"

sources=$(git ls-files 'study/*.cpp' 'host/*.cpp' 'settings/*.cpp' 'sources/*.cpp' 'metrics/*.cpp' 'panel/*.cpp' \
    'kmi_host/*.cpp' | sed "s|^|$PWD/|")
# shellcheck disable=SC2086
run-clang-tidy-14 -p "$build" -quiet $sources > "$build/clang-tidy.log" 2>&1 || {
    grep -E "(warning|error):" "$build/clang-tidy.log" | sed 's/\x1b\[[0-9;]*m//g' >&2
    echo "FAIL: clang-tidy findings (full log in $build/clang-tidy.log)" >&2
    exit 1
}
echo "ok: clang-tidy finds nothing"
