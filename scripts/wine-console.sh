#!/usr/bin/env bash
# Runs the Windows build under Wine in a console of its own, as a trader types a command at a
# prompt (nothing redirected), and reads back what the console shows: a folder named with an
# accent, in Cyrillic and in CJK must show as it is written in kmi-host.exe's output on stdout,
# its complaints on stderr and the command line's complaints. scripts/console-screen.c gives
# the console (a pseudo console, which needs no display) and reads its screen. A missing tool
# (Wine, the mingw-w64 C compiler) fails the check.
#
# Usage: wine-console.sh [WINDOWS_BIN_DIR]   (default: build/windows/bin)
set -euo pipefail
cd "$(dirname "$0")/.."
windows_bin=${1:-build/windows/bin}
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

source scripts/wine-env.sh
find_wine || fail "Wine is not installed, so the Windows build's console cannot be checked (install Debian's wine and wine64)"
command -v x86_64-w64-mingw32-gcc >/dev/null 2>&1 ||
    fail "x86_64-w64-mingw32-gcc not found, so scripts/console-screen.c cannot be built (scripts/install-deps.sh installs it)"
[ -f "$windows_bin/kmi-host.exe" ] || fail "no $windows_bin/kmi-host.exe (cmake --build --preset windows builds it)"

start_wine_work
# Wine reads the Unix side's names in the locale's encoding: UTF-8, as a Linux system's.
export LANG=C.UTF-8
"$wine" wineboot -i >/dev/null 2>&1 || true
x86_64-w64-mingw32-gcc -municode -O2 scripts/console-screen.c -o "$work/console-screen.exe" ||
    fail "scripts/console-screen.c does not build"
cp "$windows_bin/kmi-host.exe" "$work/"

folder='Données\Котировки\数据'
mkdir -p "$work/${folder//\\//}"
printf 'datetime,open,high,low,close,volume\n2024-03-08 14:30:00,10,11,9,10,5\n2024-03-08 14:31:00,10,11,9,10,5\n' \
    >"$work/${folder//\\//}/ES.csv"

shown() {  # shown NAME EXIT_CODE LINE ARGUMENTS...: kmi-host.exe ARGUMENTS exits so and its console shows LINE
    local name=$1 expected=$2 line=$3 code=0
    shift 3
    (cd "$work" && timeout 180 "$wine" console-screen.exe "$name.screen" kmi-host.exe "$@" \
        </dev/null >"$name.out" 2>&1) || code=$?
    [ "$code" = "$expected" ] ||
        fail "$name: kmi-host.exe $* in a console exited $code, not $expected (240 and up: no console): $(cat "$work/$name.out")"
    grep -qxF -- "$line" "$work/$name.screen" ||
        fail "$name: the console does not show \"$line\"; it shows:"$'\n'"$(cat "$work/$name.screen")"
    echo "ok: $name"
}
shown "inspect's report on stdout" 0 "$folder\\ES.csv: 2 bars" inspect "$folder\\ES.csv"
shown "a complaint on stderr" 1 "kmi-host: inspect $folder\\NO.csv: no file $folder\\NO.csv" inspect "$folder\\NO.csv"
shown "the command line's complaint" 109 "The following argument was not expected: Котировки" synth --out "$folder" Котировки
echo "ok: kmi-host.exe in a console of its own shows names in three scripts as they are written"
