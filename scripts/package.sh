#!/usr/bin/env bash
# Builds the Debian package from a Release build: build/package/dedarida_<version>_amd64.deb
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
dir=build/package
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DDEDARIDA_TESTS=OFF "$@" >/dev/null
cmake --build "$dir" -j "$(nproc)"
(cd "$dir" && cpack -G DEB >/dev/null)
ls "$dir"/dedarida_*_amd64.deb
