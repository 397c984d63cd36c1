#!/usr/bin/env bash
# Sets up and runs the tool. With no argument it runs against the built-in
# simulated device, paced at the real line speeds: the window when a display
# is there, otherwise one headless upgrade. With a device (scripts/run.sh
# /dev/ttyUSB0) it runs against that device as COM2.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh

dir=build/run
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDEDARIDA_TESTS=OFF >/dev/null
cmake --build "$dir" -j "$(nproc)" --target dedarida dedarida-sim

device=${1:-}
if [ -z "$device" ]; then
    demo=$(mktemp -d /tmp/dedarida-demo.XXXXXX)
    device="$demo/line"
    "$dir/sim/dedarida-sim" --paced --link "$device" \
        --reference image/firmware/placeholder.bin --transcript "$demo/transcript.jsonl" \
        >"$demo/sim.log" 2>&1 &
    sim=$!
    trap 'kill "$sim" 2>/dev/null || true; wait "$sim" 2>/dev/null || true; rm -rf "$demo"' EXIT
    for _ in $(seq 50); do [ -e "$device" ] && break; sleep 0.1; done
    echo "simulated device on $device (transcript: $demo/transcript.jsonl)"
fi

export DEDARIDA_COM2="$device"
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    echo "the window uses COM2 = $device; press START"
    "$dir/app/dedarida"
else
    echo "no display: one headless upgrade on COM2 = $device"
    "$dir/app/dedarida" --upgrade --port COM2
fi
