#!/usr/bin/env bash
# Runs every command of the documentation's runnable code blocks, so the docs cannot rot. A
# block is runnable when its fence reads ```sh runnable in README.md or a file of docs/. The
# commands run from the repository's root with the debug build's bin/ first on the PATH, each
# block in one shell that stops at the first failing command. They write under out/doc-check,
# except README.md's Windows block, which builds the windows preset into build/windows.
set -euo pipefail
cd "$(dirname "$0")/.."
export PATH="$PWD/build/debug/bin:$PATH"
rm -rf out/doc-check

blocks=0
for doc in README.md docs/*.md; do
    script=$(mktemp)
    awk -v doc="$doc" '
        /^```sh runnable[[:space:]]*$/ { inside = 1; n++; printf "echo \"== %s, runnable block %d\"\n", doc, n; next }
        /^```/ && inside { inside = 0; next }
        inside { print }
    ' "$doc" > "$script"
    if [ -s "$script" ]; then
        count=$(grep -c '^echo "== ' "$script")
        blocks=$((blocks + count))
        bash -euo pipefail "$script"
    fi
    rm -f "$script"
done
echo "ok: $blocks runnable documentation blocks ran"
