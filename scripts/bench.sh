#!/usr/bin/env bash
# Builds and runs the benchmarks: the S-record loader and dump, the framer,
# one whole upgrade at the real line speeds and four at once (about 30 s each),
# a station of eight, and a station's shift of 200 units (a few minutes).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
dir=build/bench
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DDEDARIDA_BENCH=ON -DDEDARIDA_TESTS=OFF >/dev/null
cmake --build "$dir" -j "$(nproc)" --target image_bench link_bench upgrade_bench several_devices_bench \
    station_bench station_soak
"$dir/bench/image_bench"
"$dir/bench/link_bench"
"$dir/bench/upgrade_bench"
"$dir/bench/several_devices_bench"
"$dir/bench/station_bench"
"$dir/bench/station_soak"
