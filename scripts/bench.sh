#!/usr/bin/env bash
# Builds and runs the benchmarks: the S-record loader and dump, the framer,
# one whole upgrade at the real line speeds and four at once (about 30 s each),
# a station of eight, a station's shift of 200 units (a few minutes), sixteen
# units behind the station's window (about a minute), and the
# Windows build's upgrade under wine on a COM port mapped onto the simulator's
# pty. `scripts/bench.sh wine` runs only the last.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh windows
dir=build/bench
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DDEDARIDA_BENCH=ON -DDEDARIDA_TESTS=OFF >/dev/null
cmake --build "$dir" -j "$(nproc)" --target image_bench link_bench upgrade_bench several_devices_bench \
    station_bench station_soak station_window_bench
if [ "${1:-}" != wine ]; then
    "$dir/bench/image_bench"
    "$dir/bench/link_bench"
    "$dir/bench/upgrade_bench"
    "$dir/bench/several_devices_bench"
    "$dir/bench/station_bench"
    "$dir/bench/station_soak"
    "$dir/bench/station_window_bench"
fi

scripts/windows.sh >/dev/null
source scripts/wine_prefix.sh
trap wine_prefix_end EXIT
work="$PWD/$dir/wine"
wine_prefix "$work" COM5
timeout 60 "$wine" cmd /c exit 0 </dev/null >/dev/null 2>&1
echo "Windows build under wine:"
"$dir/bench/upgrade_bench" "$work/COM5" COM5 "$wine" dist/windows/dedarida.exe
