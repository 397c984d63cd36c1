#!/usr/bin/env bash
# The Windows station window under wine on a virtual display, on a ports
# folder of simulated adapters. Two units plugged at once, one that passes
# and one whose final check fails: their records in the --log tell it, the
# window is shot, and closed with nothing running it asks nothing and the
# tool exits 1, as the station does with a failed unit. Then a unit that programs
# slowly: the window closed mid-flash asks once whether to stop it, yes stops
# it as Ctrl-C does, its record says "interrupted" and the tool exits 130.
#
# usage: station_window.sh DEDARIDA_EXE WINDOW_PROBE_EXE DEDARIDA_SIM FIRMWARE OUT_DIR
# OUT_DIR receives the screenshots (station_window.png, a tile passed and one
# failed; station_window_running.png, a unit mid-flash),
# the log of records, the simulators' transcripts and the logs.
# WINEPREFIX: a prefix where a wineserver of its own runs; unset, a fresh
# prefix is made in OUT_DIR with one.
# DISPLAY: an X server; unset, a private Xvfb is started.
set -euo pipefail

[ $# -eq 5 ] || { sed -n '2,14p' "$0" >&2; exit 64; }
exe=$(realpath "$1") probe=$(realpath "$2") sim=$(realpath "$3") firmware=$(realpath "$4")
out=$(mkdir -p "$5" && realpath "$5")

source "$(dirname "$0")/../../scripts/wine_prefix.sh"
source "$(dirname "$0")/../../scripts/virtual_display.sh"

pids=() units=()
cleanup() {
    wine_prefix_end
    stop_all "${units[@]}" "${pids[@]}"
}
trap cleanup EXIT

[ -n "${WINEPREFIX:-}" ] || wine_prefix "$out"

if [ -z "${DISPLAY:-}" ]; then
    virtual_display "$out/xvfb.log" || fail "no X server on $DISPLAY"
    pids+=("$xvfb_pid")
fi

probe() { timeout 60 "$wine" "$probe" "$@" | tr -d '\r'; }
caption='^Dedarida Station$'
records=$out/units.jsonl
ports=$out/ports

# plug NAME SIM-ARGS...: a simulated adapter in the ports folder.
plug() {
    local name=$1
    shift
    "$sim" --link "$ports/$name" --reference "$firmware" "$@" >"$out/$name.log" 2>&1 &
    units+=($!)
    wait_for 10 test -e "$ports/$name" || fail "the simulator made no $name"
}

# start_station: the station's window on the ports folder, the tool's
# process in $app.
start_station() {
    rm -f "$records"
    env -C "$out" DEDARIDA_PORTS_FOLDER=ports timeout 300 "$wine" "$exe" --station --window \
        --station-name line-3 --log units.jsonl >"$out/dedarida.log" 2>&1 &
    app=$!
    pids+=($app)
    wait_for 30 xdotool search --onlyvisible --name "$caption" || fail "no station window"
}

# end_station STATUS: the tool ends within 30 s and exits STATUS.
end_station() {
    gone() { ! kill -0 "$app" 2>/dev/null; }
    wait_for 30 gone || fail "the tool still runs 30 s after its window was closed"
    local status=0
    wait "$app" || status=$?
    [ "$status" -eq "$1" ] || fail "the tool exited with $status, not $1"
}

# record_count: the records in the log that are whole JSON objects.
record_count() { jq -s 'length' "$records" 2>/dev/null || echo 0; }
records_are() { [ "$(record_count)" -eq "$1" ]; }

rm -rf "$ports"
mkdir -p "$ports"
plug "0403_6001_ST0001@1-1.1" --transcript "$out/unit1.jsonl"
plug "0403_6001_ST0002@1-1.2" --fail-check --transcript "$out/unit2.jsonl"
start_station
wait_for 240 records_are 2 || fail "$(record_count) records in the log, not 2"
results=$(jq -rs 'sort_by(.usbSerial) | map(.usbSerial + " " + .result) | join(", ")' "$records")
[ "$results" = "ST0001 programmed, ST0002 program-fail" ] || fail "the records say: $results"
echo "station window: $results"
# A repaint or two after the last record.
sleep 1
window=$(xdotool search --onlyvisible --name "$caption" | head -n 1)
import -window "$window" "$out/station_window.png"
probe station-close || fail "the station window could not be asked to close"
end_station 1
echo "station window closed with a unit failed: exit 1"

# Closing mid-flash: a unit that takes 100 ms a block is still programming.
stop_all "${units[@]}"
units=()
rm -rf "$ports"
mkdir -p "$ports"
plug "0403_6001_ST0003@1-1.1" --program-ms 100 --transcript "$out/unit3.jsonl"
start_station
programming() { grep -q '"meaning":"Program' "$out/unit3.jsonl"; }
wait_for 60 programming || fail "the unit never began programming"
sleep 2
import -window "$(xdotool search --onlyvisible --name "$caption" | head -n 1)" \
    "$out/station_window_running.png"
probe station-close || fail "the station window could not be asked to close"
question='1 unit is still running. Stop it now? Each ends "interrupted" with its record.'
wait_for 10 test "$(probe station-question)" = "$question" ||
    fail "the question reads '$(probe station-question)'"
# A second close while the question is open asks nothing more.
probe station-close || fail "the station window could not be asked to close again"
probe station-answer yes || fail "the question could not be answered"
echo "the window asked once: $question"
end_station 130
[ "$(jq -rs 'map(.result) | join(",")' "$records")" = interrupted ] ||
    fail "the stopped unit's record says: $(jq -rs 'map(.result) | join(",")' "$records")"
echo "station window closed mid-flash: the unit's record says interrupted, exit 130"
echo "station window passed"
