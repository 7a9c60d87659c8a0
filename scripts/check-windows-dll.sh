#!/usr/bin/env bash
# Checks the Windows DLL: exactly the three undecorated exports, and imports only from
# Windows system DLLs (the C and C++ runtimes are linked in). Both files, the DLL and a
# program given second, must carry the version resource of the build's version (read back
# from the file with windres) and no symbols (release builds are stripped); the program must
# carry its manifest with the UTF-8 code page.
set -euo pipefail
# Usage: check-windows-dll.sh KeelwickMarketInternals_64.dll [kmi-host.exe]
dll=${1:?usage: check-windows-dll.sh KeelwickMarketInternals_64.dll [kmi-host.exe]}
program=${2:-}
objdump=x86_64-w64-mingw32-objdump
command -v "$objdump" >/dev/null || objdump=objdump
windres=x86_64-w64-mingw32-windres
command -v "$windres" >/dev/null || { echo "FAIL: $windres not found (binutils-mingw-w64-x86-64)" >&2; exit 1; }
# The version the files carry: KMI_VERSION_TEXT when given (an archive's), else that of the build
# the DLL was built in (1.1.0, or past the release 1.1.0+5.g1a2b3c4: cmake/build-version.cmake).
version=${KMI_VERSION_TEXT:-$(sed -n 's/^KMI_VERSION_TEXT:INTERNAL=//p' "$(dirname "$dll")/../CMakeCache.txt")}
[ -n "$version" ] || { echo "FAIL: no version for $dll: set KMI_VERSION_TEXT" >&2; exit 1; }
release=${version%%+*}
since=0
[ "$release" = "$version" ] || since=$(sed -E 's/^[^+]*\+([0-9]+)\..*/\1/' <<<"$version")

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

allowed='^(kernel32|msvcrt|user32|advapi32|ntdll|ucrtbase|shell32|ws2_32|mswsock|api-ms-win-[a-z0-9-]+)\.dll$'
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
# The version resource, as Windows shows it in the file's properties, and no symbols.
check_resources() {  # FILE
    local resources numbers key
    resources=$("$windres" -i "$1" -O rc 2>/dev/null) || { echo "FAIL: $1 has no resources" >&2; exit 1; }
    numbers=$(tr '.' ',' <<<"$release" | sed 's/,/, /g')
    for key in "FILEVERSION $numbers, $since" "PRODUCTVERSION $numbers, $since" "VALUE \"FileVersion\", \"$version\"" \
        "VALUE \"ProductVersion\", \"$version\"" "VALUE \"ProductName\", \"Keelwick Market Internals\"" \
        "VALUE \"OriginalFilename\", \"$(basename "$1")\"" "VALUE \"LegalCopyright\", \"Copyright" \
        "VALUE \"FileDescription\", \""; do
        grep -qF -- "$key" <<<"$resources" || { echo "FAIL: $1's version resource lacks: $key" >&2; exit 1; }
    done
    if ! "$objdump" -t "$1" | grep -q '^no symbols'; then
        echo "FAIL: $1 carries symbols: release builds are stripped" >&2
        exit 1
    fi
    echo "ok: $1 carries the version resource of $version and no symbols"
}
echo "ok: $dll exports exactly $expected"
check_imports "$dll" "$table"
check_resources "$dll"
if [ -n "$program" ]; then
    check_imports "$program" "$("$objdump" -p "$program")"
    check_resources "$program"
    "$windres" -i "$program" -O rc | grep -q 'activeCodePage.*UTF-8' ||
        { echo "FAIL: $program lacks its manifest with the UTF-8 code page" >&2; exit 1; }
fi
