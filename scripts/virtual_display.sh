# Sourced by the scripts that show windows on a virtual X display.

# fail TEXT: said under the script's name, and the script ends with 1.
fail() {
    echo "$(basename "$0" .sh): $*" >&2
    exit 1
}

# stop_all PID...: each ended and waited for.
stop_all() {
    local pid
    for pid in "$@"; do kill "$pid" 2>/dev/null || true; done
    for pid in "$@"; do wait "$pid" 2>/dev/null || true; done
}

# wait_for SECONDS COMMAND...: until COMMAND succeeds, at most SECONDS.
wait_for() {
    local deadline=$((SECONDS + $1))
    shift
    until "$@" >/dev/null 2>&1; do
        [ $SECONDS -lt $deadline ] || return 1
        sleep 0.1
    done
}

# virtual_display LOG: starts Xvfb on a free display, logging to LOG, and
# waits until it answers. Sets DISPLAY (exported) and xvfb_pid for the
# caller's cleanup; fails when no server answers within 10 s. The server
# takes the display itself and names it once it listens: two tests that
# looked for a free one at once took the same, and one drew on the other's.
virtual_display() {
    local number=$1.display
    rm -f "$number"
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$number" >"$1" 2>&1 &
    xvfb_pid=$!
    wait_for 10 grep -q '^[0-9]' "$number" || return 1
    export DISPLAY=:$(head -n 1 "$number")
    wait_for 10 xdotool getdisplaygeometry
}
