#!/usr/bin/env bash
# Sets up and runs the whole test suite: a g++ Release build with all tests,
# which is also the one packaged (the Debian package and its check); an
# ASan+UBSan build with the fuzz targets (clang) and a ThreadSanitizer build of
# the core (clang), which are clang's warning checks too; the Windows stage,
# the cross build tested under wine (scripts/test_windows.sh); last a short
# smoke run of each fuzz target. The one test that runs a whole upgrade at the
# real line speeds (label sim_slow) runs in the g++ build only.
#
# The tests mostly wait on their devices' timing and use a few per cent of the
# cores, so the next stage's build runs beside them, at the lowest priority.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh windows

jobs=$(nproc)
test_jobs=$((2 * jobs))
# Each stage says when it starts, so that a slow one shows in the log.
stage() { echo "== $1 (at ${SECONDS} s)"; }

# configure DIR CMAKE ARGS...
configure() {
    local dir=$1
    shift
    cmake -S . -B "$dir" -G Ninja -DDEDARIDA_WERROR=ON "$@" >/dev/null
}
# build_beside NAME COMMAND...: the build (a command or a function) runs in
# the background until joined, in a process group of its own so that a failed
# stage ends the whole build with it.
build_name='' build_pid='' build_log=''
build_beside() {
    build_name=$1
    shift
    build_log=build/$build_name.build.log
    mkdir -p build
    echo "-- building $build_name beside (log: $build_log)"
    set -m
    (
        renice -n 19 -p "$BASHPID" >/dev/null
        "$@"
    ) >"$build_log" 2>&1 &
    build_pid=$!
    set +m
}
join_build() {
    local status=0
    wait "$build_pid" || status=$?
    if [ "$status" -ne 0 ]; then
        tail -n 80 "$build_log"
        echo "the $build_name build failed (exit $status)" >&2
        exit "$status"
    fi
    build_pid=
    echo "-- $build_name built (at ${SECONDS} s)"
}
trap '[ -z "$build_pid" ] || kill -- -"$build_pid" 2>/dev/null || true' EXIT
# run_tests DIR CTEST ARGS...
run_tests() {
    local dir=$1
    shift
    (cd "$dir" && QT_QPA_PLATFORM=offscreen ctest -j "$test_jobs" --output-on-failure "$@")
}

stage "normal build (g++ Release)"
configure build/normal -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_COMPILER=g++
cmake --build build/normal -j "$jobs"

# A Debug build, with use of a dead frame's locals (a handler outliving the
# test that set it) caught as well.
configure build/asan -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang \
    -DDEDARIDA_SANITIZE=address -DDEDARIDA_FUZZ=ON
build_beside asan cmake --build build/asan -j "$jobs"

stage "normal tests"
run_tests build/normal

stage "Debian package of that build"
scripts/package.sh build/normal
scripts/check_package.sh build/normal

stage "ASan+UBSan tests (clang)"
join_build
configure build/tsan -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang \
    -DDEDARIDA_SANITIZE=thread -DDEDARIDA_APP=OFF
tsan_and_windows() { cmake --build build/tsan -j "$jobs" && scripts/windows_test_build.sh; }
build_beside tsan+windows tsan_and_windows
ASAN_OPTIONS="detect_stack_use_after_return=1" run_tests build/asan -LE slow

stage "ThreadSanitizer tests of the core (clang)"
join_build
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" run_tests build/tsan -LE slow

# Wine's own start is slow enough under load that nothing is built beside it.
stage "Windows: cross build tested under wine"
scripts/test_windows.sh build/normal

stage "fuzz smoke runs"
scripts/fuzz.sh 10

stage "done"
