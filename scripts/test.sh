#!/usr/bin/env bash
# Sets up and runs the whole test suite: a normal build (g++), an ASan+UBSan
# build with the fuzz targets (clang), and a ThreadSanitizer build of the core
# (clang); then a short smoke run of each fuzz target.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh

jobs=$(nproc)
run_suite() {
    local dir=$1
    shift
    cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
    cmake --build "$dir" -j "$jobs"
    (cd "$dir" && QT_QPA_PLATFORM=offscreen ctest -j "$jobs" --output-on-failure)
}

echo "== normal build (g++)"
run_suite build/normal -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=g++

echo "== ASan+UBSan build (clang)"
run_suite build/asan -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=clang++ \
    -DDEDARIDA_SANITIZE=address -DDEDARIDA_FUZZ=ON

echo "== ThreadSanitizer build of the core (clang)"
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
    run_suite build/tsan -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=clang++ \
    -DDEDARIDA_SANITIZE=thread -DDEDARIDA_APP=OFF

echo "== fuzz smoke runs"
scripts/fuzz.sh 30
