#!/usr/bin/env bash
# The Qt station window on a virtual X display, on a ports folder of four
# simulated adapters plugged in at once: one that passes, one refused (v2.0),
# one pulled at block 40 that comes back in its bootloader, and one plugged
# in while in its bootloader. The records in the --log and each simulator's
# flash tell the verdicts; the window is shot once they are in, and Ctrl-C
# ends the station with the status of a failed unit (1).
#
# usage: station_window_xvfb.sh DEDARIDA DEDARIDA_SIM FIRMWARE OUT_DIR
# OUT_DIR receives the screenshot (station_window.png), the log of records,
# the simulators' flashes, transcripts and logs.
set -euo pipefail

[ $# -eq 4 ] || { sed -n '2,11p' "$0" >&2; exit 64; }
exe=$(realpath "$1") sim=$(realpath "$2") firmware=$(realpath "$3")
out=$(mkdir -p "$4" && realpath "$4")
source "$(dirname "$0")/../../scripts/virtual_display.sh"

pids=() units=()
trap 'stop_all "${pids[@]}" "${units[@]}"' EXIT

virtual_display "$out/xvfb.log" || fail "no X server on $DISPLAY"
pids+=("$xvfb_pid")
export QT_QPA_PLATFORM=xcb

ports=$out/ports records=$out/units.jsonl
rm -rf "$ports" "$records" "$out"/*.flash "$out"/*.jsonl
mkdir -p "$ports"

# plug SERIAL PATH SIM-ARGS...: a simulated adapter in the ports folder.
plug() {
    local serial=$1 path=$2
    shift 2
    "$sim" --link "$ports/0403_6001_$serial@$path" --reference "$firmware" \
        --flash-out "$out/$serial.flash" --transcript "$out/$serial.jsonl" "$@" \
        >"$out/$serial.log" 2>&1 &
    units+=($!)
}
plug XV0001 1-1.1
plug XV0002 1-1.2 --identity "FW ID  v2.0"
plug XV0003 1-1.3 --hang-up-at 40 --comeback-ms 1500 --comeback-in-bootloader
plug XV0004 1-1.4 --bootloader

env -C "$out" DEDARIDA_PORTS_FOLDER=ports timeout 300 "$exe" --station --window \
    --station-name line-3 --retries 1 --log units.jsonl >"$out/dedarida.log" 2>&1 &
app=$!
pids+=($app)
caption='^Dedarida Station$'
wait_for 30 xdotool search --onlyvisible --name "$caption" || fail "no station window"

records_are() { [ "$(jq -s 'length' "$records" 2>/dev/null || echo 0)" -eq "$1" ]; }
wait_for 120 records_are 4 || fail "not 4 records in the log: $(cat "$records" 2>/dev/null)"
results=$(jq -rs 'sort_by(.usbSerial) | map("\(.usbSerial) \(.result) \(.attempts)") | join(", ")' \
    "$records")
[ "$results" = "XV0001 programmed 1, XV0002 refused 1, XV0003 programmed 2, XV0004 programmed 1" ] ||
    fail "the records say: $results"
echo "station window: $results"

# A repaint or two after the last record, then the picture: tiles in colour,
# not an empty frame.
sleep 1
window=$(xdotool search --onlyvisible --name "$caption" | head -n 1)
import -window "$window" "$out/station_window.png"
colours=$(convert "$out/station_window.png" -format '%k' info:)
[ "$colours" -gt 50 ] || fail "the window's picture holds $colours colours"

kill -INT "$app"
status=0
wait "$app" || status=$?
[ "$status" -eq 1 ] || fail "the station exited with $status, not 1 (a unit was refused)"

# Each simulator writes its flash as it ends: the programmed ones hold the
# image, the refused one was never erased.
stop_all "${units[@]}"
units=()
for serial in XV0001 XV0003 XV0004; do
    cmp -s "$out/$serial.flash" "$firmware" || fail "$serial's flash is not the image"
done
cmp -s "$out/XV0002.flash" "$firmware" && fail "the refused unit's flash holds the image"
grep -q '"meaning":"identity request"' "$out/XV0002.jsonl" || fail "the refused unit was never asked"
grep -q '"meaning":"Erase Flash"' "$out/XV0002.jsonl" && fail "the refused unit was erased"
echo "station window passed: exit 1, flashes as the records say"
