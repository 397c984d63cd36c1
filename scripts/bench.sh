#!/usr/bin/env bash
# Builds and runs the benchmarks: the S-record loader and dump, the framer,
# and one whole upgrade at the real line speeds (about 30 s).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
dir=build/bench
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DDEDARIDA_BENCH=ON -DDEDARIDA_TESTS=OFF >/dev/null
cmake --build "$dir" -j "$(nproc)" --target image_bench link_bench upgrade_bench
"$dir/bench/image_bench"
"$dir/bench/link_bench"
"$dir/bench/upgrade_bench"
