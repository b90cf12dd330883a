# Sourced by the measuring tools: a private desktop for one measurement, with an X
# server (Xvfb through the xcb platform, as users run the app) when there is one, and a
# stand-in tray host on the session bus. Needs $scratch (a scratch folder) and $build.

# Starts Xvfb unless it is missing or VXR_MEASURE_OFFSCREEN=1; sets QT_QPA_PLATFORM,
# DISPLAY, $xvfb (its pid, or empty) and $platform (words for the report).
start_display() {
    xvfb=""
    platform="offscreen"
    export QT_QPA_PLATFORM=offscreen
    if command -v Xvfb > /dev/null && [ "${VXR_MEASURE_OFFSCREEN:-0}" != 1 ]; then
        Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3> "$scratch/display" 2> /dev/null &
        xvfb=$!
        for _ in $(seq 50); do [ -s "$scratch/display" ] && break; sleep 0.1; done
        export DISPLAY=":$(cat "$scratch/display")" QT_QPA_PLATFORM=xcb
        platform="Xvfb (xcb)"
    fi
}

# Waits up to 10 s for a name on the session bus; false when it never came.
wait_for_bus_name() {
    for _ in $(seq 100); do
        gdbus call --session --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus \
            --method org.freedesktop.DBus.NameHasOwner "$1" 2>/dev/null | grep -q true && return 0
        sleep 0.1
    done
    return 1
}

# Starts the stand-in tray host with the given arguments (output to $1) and waits
# until it owns its name; sets $host.
start_tray_host() {
    local out="$1"
    shift
    "$build/bench/vxr-stand-in-tray-host" "$@" > "$out" &
    host=$!
    wait_for_bus_name org.kde.StatusNotifierWatcher
}

# Ends what was started above, by pid.
stop_pid() {
    [ -n "${1:-}" ] || return 0
    kill -TERM "$1" 2>/dev/null || true
    wait "$1" 2>/dev/null || true
}
