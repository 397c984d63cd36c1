#!/usr/bin/env bash
# Builds the Debian package from a Release build: BUILD/dedarida_<version>_amd64.deb,
# BUILD being build/package (configured here, without the tests; the arguments
# go to cmake) or a Release build folder given as the only argument (the test
# suite's, tests and all: they install nothing).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
if [ $# -gt 0 ] && [ -f "$1/CMakeCache.txt" ]; then
    dir=$1
    [ $# -eq 1 ] || { echo "usage: $0 [RELEASE-BUILD | CMAKE-ARGS...]" >&2; exit 64; }
    grep -qx 'CMAKE_BUILD_TYPE:STRING=Release' "$dir/CMakeCache.txt" ||
        { echo "$dir is not a Release build" >&2; exit 1; }
else
    dir=build/package
    cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DDEDARIDA_TESTS=OFF "$@" >/dev/null
fi
cmake --build "$dir" -j "$(nproc)"
(cd "$dir" && cpack -G DEB >/dev/null)
ls "$dir"/dedarida_*_amd64.deb
