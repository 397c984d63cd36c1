#!/usr/bin/env bash
# Cross-builds the Windows version with its tests in build/windows-test, as
# scripts/test_windows.sh runs them (scripts/deps.sh windows installs the tools).
set -euo pipefail
cd "$(dirname "$0")/.."
dir=build/windows-test
cmake -S . -B "$dir" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
    -DCMAKE_BUILD_TYPE=Release -DDEDARIDA_WERROR=ON >/dev/null
cmake --build "$dir" -j "$(nproc)"
