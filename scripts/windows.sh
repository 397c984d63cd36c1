#!/usr/bin/env bash
# Cross-builds the Windows version into dist/windows: dedarida.exe (and, with
# the native window, dedarida.com for consoles). Static: they need only the
# DLLs Windows ships.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh windows

dir=build/windows
cmake -S . -B "$dir" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
    -DCMAKE_BUILD_TYPE=Release -DDEDARIDA_TESTS=OFF >/dev/null
cmake --build "$dir" -j "$(nproc)"

mkdir -p dist/windows
rm -f dist/windows/dedarida.exe dist/windows/dedarida.com
x86_64-w64-mingw32-strip -o dist/windows/dedarida.exe "$dir/app/dedarida.exe"
if [ -e "$dir/app/dedarida.com" ]; then
    x86_64-w64-mingw32-strip -o dist/windows/dedarida.com "$dir/app/dedarida.com"
fi
ls -l dist/windows
