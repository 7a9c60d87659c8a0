#!/usr/bin/env bash
# Builds the Windows preset and writes the release archive dist/KeelwickMarketInternals-VERSION-win64.zip
# (VERSION: the build's version, cmake/build-version.cmake). It holds one folder of the same name:
# KeelwickMarketInternals_64.dll; kmi-host.exe with the charting library it embeds in chart.html
# beside it (uplot/, with its licence); INSTALL.txt (packaging/INSTALL.txt); the trader docs
# (docs/trader-guide.md, inputs.md, reading-the-panel.md); two sample bar files for the own-data
# walk-through (packaging/samples/); CHANGELOG.md; THIRD_PARTY_NOTICES.md; and SHA256SUMS of
# every other file. Text files have Windows line ends. Beside it,
# dist/KeelwickMarketInternals-VERSION-win64.zip.sha256 holds the archive's own SHA-256.
#
# The archive is reproducible: the builds take the last commit's time (SOURCE_DATE_EPOCH, as the
# test command sets it), the DLL and the program are linked without a time stamp, and the entries
# are sorted, with that time and fixed permissions, so two runs on one commit give the same bytes.
# Prints the archive's path. scripts/check-package.sh checks an archive as a trader uses it.
set -euo pipefail
cd "$(dirname "$0")/.."
for tool in zip sha256sum; do
    command -v "$tool" >/dev/null 2>&1 || {
        echo "FAIL: $tool not found: the archive cannot be written (scripts/install-deps.sh installs it)" >&2
        exit 1
    }
done
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct)}
git diff --quiet HEAD -- 2>/dev/null || echo "package.sh: the work tree has uncommitted changes; they are packaged too" >&2

bash scripts/page-deps.sh >&2
cmake --preset windows >/dev/null
cmake --build --preset windows >&2
build=build/windows
version=$(sed -n 's/^KMI_VERSION_TEXT:INTERNAL=//p' "$build/CMakeCache.txt")
[ -n "$version" ] || { echo "FAIL: no version in $build/CMakeCache.txt" >&2; exit 1; }
name=KeelwickMarketInternals-$version-win64

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
root=$stage/$name
mkdir -p "$root/uplot" "$root/docs" "$root/samples"
cp "$build/bin/KeelwickMarketInternals_64.dll" "$build/bin/kmi-host.exe" "$root/"
cp page/node_modules/uplot/dist/uPlot.iife.min.js page/node_modules/uplot/dist/uPlot.min.css \
    page/node_modules/uplot/LICENSE "$root/uplot/"
sed "s/@VERSION@/$version/g" packaging/INSTALL.txt > "$root/INSTALL.txt"
cp THIRD_PARTY_NOTICES.md "$root/"
# The changes for traders: each release's part for study developers and work on kmi-host, and
# the line that says where it stands, stay in the repository.
awk '/^## / { developers = 0 }
     /^### For study developers/ { developers = 1 }
     /^What changes for traders comes first/ { intro = 1 }
     intro { if ($0 == "") intro = 0; next }
     !developers' CHANGELOG.md > "$root/CHANGELOG.md"
cp docs/trader-guide.md docs/inputs.md docs/reading-the-panel.md "$root/docs/"
cp packaging/samples/ES.csv packaging/samples/NQ.csv "$root/samples/"
# Text files with Windows line ends, so that Windows' own editor shows them well.
text_files=("$root/INSTALL.txt" "$root"/*.md "$root"/docs/*.md "$root"/samples/*.csv)
sed -i 's/\r*$/\r/' "${text_files[@]}"
(cd "$root" && find . -type f | sed 's|^\./||' | LC_ALL=C sort | xargs sha256sum | sed 's/$/\r/' > "$stage/SHA256SUMS")
mv "$stage/SHA256SUMS" "$root/SHA256SUMS"

find "$root" -type d -exec chmod 0755 {} +
find "$root" -type f -exec chmod 0644 {} +
find "$root" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
mkdir -p dist
archive=$PWD/dist/$name.zip
rm -f "$archive"
# -X: no extra fields (owners, access times); TZ=UTC: the entries' DOS times are that instant in UTC.
(cd "$stage" && find "$name" | LC_ALL=C sort | TZ=UTC zip -X -q -@ "$archive")
# The archive's own checksum, published beside it: the sums inside cannot vouch for the zip.
(cd dist && sha256sum "$name.zip" > "$name.zip.sha256")
echo "dist/$name.zip"
