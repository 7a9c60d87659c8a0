# shellcheck shell=bash disable=SC2034  # wine and wineserver are for the sourcing script
# Sourced by the scripts that run the Windows build under Wine (wine-compare.sh, wine-console.sh,
# check-package.sh).
#   find_wine           sets $wine and $wineserver; fails when Wine is not installed
#   use_wine_prefix DIR a throw-away 64-bit prefix in DIR/prefix, quiet, without Mono or Gecko
#   start_wine_work     sets $work, a throw-away folder with such a prefix, which end_wine_work
#                       (run on exit) stops Wine in and removes
# Debian's wine64 package puts its program in Wine's own folder, not on the PATH; its wine
# package adds the wine, wineboot and wineserver commands.

wine_tool() {  # wine_tool NAME... : the first that is on the PATH or in Wine's folder
    local name
    for name in "$@"; do
        command -v "$name" 2>/dev/null && return 0
        [ -x "/usr/lib/wine/$name" ] && { echo "/usr/lib/wine/$name"; return 0; }
    done
    return 1
}

find_wine() {
    wine=$(wine_tool wine64 wine) && wineserver=$(wine_tool wineserver wineserver64)
}

use_wine_prefix() {
    export WINEPREFIX="$1/prefix" WINEDEBUG=-all WINEARCH=win64 WINEDLLOVERRIDES="mscoree,mshtml="
}

start_wine_work() {
    work=$(mktemp -d)
    use_wine_prefix "$work"
    trap end_wine_work EXIT
}

end_wine_work() {
    "$wineserver" -k >/dev/null 2>&1 || true
    rm -rf "$work"
}
