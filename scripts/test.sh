#!/usr/bin/env bash
# Sets up and runs the whole test suite: a g++ Release build with all tests,
# which is also the one packaged (the Debian package and its check); an
# ASan+UBSan build with the fuzz targets (clang) and a ThreadSanitizer build of
# the core (clang), which are clang's warning checks too; then the Windows
# stage, the cross build tested under wine (scripts/test_windows.sh); last a
# short smoke run of each fuzz target. The one test that runs a whole upgrade
# at the real line speeds (label sim_slow) runs in the g++ build only.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh

jobs=$(nproc)
# The tests mostly wait on their devices' timing, so twice as many run at once
# as there are cores.
test_jobs=$((2 * jobs))
# Each stage says when it starts, so that a slow one shows in the log.
stage() { echo "== $1 (at ${SECONDS} s)"; }
# run_suite DIR "CTEST ARGS" CMAKE ARGS...
run_suite() {
    local dir=$1 select=$2
    shift 2
    cmake -S . -B "$dir" -G Ninja -DDEDARIDA_WERROR=ON "$@" >/dev/null
    cmake --build "$dir" -j "$jobs"
    # shellcheck disable=SC2086
    (cd "$dir" && QT_QPA_PLATFORM=offscreen ctest -j "$test_jobs" --output-on-failure $select)
}

stage "normal build (g++ Release)"
run_suite build/normal "" -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_COMPILER=g++

stage "Debian package of that build"
scripts/package.sh build/normal
scripts/check_package.sh build/normal

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

stage "Windows: cross build tested under wine"
scripts/test_windows.sh build/normal

stage "fuzz smoke runs"
scripts/fuzz.sh 10

stage "done"
