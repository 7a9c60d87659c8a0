#!/usr/bin/env bash
# Runs the Windows build under Wine and compares it with the Linux build byte for byte: every
# scenario of the test suite through kmi-host.exe with KeelwickMarketInternals_64.dll (loaded
# with LoadLibrary, texts on the real process heap) against kmi-host with the Linux library,
# then sample data and a fast replay of it, and replays of real bar files and of files across
# daylight-saving changes, which exercise each build's time zones, and the table of every zone of
# the tz database with its offset changes from 1990 to 2030 (kmi-zone-table, built beside
# kmi-host). Any difference fails, and so does a machine without Wine: the check is never skipped
# (scripts/install-deps.sh installs Wine).
#
# Usage: wine-compare.sh [LINUX_BIN_DIR] [WINDOWS_BIN_DIR]   (defaults: build/debug/bin, build/windows/bin)
set -euo pipefail
cd "$(dirname "$0")/.."
linux_bin=${1:-build/debug/bin}
windows_bin=${2:-build/windows/bin}

source scripts/wine-env.sh
find_wine || {
    echo "FAIL: Wine is not installed, so the Windows build cannot be checked (install Debian's wine and wine64)" >&2
    exit 1
}

work=$(mktemp -d)
use_wine_prefix "$work"
servers=()  # the page servers started below, stopped whatever happens
cleanup() {
    [ ${#servers[@]} -eq 0 ] || kill "${servers[@]}" 2>/dev/null || true
    end_wine_work
}
trap cleanup EXIT
# One throw-away prefix for the whole run: its first start takes a few seconds.
"$wine" wineboot -i >/dev/null 2>&1 || true

linux_host="$linux_bin/kmi-host"
windows_host="$windows_bin/kmi-host.exe"
failures=0
compare() {  # compare NAME LINUX_FILE WINDOWS_FILE
    if cmp -s "$2" "$3"; then
        echo "same: $1"
    else
        echo "DIFFERENT: $1" >&2
        diff <(head -c 200000 "$2") <(head -c 200000 "$3") | head -20 >&2 || true
        failures=$((failures + 1))
    fi
}

count=0
for scenario in tests/scenarios/*.scenario.json tests/golden/host/study_*.scenario.json; do
    [ -e "$scenario" ] || continue
    name=$(basename "$scenario" .scenario.json)
    "$linux_host" run "$scenario" --transcript "$work/$name.linux.jsonl"
    # The Windows build is given the scenario by its absolute path: a path that begins with "/"
    # is a path there too, not an option.
    "$wine" "$windows_host" run "$PWD/$scenario" --study "$windows_bin/KeelwickMarketInternals_64.dll" \
        --transcript "$work/$name.windows.jsonl"
    compare "scenario $name" "$work/$name.linux.jsonl" "$work/$name.windows.jsonl"
    count=$((count + 1))
done

# Sample data, then a fast replay of its last day with the panel, series and log files.
"$linux_host" synth --out "$work/linux/data" --days 3 >/dev/null
"$wine" "$windows_host" synth --out "$work/windows/data" --days 3 >/dev/null
for file in "$work"/linux/data/*.csv; do
    compare "sample data $(basename "$file")" "$file" "$work/windows/data/$(basename "$file")"
done
last_day=$(tail -n 1 "$work/linux/data/ESZ26.CME.csv" | cut -c1-10)
"$linux_host" replay --data "$work/linux/data" --chart ESZ26.CME --from "$last_day" --fast --no-color \
    --out "$work/linux/out" >/dev/null
"$wine" "$windows_host" replay --data "$work/linux/data" --chart ESZ26.CME --from "$last_day" --fast --no-color \
    --out "$work/windows/out" --study "$windows_bin/KeelwickMarketInternals_64.dll" >/dev/null
for file in series.csv days.csv panel.txt log.txt chart.html; do
    compare "replay $file" "$work/linux/out/$file" "$work/windows/out/$file"
done

# The chart page's server: the same replay with --serve, which then goes on serving its final
# page; each build's answers to /panel.txt and /series.csv, read over a plain socket, are the
# same bytes. Each server takes a free port and prints its address.
serve_url() {  # serve_url OUTPUT_FILE: the address a server printed, once it has
    local tries
    for tries in $(seq 1 240); do
        grep -o 'http://127\.0\.0\.1:[0-9]*/' "$1" 2>/dev/null | head -n 1 && return 0
        sleep 0.5
    done
    echo "FAIL: no server started (its output: $(cat "$1"))" >&2
    return 1
}
http_get() {  # http_get URL PATH: the body of GET PATH
    local rest=${1#http://} port
    port=${rest#*:}
    port=${port%/}
    exec 3<>"/dev/tcp/127.0.0.1/$port"
    printf 'GET %s HTTP/1.0\r\n\r\n' "$2" >&3
    sed '1,/^\r$/d' <&3
    exec 3<&-
}
"$linux_host" replay --data "$work/linux/data" --chart ESZ26.CME --from "$last_day" --fast --no-color \
    --serve 127.0.0.1:0 >"$work/linux/serve.txt" 2>&1 &
servers+=($!)
"$wine" "$windows_host" replay --data "$work/linux/data" --chart ESZ26.CME --from "$last_day" --fast --no-color \
    --serve 127.0.0.1:0 --study "$windows_bin/KeelwickMarketInternals_64.dll" >"$work/windows/serve.txt" 2>&1 &
servers+=($!)
linux_url=$(serve_url "$work/linux/serve.txt")
windows_url=$(serve_url "$work/windows/serve.txt")
# Each answers its final page once its replay has ended.
for output in "$work/linux/serve.txt" "$work/windows/serve.txt"; do
    for tries in $(seq 1 240); do
        grep -q 'Serving the final page' "$output" && break
        sleep 0.5
    done
done
for file in panel.txt series.csv; do
    http_get "$linux_url" "/$file" >"$work/linux/served-$file"
    http_get "$windows_url" "/$file" >"$work/windows/served-$file"
    compare "served $file" "$work/linux/served-$file" "$work/windows/served-$file"
    compare "served $file against replay --out" "$work/linux/out/$file" "$work/windows/served-$file"
done
kill "${servers[@]}" 2>/dev/null || true
wait "${servers[@]}" 2>/dev/null || true
servers=()

# Real data read as recorded, where the time zones do their work: a UTC futures file with its
# front month picked (the chart and the ES slot) and a New York file (the NQ slot); then a UTC
# file across the spring-forward weekend of 2024 read into a New York chart and a naive New
# York file across the autumn change read into a UTC chart.
real_data_replay() {  # real_data_replay NAME ARGUMENTS...
    local name=$1
    shift
    "$linux_host" replay "$@" --fast --no-color --out "$work/linux/$name" >/dev/null
    "$wine" "$windows_host" replay "$@" --fast --no-color --out "$work/windows/$name" \
        --study "$windows_bin/KeelwickMarketInternals_64.dll" >/dev/null
    for file in series.csv days.csv panel.txt log.txt chart.html; do
        compare "$name $file" "$work/linux/$name/$file" "$work/windows/$name/$file"
    done
}
es=tests/data/ES_2013-10-07_UTC.csv
real_data_replay utc-futures --chart "$es#ES201312" --source "es=$es#ES201312" \
    --source nq=tests/data/SPY_2013-10-07_ET.csv
mkdir -p "$work/dst"
{
    echo "datetime_utc,open,high,low,close,volume"
    for day in 2024-03-08 2024-03-11; do
        for minute in $(seq 0 179); do
            printf '%s %02d:%02d:00,%d,%d,%d,%d,%d\n' "$day" $((13 + minute / 60)) $((minute % 60)) \
                $((5000 + minute)) $((5002 + minute)) $((4999 + minute)) $((5001 + minute)) $((100 + minute))
        done
    done
} >"$work/dst/ES.csv"
real_data_replay spring-forward --chart "$work/dst/ES.csv" --source "es=$work/dst/ES.csv"
{
    echo "datetime,open,high,low,close,volume"
    for hour in 00 01 01 02 03; do
        for minute in 00 15 30 45; do
            printf '2024-11-03 %s:%s:00,10,11,9,10,5\n' "$hour" "$minute"
        done
    done
} >"$work/dst/NY.csv"
real_data_replay fall-back --chart "$work/dst/NY.csv" --time-zone UTC --data-time-zone America/New_York

# Traders' own shapes, where each build's file reading and zones do their work: a headerless
# semicolon export in UTC stamped at the bars' ends (no extension), an NQ file saved by a
# spreadsheet as UTF-16 "Unicode text" in Chicago time with AM/PM and CRLF, and a real
# end-stamped file newest first.
mkdir -p "$work/own"
for minute in $(seq 1 120); do
    printf '20250707 %02d%02d00;%d.25;%d.5;%d;%d.75;%d\n' $((13 + (30 + minute) / 60)) $(((30 + minute) % 60)) \
        $((6250 + minute)) $((6251 + minute)) $((6249 + minute)) $((6250 + minute)) $((100 + minute))
done >"$work/own/ES"
{
    printf 'Date\tTime\tOpen\tHigh\tLow\tClose\tVolume\r\n'
    for minute in $(seq 0 119); do
        hour=$((8 + (30 + minute) / 60))
        printf '7/7/2025\t%d:%02d:00 AM\t%d\t%d\t%d\t%d\t%d\r\n' "$hour" $(((30 + minute) % 60)) \
            $((22500 + minute)) $((22504 + minute)) $((22498 + minute)) $((22502 + minute)) $((50 + minute))
    done
} | iconv -f UTF-8 -t UTF-16 >"$work/own/NQ.txt"
real_data_replay own-shapes --chart "$work/own/ES" --source "es=$work/own/ES" --source "nq=$work/own/NQ.txt" \
    --data-time-zone nq=America/Chicago
real_data_replay end-stamped --chart tests/data/SPY_2019-02-13_15_ET_descending.csv --bar-stamps end

# Every zone of the tz database that both builds compile in, by each of its names, with every
# change of its offset from 1990 to 2030 and the wall-clock times at it, as each build converts
# them.
"$linux_bin/kmi-zone-table" "$work/zones.linux.txt"
"$wine" "$windows_bin/kmi-zone-table.exe" "$work/zones.windows.txt"
compare "zone table ($(head -n 1 "$work/zones.linux.txt"))" "$work/zones.linux.txt" "$work/zones.windows.txt"

if [ "$failures" -ne 0 ]; then
    echo "FAIL: $failures difference(s) between the Linux and Windows builds" >&2
    exit 1
fi
echo "ok: $count scenarios, sample data, its replay, its served page's files, replays of real and daylight-saving" \
    "data and the table of every zone's offset changes are byte for byte the same on Linux and under Wine"
