#!/usr/bin/env bash
# Checks the Windows DLL: exactly the three undecorated exports, and imports only from
# Windows system DLLs (the C and C++ runtimes are linked in).
set -euo pipefail
dll=${1:?usage: check-windows-dll.sh KeelwickMarketInternals_64.dll}
objdump=x86_64-w64-mingw32-objdump
command -v "$objdump" >/dev/null || objdump=objdump

table=$("$objdump" -p "$dll")
exports=$(printf '%s\n' "$table" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | tail -n +2 | grep -oE '\] [^ ]+$' | cut -c3- | sort | tr '\n' ' ')
expected="scdll_DLLName scdll_DLLVersion scsf_KeelwickMarketInternals "
if [ "$exports" != "$expected" ]; then
    echo "FAIL: $dll exports [$exports], expected [$expected]" >&2
    exit 1
fi

imports=$(printf '%s\n' "$table" | awk '/DLL Name:/ {print tolower($3)}' | sort -u)
allowed='^(kernel32|msvcrt|user32|advapi32|ntdll|ucrtbase|api-ms-win-[a-z0-9-]+)\.dll$'
bad=$(printf '%s\n' "$imports" | grep -v -E "$allowed" || true)
if [ -n "$bad" ]; then
    echo "FAIL: $dll imports non-system DLLs: $bad" >&2
    exit 1
fi
echo "ok: $dll exports exactly $expected; imports $(printf '%s' "$imports" | tr '\n' ' ')"
