#!/usr/bin/env bash
# Checks the Windows DLL: exactly the three undecorated exports, and imports only from
# Windows system DLLs (the C and C++ runtimes are linked in).
set -euo pipefail
# Usage: check-windows-dll.sh KeelwickMarketInternals_64.dll [kmi-host.exe]
# A program given second is checked for its imports only.
dll=${1:?usage: check-windows-dll.sh KeelwickMarketInternals_64.dll [kmi-host.exe]}
program=${2:-}
objdump=x86_64-w64-mingw32-objdump
command -v "$objdump" >/dev/null || objdump=objdump

table=$("$objdump" -p "$dll")
if ! grep -q 'file format pei-x86-64' <<<"$table"; then
    echo "FAIL: $dll is not a 64-bit Windows (PE32+) file" >&2
    exit 1
fi
exports=$(printf '%s\n' "$table" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | tail -n +2 | grep -oE '\] [^ ]+$' | cut -c3- | sort | tr '\n' ' ')
expected="scdll_DLLName scdll_DLLVersion scsf_KeelwickMarketInternals "
if [ "$exports" != "$expected" ]; then
    echo "FAIL: $dll exports [$exports], expected [$expected]" >&2
    exit 1
fi

allowed='^(kernel32|msvcrt|user32|advapi32|ntdll|ucrtbase|shell32|ws2_32|api-ms-win-[a-z0-9-]+)\.dll$'
check_imports() {  # FILE TABLE
    local imports bad
    imports=$(printf '%s\n' "$2" | awk '/DLL Name:/ {print tolower($3)}' | sort -u)
    bad=$(printf '%s\n' "$imports" | grep -v -E "$allowed" || true)
    if [ -n "$bad" ]; then
        echo "FAIL: $1 imports non-system DLLs: $bad" >&2
        exit 1
    fi
    echo "ok: $1 imports only $(printf '%s' "$imports" | tr '\n' ' ')"
}
echo "ok: $dll exports exactly $expected"
check_imports "$dll" "$table"
if [ -n "$program" ]; then
    check_imports "$program" "$("$objdump" -p "$program")"
fi
