#!/usr/bin/env bash
# Line coverage of the study's own code (study/, host/, settings/, sources/, metrics/, panel/)
# by the test suite, with gcov and gcovr. Prints the table and fails under 90 % of the lines.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
cmake --preset coverage >/dev/null
cmake --build --preset coverage -j "$jobs" --target kmi_tests
find build/coverage -name '*.gcda' -delete
# The kmi-host program's own suites start processes and cover the host, not the study.
# (gcov's notes about profiles written twice go to the log, not the screen)
./build/coverage/tests/kmi_tests --gtest_brief=1 --gtest_filter='-KmiHost*' >build/coverage/tests.log 2>&1 || {
    tail -n 40 build/coverage/tests.log >&2
    exit 1
}
gcovr --root . build/coverage \
    --filter 'study/' --filter 'host/' --filter 'settings/' --filter 'sources/' --filter 'metrics/' --filter 'panel/' \
    --exclude-unreachable-branches --print-summary --fail-under-line 90 --txt build/coverage/coverage.txt
cat build/coverage/coverage.txt
