#!/usr/bin/env bash
# Runs every fuzz target for SECONDS seconds each (default 30) from the
# ASan+UBSan build that scripts/test.sh makes. A longer run: scripts/fuzz.sh 3600
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
dir=build/asan
if [ ! -d "$dir/fuzz" ]; then
    scripts/deps.sh
    cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang -DDEDARIDA_WERROR=ON \
        -DDEDARIDA_SANITIZE=address -DDEDARIDA_FUZZ=ON >/dev/null
fi
cmake --build "$dir" -j "$(nproc)"
mkdir -p build/fuzz-logs
for target in "$dir"/fuzz/*_fuzz; do
    [ -x "$target" ] || continue
    name=$(basename "$target")
    corpus="build/corpus/$name"
    seeds="fuzz/seeds/${name%_fuzz}"
    mkdir -p "$corpus"
    [ -d "$seeds" ] || seeds=
    log="build/fuzz-logs/$name.log"
    echo "-- $name for ${seconds}s"
    if ! "$target" -max_total_time="$seconds" -print_final_stats=1 \
        -artifact_prefix="build/fuzz-logs/$name-" "$corpus" $seeds >"$log" 2>&1; then
        tail -n 60 "$log"
        exit 1
    fi
    grep -E 'stat::number_of_executed_units|stat::peak_rss_mb' "$log"
done
