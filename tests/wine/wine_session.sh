# Helpers for tests that drive Windows programs under Wine on a virtual X display.
WINE64=/usr/lib/wine/wine64
[ -x "$WINE64" ] || WINE64=$(command -v wine64 || command -v wine)
export WINEPREFIX="${WINEPREFIX:-${VARDANE_WINEPREFIX:-$HOME/.wine-vardane}}"
export WINEDEBUG="${WINEDEBUG:--all}"

# Starts Xvfb on a free display and exports DISPLAY; stop_display ends it.
start_display() {
    local n
    for n in $(seq 140 199); do
        [ -e "/tmp/.X$n-lock" ] && continue
        Xvfb ":$n" -nolisten tcp -screen 0 1024x768x24 >/dev/null 2>&1 &
        xvfb_pid=$!
        export DISPLAY=":$n"
        local i
        for i in $(seq 1 50); do
            xdotool getdisplaygeometry >/dev/null 2>&1 && return 0
            sleep 0.1
        done
        kill "$xvfb_pid" 2>/dev/null
    done
    echo "no X display could be started" >&2
    return 1
}

stop_display() {
    [ -n "${xvfb_pid:-}" ] && kill "$xvfb_pid" 2>/dev/null
    return 0
}

# Z: is the Linux root in every Wine prefix.
windows_path() {
    printf 'Z:%s' "$1" | tr '/' '\\'
}
