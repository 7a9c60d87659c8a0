#!/usr/bin/env bash
# Installs the chart page's npm packages (page/package-lock.json: the charting library that
# kmi-host embeds in chart.html, and playwright-core for the browser test) with npm ci, when
# page/node_modules is missing or older than the lock file. Exits non-zero without npm.
set -euo pipefail
cd "$(dirname "$0")/../page"
if [ -f node_modules/.package-lock.json ] && [ node_modules/.package-lock.json -nt package-lock.json ]; then
    exit 0
fi
if ! command -v npm >/dev/null 2>&1; then
    echo "npm not found: the chart page's packages (page/package.json) cannot be installed" >&2
    exit 1
fi
npm ci --no-audit --no-fund --loglevel=error
