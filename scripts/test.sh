#!/usr/bin/env bash
# Sets up and runs the whole test suite: a normal build (g++), an ASan+UBSan
# build with the fuzz targets (clang), and a ThreadSanitizer build of the core
# (clang); Release builds with both compilers; the Debian package and its
# check; then a short smoke run of each fuzz target. The one test that runs
# a whole upgrade at the real line speeds (label sim_slow) runs in the normal
# build only. Last but the fuzz runs, the Windows stage: the cross build
# tested under wine (scripts/test_windows.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh

jobs=$(nproc)
# Each stage says when it starts, so that a slow one shows in the log.
stage() { echo "== $1 (at ${SECONDS} s)"; }
# run_suite DIR "CTEST ARGS" CMAKE ARGS...
run_suite() {
    local dir=$1 select=$2
    shift 2
    cmake -S . -B "$dir" -G Ninja -DDEDARIDA_WERROR=ON "$@" >/dev/null
    cmake --build "$dir" -j "$jobs"
    # shellcheck disable=SC2086
    (cd "$dir" && QT_QPA_PLATFORM=offscreen ctest -j "$jobs" --output-on-failure $select)
}

stage "normal build (g++)"
run_suite build/normal "" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=g++

stage "ASan+UBSan build (clang)"
# A Debug build, with use of a dead frame's locals (a handler outliving the
# test that set it) caught as well.
ASAN_OPTIONS="detect_stack_use_after_return=1" \
    run_suite build/asan "-LE slow" -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang \
        -DDEDARIDA_SANITIZE=address -DDEDARIDA_FUZZ=ON

stage "ThreadSanitizer build of the core (clang)"
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
    run_suite build/tsan "-LE slow" -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang \
    -DDEDARIDA_SANITIZE=thread -DDEDARIDA_APP=OFF

# Build-only Release checks (the suites above run the tests): the package is
# the g++ Release build, so this one is clang's.
stage "Release build (clang)"
cmake -S . -B build/release-clang -G Ninja -DDEDARIDA_WERROR=ON -DDEDARIDA_TESTS=OFF \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang >/dev/null
cmake --build build/release-clang -j "$jobs"

stage "Debian package: Release build (g++)"
scripts/package.sh -DDEDARIDA_WERROR=ON -DCMAKE_CXX_COMPILER=g++
scripts/check_package.sh

stage "Windows: cross build tested under wine"
scripts/test_windows.sh build/normal

stage "fuzz smoke runs"
scripts/fuzz.sh 30

stage "done"
