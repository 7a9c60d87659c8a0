#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the Windows cross build need, when
# they are missing. Runs apt-get as root; otherwise says what to install. tzdata is the tz
# database that kmi-host compiles in, for Linux and Windows alike.
set -euo pipefail

packages=(cmake ninja-build g++ clang libgtest-dev libgmock-dev libbenchmark-dev
          nlohmann-json3-dev libcli11-dev libboost-dev tzdata g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
          valgrind libclang-rt-14-dev wine wine64 chromium fonts-dejavu-core clang-format-14 clang-tidy-14 gcovr
          zip unzip zlib1g-dev libz-mingw-w64-dev)
# Node.js and npm for the chart page, unless the machine brings its own.
command -v node >/dev/null 2>&1 || packages+=(nodejs)
command -v npm >/dev/null 2>&1 || packages+=(npm)

missing=()
for package in "${packages[@]}"; do
    dpkg -s "$package" >/dev/null 2>&1 || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
    echo "Please install: ${missing[*]} (for example: sudo apt-get install ${missing[*]})" >&2
    exit 1
fi
echo "Installing: ${missing[*]}"
apt-get update -qq
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
