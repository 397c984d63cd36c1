#!/usr/bin/env bash
# The Windows stage of the test suite. Cross-builds the Windows version with
# its tests and runs them under wine, in a prefix made fresh each time:
#  - the GoogleTest suites;
#  - the Win32 serial backend on a COM port mapped onto a pty (COM6, whose far
#    end is dedarida-pty-peer);
#  - Ctrl-C on a console (a terminal made by script(1));
#  - the headless mode against dedarida-sim on COM5, for each exit status,
#    and with file names beyond the ANSI code page;
#  - the window's whole upgrade under Xvfb, with a screenshot;
#  - the station's window on a ports folder under Xvfb, with a screenshot.
# LINUX_BUILD (default build/normal) provides the two Linux programs.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh windows
linux=${1:-build/normal}
dir=build/windows-test
programs=$dir/app
began=$(date +%s)
# Each section says when it starts, so that a slow one shows in the log.
section() { echo "-- $1 (at $(($(date +%s) - began)) s)"; }
jobs=$(nproc)

scripts/windows_test_build.sh
if [ ! -f "$linux/CMakeCache.txt" ]; then
    cmake -S . -B "$linux" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$linux" -j "$jobs" --target dedarida-sim dedarida-pty-peer
sim="$linux/sim/dedarida-sim"
peer="$linux/tests/win32_peer/dedarida-pty-peer"

source scripts/wine_prefix.sh
source scripts/virtual_display.sh
work="$PWD/build/wine"
unset DISPLAY WAYLAND_DISPLAY
# script(1) runs its command in SHELL, and in dash where it is unset. A Ctrl-C
# typed on the terminal reaches that shell too: dash then ends before the line
# after the tool, bash carries on once the tool has ended by itself.
export SHELL=/bin/bash

helpers=()
cleanup() {
    wine_prefix_end
    [ -z "${line:-}" ] || stop_line
    for pid in "${helpers[@]}"; do kill "$pid" 2>/dev/null || true; done
    for pid in "${helpers[@]}"; do wait "$pid" 2>/dev/null || true; done
    helpers=()
}
trap cleanup EXIT

section "wine prefix"
# What an earlier run left is ended before its folder goes.
for prefix in "$work/prefix" "$work/window/prefix" "$work/station-window/prefix"; do
    WINEPREFIX=$prefix timeout 30 "$wineserver" -k 2>/dev/null || true
done
rm -rf "$work"
wine_prefix "$work" COM2 COM5 COM6
# The first program starts wine's services, which would keep the output of a
# test open (and ctest waiting) for as long as they run.
timeout 60 "$wine" cmd /c exit 0 </dev/null >/dev/null 2>&1

section "unit suites under wine"
(cd "$dir" && ctest -j "$jobs" --timeout 300 --output-on-failure -LE 'wine_pty|wine_console')

# Wine gives a program a console when its standard input is a terminal.
section "suites that need a console"
(cd "$dir" && script -qec "ctest --timeout 120 --output-on-failure -L wine_console" /dev/null \
    </dev/null | tr -d '\r')

# start_line PORT PROGRAM ARGS...: the far end of PORT, until the next call.
start_line() {
    local port=$1
    shift
    stop_line
    rm -f "$work/$port"
    "$@" >"$work/$port.log" 2>&1 &
    line=$!
    for _ in $(seq 100); do [ -e "$work/$port" ] && return; sleep 0.05; done
    echo "the far end of $port did not start:" >&2
    cat "$work/$port.log" >&2
    exit 1
}
line=
stop_line() {
    [ -n "$line" ] || return 0
    kill "$line" 2>/dev/null || true
    wait "$line" 2>/dev/null || true
    line=
}

section "Win32 serial backend on a pty"
start_line COM6 "$peer" "$work/COM6"
(cd "$dir" && DEDARIDA_TEST_PORT=COM6 ctest --timeout 120 --output-on-failure -L wine_pty)
stop_line

# expect_exit STATUS TEXT SIM-ARGS -- TOOL-ARGS: one headless run against the
# simulator; the exit status and a line of the output are checked.
failures=0
expect_exit() {
    local status=$1 text=$2 sim_args=() tool_args=()
    shift 2
    while [ "$1" != -- ]; do sim_args+=("$1"); shift; done
    shift
    tool_args=("$@")
    [[ " ${tool_args[*]} " == *" --port "* ]] || tool_args+=(--port COM5)
    start_line COM5 "$sim" --link "$work/COM5" --reference image/firmware/placeholder.bin "${sim_args[@]}"
    local got=0
    timeout 180 "$wine" "$programs/dedarida.exe" --upgrade "${tool_args[@]}" \
        >"$work/headless.out" 2>&1 || got=$?
    stop_line
    check_run "$status" "$text" "$got" "$work/headless.out"
}

# check_run STATUS TEXT GOT OUTPUT: counts a failure unless the run exited
# STATUS and its OUTPUT has TEXT.
check_run() {
    if [ "$3" -eq "$1" ] && grep -qF -- "$2" "$4"; then
        echo "exit $3 as expected: $2"
    else
        echo "FAILED: expected exit $1 and \"$2\", got exit $3:" >&2
        tail -n 20 "$4" >&2 || true
        failures=$((failures + 1))
    fi
}

# Explorer opens no console for a window program; cmd.exe and PowerShell wait
# for a console one and get its output.
section "the two executables' subsystems"
subsystem() { x86_64-w64-mingw32-objdump -p "$1" | sed -n 's/^Subsystem[[:space:]]*[0-9a-f]*[[:space:]]*//p'; }
for pair in "dedarida.exe:(Windows GUI)" "dedarida.com:(Windows CUI)"; do
    program=${pair%%:*} expected=${pair#*:}
    if [ "$(subsystem "$programs/$program")" = "$expected" ]; then
        echo "$program: $expected"
    else
        echo "FAILED: $program is $(subsystem "$programs/$program"), not $expected" >&2
        failures=$((failures + 1))
    fi
done

section "headless mode against the simulator"
expect_exit 0 "message: System Programmed OK  v4.5" --
expect_exit 1 "error: System Program Fail" --fail-check --
expect_exit 1 "status: Send Data Fail" --refuse-erase --
expect_exit 2 "You can not update this device !" --identity "FW ID  v2.0" --
expect_exit 2 "Unknown device !" --identity "FW ID  v9.9" --
expect_exit 3 "no reply moved the upgrade on for 1s" --drop identity:1 -- --timeout 1
expect_exit 4 "COM9" -- --port COM9
# A file's path names a port (as a ports folder's entries do); two names of
# one device are one port.
expect_exit 0 "message: System Programmed OK  v4.5" -- --port "Z:${work//\//\\}\\COM5"
expect_exit 64 '--port \\.\com5 is given twice (as COM5)' -- --port COM5 --port '\\.\com5'

# Wine lets a second program open a port in use; the tool's own lock refuses
# it, and the first one's device is left alone.
section "a second tool on a port in use"
start_line COM5 "$sim" --link "$work/COM5" --half-reply identity:1
first=0
timeout 180 "$wine" "$programs/dedarida.exe" --upgrade --port COM5 --timeout 4 \
    >"$work/first.out" 2>&1 &
holder=$!
sleep 1.5
got=0
timeout 180 "$wine" "$programs/dedarida.exe" --upgrade --port '\\.\COM5' \
    >"$work/second.out" 2>&1 || got=$?
wait "$holder" || first=$?
stop_line
check_run 4 "is in use" "$got" "$work/second.out"
check_run 3 "no reply moved the upgrade on for 4s" "$first" "$work/first.out"

section "/? asks for the help, in Windows' words"
got=0
timeout 60 "$wine" "$programs/dedarida.com" '/?' >"$work/help.out" 2>&1 || got=$?
check_run 0 "--port PORT         COM name as Device Manager shows it" "$got" "$work/help.out"
if grep -qE 'DEDARIDA_COM|/dev/|SIGTERM|DISPLAY' "$work/help.out"; then
    echo "FAILED: the Windows help speaks of Linux:" >&2
    grep -E 'DEDARIDA_COM|/dev/|SIGTERM|DISPLAY' "$work/help.out" >&2
    failures=$((failures + 1))
fi

# The station on a ports folder given as a relative path: the unit's process
# gets the entry's path as its port. Its record in the log tells the result.
section "the station on a ports folder"
rm -rf "$work/ports" "$work/units.jsonl"
mkdir -p "$work/ports"
"$sim" --link "$work/ports/0403_6001_UNIT1" --reference image/firmware/placeholder.bin \
    >"$work/unit.log" 2>&1 &
unit=$!
helpers+=($unit)
for _ in $(seq 100); do [ -e "$work/ports/0403_6001_UNIT1" ] && break; sleep 0.05; done
env -C "$work" DEDARIDA_PORTS_FOLDER=ports timeout 180 "$wine" "$PWD/$programs/dedarida.exe" \
    --station --log units.jsonl >"$work/station.out" 2>&1 &
station=$!
for _ in $(seq 600); do [ -s "$work/units.jsonl" ] && break; sleep 0.1; done
kill "$station" "$unit" 2>/dev/null || true
wait "$station" "$unit" 2>/dev/null || true
if grep -q '"result":"programmed"' "$work/units.jsonl" 2>/dev/null; then
    echo "station: the unit on ports\\0403_6001_UNIT1 programmed"
else
    echo "FAILED: the station's unit was not programmed:" >&2
    tail -n 5 "$work/station.out" "$work/units.jsonl" >&2 || true
    failures=$((failures + 1))
fi

section "from cmd.exe: output and exit status reach the console"
start_line COM5 "$sim" --link "$work/COM5" --identity "FW ID  v2.0"
got=0
(cd "$programs" && timeout 180 "$wine" cmd /c 'dedarida --upgrade --port COM5 & exit /b %errorlevel%') \
    >"$work/cmd.out" 2>&1 || got=$?
stop_line
check_run 2 "You can not update this device !" "$got" "$work/cmd.out"

# A firmware file and a trace whose names the ANSI code page cannot hold
# reach the file system whole. The image differs from the built-in one in a
# byte, so the simulator's final check tells which one was sent.
section "names beyond the ANSI code page"
names="$work/names"
firmware="Prüfung-固件.bin" trace="Prüfung-固件.trace"
rm -rf "$names"
mkdir -p "$names"
cp image/firmware/placeholder.bin "$names/$firmware"
printf '\x5A' | dd of="$names/$firmware" bs=1 seek=1000 conv=notrunc status=none
start_line COM5 "$sim" --link "$work/COM5" --reference "$names/$firmware"
console="$PWD/$programs/dedarida.com"
got=0
(cd "$names" && LC_ALL=C.UTF-8 timeout 180 "$wine" "$console" --upgrade --port COM5 \
    --firmware "$firmware" --trace "$trace") >"$work/names.out" 2>&1 || got=$?
stop_line
check_run 0 "firmware: $firmware" "$got" "$work/names.out"
grep -q "Program block" "$names/$trace" 2>/dev/null ||
    { echo "FAILED: no trace written to $trace" >&2; failures=$((failures + 1)); }

# Each port in a process of its own: COM5 is upgraded while COM6, named by its
# device path, fails its check; the run exits with COM6's status, the summary
# has both rows, and the forwarded lines keep their text as the port's
# process wrote it: the recovery command names the device as given.
section "two ports at once"
start_line COM5 "$sim" --link "$work/COM5" --reference image/firmware/placeholder.bin
rm -f "$work/COM6"
"$sim" --link "$work/COM6" --fail-check >"$work/COM6.log" 2>&1 &
second=$!
helpers+=($second)
for _ in $(seq 100); do [ -e "$work/COM6" ] && break; sleep 0.05; done
got=0
timeout 180 "$wine" "$programs/dedarida.exe" --upgrade --port COM5 --port '\\.\COM6' \
    >"$work/two.out" 2>&1 || got=$?
stop_line
kill "$second" 2>/dev/null || true
wait "$second" 2>/dev/null || true
check_run 1 'recover it with: dedarida --upgrade --port \\.\COM6 --from-bootloader' "$got" \
    "$work/two.out"
if grep -qF -e '.\\COM6' -e '\r' "$work/two.out"; then
    echo "FAILED: a forwarded line with a carriage return or a doubled backslash:" >&2
    failures=$((failures + 1))
fi
grep -qE '^COM5 .*programmed \(exit 0\)' "$work/two.out" ||
    { echo "FAILED: no COM5 success row in the summary:" >&2; cat "$work/two.out" >&2; failures=$((failures + 1)); }

# Ctrl-C typed on the console reaches the tool and each port's process:
# every upgrade stops as interrupted, with its record.
section "Ctrl-C on the console stops every port's upgrade"
start_line COM5 "$sim" --link "$work/COM5" --drop identity:1
rm -f "$work/COM6"
"$sim" --link "$work/COM6" --drop identity:1 >"$work/COM6.log" 2>&1 &
second=$!
helpers+=($second)
for _ in $(seq 100); do [ -e "$work/COM6" ] && break; sleep 0.05; done
# Ctrl-C once both ports' processes have their ports (a cold prefix starts
# them slowly), so that it reaches them with their handlers set.
rm -f "$work/ctrl-c.out" "$work/ctrl-c.status"
(for _ in $(seq 400); do
    [ "$(grep -c '^COM[56]: port:' "$work/ctrl-c.out" 2>/dev/null)" -ge 2 ] && break
    sleep 0.1
    done
    sleep 0.5
    printf '\003'
    # The terminal stays open until the tool has ended, however slow.
    for _ in $(seq 600); do [ -e "$work/ctrl-c.status" ] && break; sleep 0.1; done) |
    timeout 120 script -qec "'$wine' '$programs/dedarida.com' \
    --upgrade --port COM5 --port COM6 >'$work/ctrl-c.out' 2>&1; echo \"exit \$?\" >'$work/ctrl-c.status'" \
    /dev/null >/dev/null || true
if [ ! -e "$work/ctrl-c.status" ]; then
    echo "FAILED: the tool did not end after Ctrl-C; its processes:" >&2
    pgrep -af 'dedarida|wine' >&2 || true
fi
stop_line
kill "$second" 2>/dev/null || true
wait "$second" 2>/dev/null || true
got=$(sed -n 's/^exit //p' "$work/ctrl-c.status" 2>/dev/null || true)
check_run 130 "COM6: result: interrupted (exit 130)" "${got:-255}" "$work/ctrl-c.out"
for port in COM5 COM6; do
    grep -qE "^$port .*interrupted \(exit 130\)" "$work/ctrl-c.out" ||
        { echo "FAILED: no $port row interrupted:" >&2; cat "$work/ctrl-c.out" >&2 || true; failures=$((failures + 1)); }
done

# The port processes sit in the tool's job: killed outright, the tool takes
# them with it, and they let their ports go.
section "a tool killed outright ends its ports' processes"
start_line COM5 "$sim" --link "$work/COM5" --program-ms 200
rm -f "$work/COM6"
"$sim" --link "$work/COM6" --program-ms 200 >"$work/COM6.log" 2>&1 &
second=$!
helpers+=($second)
for _ in $(seq 100); do [ -e "$work/COM6" ] && break; sleep 0.05; done
"$wine" "$programs/dedarida.exe" --upgrade --port COM5 --port COM6 >"$work/killed.out" 2>&1 &
tool=$!
# Wine starts each port's process on its own, so it is found by its command
# line, in this prefix.
units() {
    local pid
    for pid in $(pgrep -f -- "--supervised --port COM[56] "); do
        tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX" &&
            echo "$pid"
    done
}
for _ in $(seq 300); do
    [ "$(grep -c 'block [0-9]*/86' "$work/killed.out")" -ge 2 ] && break
    sleep 0.1
done
before=$(units | wc -l)
kill -9 "$tool"
wait "$tool" 2>/dev/null || true
for _ in $(seq 50); do [ -z "$(units)" ] && break; sleep 0.1; done
left=$(units | wc -l)
stop_line
kill "$second" 2>/dev/null || true
wait "$second" 2>/dev/null || true
if [ "$before" -eq 2 ] && [ "$left" -eq 0 ]; then
    echo "the ports' processes ended with the tool"
else
    echo "FAILED: $before ports' processes before the kill, $left left 5 s after it" >&2
    failures=$((failures + 1))
fi

# The windows, under a virtual display of the stage's, each in a prefix of
# its own: wine's desktop in the prefix above was started with no display and
# would refuse every window.
virtual_display "$work/xvfb.log" || echo "no X server on $DISPLAY" >&2
helpers+=("$xvfb_pid")

# The window's whole upgrade on COM2 (the port every run starts with).
section "the window's upgrade under Xvfb"
if ! env -u WINEPREFIX tests/win32_window/window_upgrade.sh "$programs/dedarida.exe" \
    "$dir/tests/win32_window/window_probe.exe" "$sim" image/firmware/placeholder.bin \
    "$work/window/COM2" "$work/window"; then
    echo "FAILED: the window's upgrade (see $work/window)" >&2
    failures=$((failures + 1))
fi

# The station's window on a ports folder: two units at once, then one closed
# mid-flash.
section "the station window under Xvfb"
if ! env -u WINEPREFIX tests/win32_window/station_window.sh "$programs/dedarida.exe" \
    "$dir/tests/win32_window/window_probe.exe" "$sim" image/firmware/placeholder.bin \
    "$work/station-window"; then
    echo "FAILED: the station window (see $work/station-window)" >&2
    failures=$((failures + 1))
fi

# Nothing of either prefix may outlive the stage: wine's services hold on to
# their prefix and the machine's processor long after a killed server.
section "no wine processes left"
cleanup
left=$(wine_leftovers "$work")
if [ -n "$left" ]; then
    echo "FAILED: wine processes left running:" >&2
    echo "$left" >&2
    failures=$((failures + 1))
fi

echo "-- Windows stage: $(($(date +%s) - began)) s"
[ "$failures" -eq 0 ]
