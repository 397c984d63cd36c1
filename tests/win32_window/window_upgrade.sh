#!/usr/bin/env bash
# The Windows window under wine on a virtual display. Started before the
# simulator, it cannot open COM2 (the port every run starts with): panel 1
# says so in a few words with the whole reason in its tooltip, until the port
# opens on the simulator's pty. Then START clicked, a whole upgrade,
# "System Programmed OK  v4.5" in the message box, the line back at 4800 baud
# once OK is pressed, and a clean exit when the window closes. Last, the
# window closed while the box of a refused device is open: the tool ends.
#
# usage: window_upgrade.sh DEDARIDA_EXE WINDOW_PROBE_EXE DEDARIDA_SIM FIRMWARE LINE OUT_DIR
# LINE is the path the simulator's pty appears at. OUT_DIR receives the
# screenshots (window_notice.png with the port's problem, window_upgrade.png
# while the message box is open), the
# simulator's transcript, the tool's trace and the logs.
# WINEPREFIX: a prefix where COM2 already maps onto LINE and a wineserver of
# its own runs; unset, a fresh prefix is made in OUT_DIR with both.
# DISPLAY: an X server; unset, a private Xvfb is started.
set -euo pipefail

[ $# -eq 6 ] || { sed -n '2,15p' "$0" >&2; exit 64; }
exe=$(realpath "$1") probe=$(realpath "$2") sim=$(realpath "$3") firmware=$(realpath "$4")
line=$(realpath -m "$5") out=$(mkdir -p "$6" && realpath "$6")

source "$(dirname "$0")/../../scripts/wine_prefix.sh"
source "$(dirname "$0")/../../scripts/virtual_display.sh"

pids=()
cleanup() {
    wine_prefix_end
    stop_all "${pids[@]}"
}
trap cleanup EXIT

[ -n "${WINEPREFIX:-}" ] || wine_prefix "$out" "COM2=$line"

if [ -z "${DISPLAY:-}" ]; then
    virtual_display "$out/xvfb.log" || fail "no X server on $DISPLAY"
    pids+=("$xvfb_pid")
fi

rm -f "$line" "$out/transcript.jsonl" "$out/trace.txt" "$out/window_notice.png" \
    "$out/window_upgrade.png"

run_wine() { timeout 60 "$wine" "$@"; }
probe() { run_wine "$probe" "$@" | tr -d '\r'; }
# probe_is TEXT PROBE-ARGS...: the probe reads TEXT.
probe_is() {
    local text=$1
    shift
    [ "$(probe "$@")" = "$text" ]
}

DEDARIDA_TRACE="Z:$out/trace.txt" timeout 300 "$wine" "$exe" >"$out/dedarida.log" 2>&1 &
app=$!
pids+=($app)

main_caption='^RU Zededirr Halvardin M1 v4\.5$'
wait_for 30 xdotool search --onlyvisible --name "$main_caption" || fail "no main window"
wait_for 15 probe_is "COM: busy" panel 0 || fail "panel 0 reads '$(probe panel 0)', not COM: busy"
brief=$(probe panel 1) whole=$(probe panel-tip 1)
echo "panel 1 without the port: '$brief', its tooltip: '$whole'"
[[ $brief == COM2:* && $whole == COM2* && ${#brief} -lt ${#whole} ]] ||
    fail "panel 1 does not say briefly why COM2 cannot be opened"
# The pointer on panel 1 brings up its tooltip for the screenshot.
eval "$(xdotool getwindowgeometry --shell "$(xdotool search --onlyvisible --name "$main_caption" | head -n 1)")"
xdotool mousemove $((X + 70 + 75)) $((Y + HEIGHT - 14))
sleep 1.5
import -window root "$out/window_notice.png"

"$sim" --link "$line" --reference "$firmware" --transcript "$out/transcript.jsonl" \
    >"$out/sim.log" 2>&1 &
device=$!
pids+=($device)
wait_for 10 test -e "$line" || fail "the simulator made no line"
wait_for 15 probe_is "COM: 2" panel 0 || fail "COM2 did not open once the line was there"
wait_for 5 probe_is "Status: Command" panel 1 || fail "panel 1 still reads '$(probe panel 1)'"
hint="Firmware upgrade tool for Fernwick2"
probe_is "$hint" panel-tip 1 || fail "panel 1's tooltip still reads '$(probe panel-tip 1)'"
echo "panel 1 once COM2 opened: '$(probe panel 1)', its tooltip: '$(probe panel-tip 1)'"
read -r x y < <(run_wine "$probe" start-button) || fail "no START button"
xdotool mousemove "$x" "$y" click 1

# The message box has the application's title as its caption.
box_caption='^RU Zededir$'
wait_for 120 xdotool search --onlyvisible --name "$box_caption" || fail "no message box"
box=$(xdotool search --onlyvisible --name "$box_caption" | head -n 1)
message=$(run_wine "$probe" message | tr -d '\r')
sleep 0.5
import -window root "$out/window_upgrade.png"
[ "$message" = "System Programmed OK  v4.5" ] || fail "message box reads '$message'"
echo "message box: $message"

speed() { stty -F "$line" speed; }
[ "$(speed)" = 38400 ] || fail "line at $(speed) baud while the message is open"
xdotool key --window "$box" Return
at_4800() { [ "$(speed)" = 4800 ]; }
wait_for 10 at_4800 || fail "line at $(speed) baud after OK, not 4800"
echo "line after OK: $(speed) baud"

run_wine "$probe" close || fail "the main window could not be asked to close"
gone() { ! kill -0 "$app" 2>/dev/null; }
wait_for 30 gone || fail "the tool did not end after its window closed"
status=0
wait "$app" || status=$?
[ $status -eq 0 ] || fail "the tool exited with $status"
blocks=$(grep -c '"meaning":"Program' "$out/transcript.jsonl" || true)
echo "window upgrade: $blocks program requests, screenshot $out/window_upgrade.png"

# The window closed while the box of a refused device is open: the tool ends
# with it, and no other box follows.
kill "$device" 2>/dev/null || true
wait "$device" 2>/dev/null || true
rm -f "$line"
"$sim" --link "$line" --identity "FW ID  v2.0" >"$out/sim-refusal.log" 2>&1 &
pids+=($!)
wait_for 10 test -e "$line" || fail "the simulator made no line"
timeout 120 "$wine" "$exe" >"$out/dedarida-refusal.log" 2>&1 &
app=$!
pids+=($app)
wait_for 30 probe_is "COM: 2" panel 0 || fail "the second run did not open COM2"
read -r x y < <(run_wine "$probe" start-button) || fail "no START button"
xdotool mousemove "$x" "$y" click 1
refusal="You can not update this device !"
wait_for 30 probe_is "$refusal" message || fail "no box for the refused device"
run_wine "$probe" close || fail "the main window could not be asked to close"
deadline=$((SECONDS + 10))
while ! gone; do
    shown=$(probe message || true)
    [ -z "$shown" ] || [ "$shown" = "$refusal" ] || fail "after the window closed: a box '$shown'"
    [ $SECONDS -lt $deadline ] || fail "the tool still runs 10 s after its window closed"
    sleep 0.2
done
status=0
wait "$app" || status=$?
[ $status -eq 0 ] || fail "the tool exited with $status after its window closed over a box"
echo "window closed over its box: the tool ended with status 0"
echo "window upgrade passed"
