# Sourced by the scripts that run the Windows build under wine.
#
#   wine_prefix DIR PORT...  a fresh prefix in DIR/prefix (exported as
#                            WINEPREFIX) with each PORT (COM5) mapped onto the
#                            link DIR/PORT (COM5=PATH: onto PATH), and a
#                            wineserver of its own
#   wine_prefix_end          ends every process of each prefix made here
#   wine_leftovers DIR       the wine processes still running in prefixes
#                            under DIR, one "PID NAME" a line
#
# A prefix is made headless in about 15 s. Creating anything inside it before
# wineboot makes wine skip drive_c and hang, so the ports and settings come
# after.

wine=$(dpkg -L wine64 | grep -m1 '/wine64$')
wineserver=$(dpkg -L wine64 | grep -m1 '/wineserver64$')
export WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wine_prefixes=()
wine_servers=()

wine_prefix() {
    local dir=$1 port
    shift
    export WINEPREFIX="$dir/prefix"
    timeout 30 "$wineserver" -k 2>/dev/null || true
    rm -rf "$WINEPREFIX"
    mkdir -p "$dir"
    wine_prefixes+=("$WINEPREFIX")
    DISPLAY='' timeout 300 "$wine" wineboot -i >"$dir/wineboot.log" 2>&1
    timeout 120 "$wineserver" -w
    DISPLAY='' timeout 60 "$wine" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog \
        /t REG_DWORD /d 0 /f >>"$dir/wineboot.log" 2>&1
    for port in "$@"; do
        local link=$dir/$port
        [[ $port != *=* ]] || link=${port#*=}
        DISPLAY='' timeout 60 "$wine" reg add 'HKLM\Software\Wine\Ports' /v "${port%%=*}" \
            /t REG_SZ /d "$link" /f >>"$dir/wineboot.log" 2>&1
    done
    timeout 120 "$wineserver" -w
    # With no controlling terminal: a wineserver that has a pty as its
    # terminal gets SIGHUP when the pty's master closes.
    setsid "$wineserver" -f -p >"$dir/wineserver.log" 2>&1 &
    wine_servers+=($!)
}

# The server first: it ends the prefix's programs and services with it,
# where a killed server leaves them running.
wine_prefix_end() {
    local prefix pid
    for prefix in "${wine_prefixes[@]}"; do
        WINEPREFIX=$prefix timeout 30 "$wineserver" -k 2>/dev/null || true
    done
    for pid in "${wine_servers[@]}"; do
        timeout 30 tail --pid="$pid" -f /dev/null 2>/dev/null || kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    wine_prefixes=()
    wine_servers=()
}

wine_leftovers() {
    local dir environ pid
    dir=$(realpath -m "$1")
    for environ in /proc/[0-9]*/environ; do
        pid=${environ#/proc/}
        pid=${pid%/environ}
        { tr '\0' '\n' <"$environ"; } 2>/dev/null | grep -qx "WINEPREFIX=$dir/.*" &&
            echo "$pid $({ tr '\0' ' ' </proc/"$pid"/cmdline; } 2>/dev/null)"
    done
    return 0
}
