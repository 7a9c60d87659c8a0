#!/usr/bin/env bash
# Checks a release archive (scripts/package.sh) as a trader uses it:
# - its own SHA-256, published beside it, holds;
# - unpacked into an empty folder named in three scripts, its SHA256SUMS holds for exactly its
#   files, every file is named in INSTALL.txt or THIRD_PARTY_NOTICES.md, its text files have
#   Windows line ends, and the DLL and the program pass scripts/check-windows-dll.sh (exports,
#   imports, version resource, stripped) and carry no link time;
# - one version everywhere: the archive's name, kmi-host.exe --version, CHANGELOG.md, INSTALL.txt
#   and README.md; the notices name the versions of the packages the archive was built from;
# - under Wine, from the unpacked folder with nothing of the build tree on any path, kmi-host.exe
#   demo writes the chart page with uPlot and its notice and every file byte for byte as the
#   Linux kmi-host's demo does; demo --out démo2 and INSTALL.txt's walk-through with the sample
#   files (into a folder named in Cyrillic and CJK) work, the walk-through's files as Linux's;
#   and started in a console of its own (a double-click), the program shows its guide.
# A missing tool (unzip, sha256sum, Wine, the mingw-w64 compiler) fails the check.
#
# Usage: check-package.sh dist/KeelwickMarketInternals-VERSION-win64.zip LINUX_KMI_HOST
set -euo pipefail
cd "$(dirname "$0")/.."
usage="usage: check-package.sh dist/KeelwickMarketInternals-VERSION-win64.zip LINUX_KMI_HOST"
archive=$(realpath "${1:?$usage}")
linux_host=$(realpath "${2:?$usage}")
fail() {
    echo "FAIL: $*" >&2
    exit 1
}
for tool in unzip sha256sum dpkg-query; do
    command -v "$tool" >/dev/null 2>&1 || fail "$tool not found (scripts/install-deps.sh installs it)"
done
source scripts/wine-env.sh
find_wine ||
    fail "Wine is not installed, so the archive cannot be run (install Debian's wine and wine64)"

name=$(basename "$archive" .zip)
version=${name#KeelwickMarketInternals-}
version=${version%-win64}
[ "$name" = "KeelwickMarketInternals-$version-win64" ] && [ -n "$version" ] ||
    fail "$archive is not named KeelwickMarketInternals-VERSION-win64.zip"

start_wine_work

# The archive's own checksum, published beside it, holds.
[ -f "$archive.sha256" ] || fail "no $(basename "$archive").sha256 beside the archive"
(cd "$(dirname "$archive")" && sha256sum --check --strict --quiet "$(basename "$archive").sha256") ||
    fail "$(basename "$archive").sha256 does not hold for the archive"
echo "ok: the archive's SHA-256 beside it holds"

# Unpacked into an empty folder named in three scripts (a trader's Downloads folder may be
# named in any): one folder of the archive's name.
unpacked="$work/Téléchargements Загрузки 下载"
mkdir "$unpacked"
unzip -q "$archive" -d "$unpacked"
[ "$(ls -A "$unpacked")" = "$name" ] || fail "the archive does not hold exactly one folder $name/"
root=$unpacked/$name
files=$(cd "$root" && find . -type f | sed 's|^\./||' | LC_ALL=C sort)

# The checksums hold, for exactly the archive's other files.
(cd "$root" && tr -d '\r' < SHA256SUMS | sha256sum --check --strict --quiet) || fail "SHA256SUMS does not hold"
[ "$(tr -d '\r' < "$root/SHA256SUMS" | cut -c67- | LC_ALL=C sort)" = "$(grep -vx SHA256SUMS <<<"$files")" ] ||
    fail "SHA256SUMS does not list exactly the archive's files"
echo "ok: SHA256SUMS holds for every file of the archive"

# Text files have Windows line ends: every line of them ends in CR LF.
for file in $(cd "$root" && echo INSTALL.txt SHA256SUMS CHANGELOG.md THIRD_PARTY_NOTICES.md docs/*.md samples/*.csv); do
    [ "$(grep -c $'\r$' "$root/$file")" = "$(wc -l < "$root/$file")" ] || fail "$file has lines without Windows line ends"
done
echo "ok: the text files have Windows line ends"

# Every file is named, by its path in the folder, in INSTALL.txt or the notices.
while IFS= read -r file; do
    grep -qF -- "$file" "$root/INSTALL.txt" "$root/THIRD_PARTY_NOTICES.md" ||
        fail "$file is named neither in INSTALL.txt nor in THIRD_PARTY_NOTICES.md"
done <<<"$files"
echo "ok: INSTALL.txt and THIRD_PARTY_NOTICES.md name all $(wc -l <<<"$files") files"

# The DLL's exports and imports, the version resource of both files, stripped, and the
# program's manifest.
KMI_VERSION_TEXT=$version bash scripts/check-windows-dll.sh "$root/KeelwickMarketInternals_64.dll" "$root/kmi-host.exe" >/dev/null ||
    fail "the archive's DLL or program fails scripts/check-windows-dll.sh"

# No link time in the PE headers (the COFF header's time stamp, 8 bytes after the PE signature).
for file in KeelwickMarketInternals_64.dll kmi-host.exe; do
    pe=$(od -An -tu4 -j60 -N4 "$root/$file" | tr -d ' ')
    [ "$(od -An -tu4 -j$((pe + 8)) -N4 "$root/$file" | tr -d ' ')" = 0 ] ||
        fail "$file carries a link time: two builds of one commit would differ"
done

# One version everywhere. A build past the release (1.1.0+5.g1a2b3c4) is of that release's
# changelog section, and README.md names the release's archive.
release=${version%%+*}
tr -d '\r' < "$root/CHANGELOG.md" | grep -qxF "## $release" || fail "CHANGELOG.md has no section ## $release"
! grep -q "^### For study developers" "$root/CHANGELOG.md" || fail "CHANGELOG.md holds the developers' part"
grep -qF "Keelwick Market Internals $version" "$root/INSTALL.txt" || fail "INSTALL.txt does not name $version"
# Both prompts' forms: PowerShell runs a program of the current folder only as .\kmi-host.exe.
grep -qF 'Command Prompt:   kmi-host.exe demo' "$root/INSTALL.txt" && grep -qF 'PowerShell:       .\kmi-host.exe demo' "$root/INSTALL.txt" ||
    fail "INSTALL.txt does not give the demo in both prompts' forms"
grep -qF "KeelwickMarketInternals-$release-win64.zip" README.md ||
    fail "README.md does not name the archive of version $release, KeelwickMarketInternals-$release-win64.zip"
# The notices name the upstream versions the archive was built from (a Debian revision or
# point update of the same upstream version does not change the licence texts).
for package in nlohmann-json3-dev libcli11-dev libboost1.74-dev g++-mingw-w64-x86-64-posix \
    gcc-mingw-w64-x86-64-posix mingw-w64-x86-64-dev mingw-w64-common libz-mingw-w64-dev; do
    installed=$(dpkg-query -W -f='${Version}' "$package") || fail "$package is not installed"
    upstream=$(sed -E 's/^[0-9]+://; s/^([0-9][0-9.]*).*/\1/' <<<"$installed")
    named=$(grep -F "\`$package\`" "$root/THIRD_PARTY_NOTICES.md" || true)
    grep -qF " $upstream" <<<"$named" ||
        fail "THIRD_PARTY_NOTICES.md does not name $package $upstream ($installed), which the archive was built with"
done
uplot_version=$(head -c 200 "$root/uplot/uPlot.iife.min.js" | grep -oE '\(v[0-9.]+\)' | tr -d '(v)')
grep -qF "uPlot](#uplot) | $uplot_version" "$root/THIRD_PARTY_NOTICES.md" ||
    fail "THIRD_PARTY_NOTICES.md does not name uPlot $uplot_version"
echo "ok: version $version in the archive's name, CHANGELOG.md, INSTALL.txt and README.md; the notices name what was built"

# kmi-host.exe from the unpacked folder under Wine, with only the system's folders on the PATH.
# Wine reads the Unix side's names in the locale's encoding: UTF-8, as a Linux system's.
clean_env=(env -i "HOME=$work" "PATH=/usr/bin:/bin" "LANG=C.UTF-8" "WINEPREFIX=$WINEPREFIX" "WINEDEBUG=$WINEDEBUG"
    "WINEARCH=$WINEARCH" "WINEDLLOVERRIDES=$WINEDLLOVERRIDES")
"${clean_env[@]}" "$wine" wineboot -i >/dev/null 2>&1 || true
shown=$(cd "$root" && "${clean_env[@]}" "$wine" kmi-host.exe --version | tr -d '\r')
[ "$shown" = "kmi-host $version" ] || fail "kmi-host.exe --version prints \"$shown\", not \"kmi-host $version\""
(cd "$root" && "${clean_env[@]}" "$wine" kmi-host.exe demo > "$work/demo.stdout" 2> "$work/demo.stderr") ||
    fail "kmi-host.exe demo failed: $(cat "$work/demo.stderr")"
# Each file's line of how it was read is no complaint; any other note is.
! grep 'kmi-host:' "$work/demo.stderr" | grep -qv ': [0-9][0-9]* bars\{0,1\} of ' ||
    fail "kmi-host.exe demo complained: $(cat "$work/demo.stderr")"
page=$root/out/chart.html
[ -s "$page" ] || fail "kmi-host.exe demo wrote no chart.html"
! grep -q 'id="missing-library"' "$page" || fail "chart.html says that its charting library is missing"
copyright=$(grep -m1 '^Copyright' "$root/uplot/LICENSE")
[ "$(grep -cF -- "$copyright" "$page")" = 2 ] || fail "chart.html lacks uPlot's notice beside its style sheet and script"
mkdir "$work/linux"
(cd "$work/linux" && "$linux_host" demo >/dev/null) || fail "the Linux kmi-host demo failed"
diff -r "$work/linux/out" "$root/out" >/dev/null || fail "kmi-host.exe demo's files differ from the Linux kmi-host's: $(diff -rq "$work/linux/out" "$root/out" | head -5)"
echo "ok: kmi-host.exe demo from the unpacked archive under Wine wrote chart.html with uPlot and its notice, and $(cd "$root/out" && find . -type f | wc -l) files byte for byte as on Linux"

# Names in any script, in arguments and in output: the demo into a folder with an accent, and
# INSTALL.txt's own-data walk-through with the samples, into a folder named in Cyrillic and CJK,
# its files as the Linux kmi-host writes them from the same samples.
(cd "$root" && "${clean_env[@]}" "$wine" kmi-host.exe demo --out démo2 > "$work/demo2.stdout" 2>&1) ||
    fail "kmi-host.exe demo --out démo2 failed: $(cat "$work/demo2.stdout")"
grep -qF 'Wrote 9 files to démo2\data' "$work/demo2.stdout" && [ -s "$root/démo2/chart.html" ] ||
    fail "kmi-host.exe demo --out démo2 did not write démo2\\chart.html: $(ls "$root")"
walk=(replay --chart 'samples\ES.csv' --source 'es=samples\ES.csv' --source 'nq=samples\NQ.csv' --from 2026-10-14 --fast
    --no-color --out 'мои 結果')
(cd "$root" && "${clean_env[@]}" "$wine" kmi-host.exe "${walk[@]}" > "$work/walk.stdout" 2> "$work/walk.stderr") ||
    fail "the walk-through's replay failed: $(cat "$work/walk.stderr")"
grep -qF 'kmi-host: samples\ES.csv: its times carry no zone' "$work/walk.stderr" ||
    fail "the walk-through's note on samples\\ES.csv is not as INSTALL.txt shows it: $(cat "$work/walk.stderr")"
grep -qF 'Written: мои 結果\series.csv' "$work/walk.stdout" || fail "the walk-through does not name мои 結果 in UTF-8"
mkdir "$work/walk-linux"
cp -r packaging/samples "$work/walk-linux/samples"
(cd "$work/walk-linux" && "$linux_host" replay --chart samples/ES.csv --source es=samples/ES.csv --source nq=samples/NQ.csv \
    --from 2026-10-14 --fast --no-color --out out >/dev/null 2>&1) || fail "the Linux kmi-host's walk-through failed"
for file in series.csv days.csv panel.txt; do
    cmp -s "$work/walk-linux/out/$file" "$root/мои 結果/$file" || fail "the walk-through's $file differs from Linux's"
done
echo "ok: names in three scripts work in the program's folder, its arguments and its output; the walk-through's files are Linux's"
# An output folder on a drive that does not exist is refused with that reason.
(cd "$root" && "${clean_env[@]}" "$wine" kmi-host.exe "${walk[@]:0:10}" --out 'Q:\out' > /dev/null 2> "$work/drive.stderr") &&
    fail "kmi-host.exe replay --out Q:\\out succeeded"
tr -d '\r' < "$work/drive.stderr" | grep -qxF 'kmi-host: Q:\out: cannot make this folder: there is no drive Q:' ||
    fail "--out Q:\\out is not refused as a drive that does not exist: $(cat "$work/drive.stderr")"

# Started by a double-click, in a console of its own, the program shows a short guide and
# waits for a key instead of flashing an error (scripts/new-console.c starts it that way).
x86_64-w64-mingw32-gcc -municode -O2 scripts/new-console.c -o "$work/new-console.exe" ||
    fail "scripts/new-console.c does not build"
(cd "$root" && "${clean_env[@]}" timeout 60 "$wine" "$work/new-console.exe" kmi-host.exe > "$work/double-click.out" 2>&1 < /dev/null) ||
    fail "kmi-host.exe in a console of its own failed: $(cat "$work/double-click.out")"
grep -qF 'Type:  kmi-host.exe demo' "$work/double-click.out" && grep -qF 'Press any key to close this window.' "$work/double-click.out" ||
    fail "kmi-host.exe in a console of its own shows no guide: $(cat "$work/double-click.out")"
echo "ok: kmi-host.exe started in a console of its own shows its guide and waits for a key"
