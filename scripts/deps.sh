#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the window need
# (binutils and srecord make the S-record files the loader tests read back;
# jq reads back the records of the window tests, imagemagick shoots their
# windows); `scripts/deps.sh windows` adds the cross compiler, GoogleTest's
# sources and wine for the Windows build. Safe to run again: it installs only
# what is missing.
set -euo pipefail

packages=(
    cmake ninja-build g++ clang libclang-rt-14-dev
    libgtest-dev libgmock-dev libbenchmark-dev
    qt6-base-dev libxcb1-dev fonts-dejavu-core
    pkgconf libudev-dev nlohmann-json3-dev
    xvfb xauth xdotool imagemagick jq
    umockdev libumockdev-dev
    dpkg-dev fakeroot lintian
    binutils srecord
)
if [ "${1:-}" = windows ]; then
    packages+=(g++-mingw-w64-x86-64-posix googletest wine64 fonts-wine)
fi

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
"${as_root[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
