#!/usr/bin/env bash
# The Qt window on a virtual X display, its X window taken away from outside
# (not closed through a window manager): the process must end at once and
# release the port. Twice: the window destroyed during an upgrade, and the
# tool's X connection killed while it waits.
#
# usage: window_destroyed.sh DEDARIDA DEDARIDA_SIM X_DESTROY_WINDOW OUT_DIR
set -euo pipefail

[ $# -eq 4 ] || { sed -n '2,7p' "$0" >&2; exit 64; }
exe=$(realpath "$1") sim=$(realpath "$2") destroy=$(realpath "$3")
out=$(mkdir -p "$4" && realpath "$4")
line=$out/line
source "$(dirname "$0")/../../scripts/virtual_display.sh"

pids=()
trap 'stop_all "${pids[@]}"' EXIT

virtual_display "$out/xvfb.log" || fail "no X server on $DISPLAY"
pids+=("$xvfb_pid")
export QT_QPA_PLATFORM=xcb

rm -f "$line" "$out/transcript.jsonl"
"$sim" --link "$line" --paced --transcript "$out/transcript.jsonl" >"$out/sim.log" 2>&1 &
pids+=($!)
wait_for 10 test -e "$line" || fail "the simulator made no line"

line_free() { flock -n "$line" true; }
requests() { grep -c '"dir":"in"' "$out/transcript.jsonl" 2>/dev/null || true; }

# run CASE: starts the tool, takes its window away by CASE, and checks the end.
run() {
    local case=$1
    DEDARIDA_COM2=$line "$exe" >"$out/$case.log" 2>&1 &
    local app=$!
    pids+=($app)
    wait_for 20 xdotool search --onlyvisible --name '^RU Zededirr' || fail "$case: no window"
    local window
    window=$(xdotool search --onlyvisible --name '^RU Zededirr' | head -n 1)
    held() { ! line_free; }
    wait_for 10 held || fail "$case: the tool never opened the line"
    if [ "$case" = destroyed ]; then
        # START, at the centre of the button below the menu bar.
        eval "$(xdotool getwindowgeometry --shell "$window")"
        xdotool mousemove $((X + 160 + 124)) $((Y + HEIGHT - 151 + 16 + 28)) click 1
        local before
        before=$(requests)
        upgrading() { [ "$(requests)" -ge $((before + 2)) ]; }
        wait_for 10 upgrading || fail "$case: START did not start an upgrade"
        "$destroy" "$window" || fail "$case: the window could not be destroyed"
    else
        xdotool windowkill "$window"
    fi
    gone() { ! kill -0 "$app" 2>/dev/null; }
    wait_for 3 gone || fail "$case: the tool still runs 3 s after its window went"
    local status=0
    wait "$app" || status=$?
    [ $status -eq 1 ] || fail "$case: the tool exited with $status, not 1"
    line_free || fail "$case: the line is still held"
    echo "window $case: the tool ended with status $status and released the line"
}

run destroyed
run killed
