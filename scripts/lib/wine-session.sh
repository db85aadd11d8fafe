# Helpers for driving Windows programs under Wine on a virtual X display (tests and demo).
WINE64=/usr/lib/wine/wine64
[ -x "$WINE64" ] || WINE64=$(command -v wine64 || command -v wine)
export WINEPREFIX="${WINEPREFIX:-${VARDANE_WINEPREFIX:-$HOME/.wine-vardane}}"
export WINEDEBUG="${WINEDEBUG:--all}"

# Uses the X display in DISPLAY when it answers; otherwise starts Xvfb on a free display and
# exports DISPLAY. stop_display ends an Xvfb started here.
start_display() {
    if [ -n "${DISPLAY:-}" ] && xdotool getdisplaygeometry >/dev/null 2>&1; then
        return 0
    fi
    local n i
    for n in $(seq 140 199); do
        [ -e "/tmp/.X$n-lock" ] && continue
        Xvfb ":$n" -nolisten tcp -screen 0 1024x768x24 >/dev/null 2>&1 &
        xvfb_pid=$!
        export DISPLAY=":$n"
        for i in $(seq 1 50); do
            if xdotool getdisplaygeometry >/dev/null 2>&1; then
                # A Wine server started without a display keeps its windows off screen.
                wineserver -k >/dev/null 2>&1 || true
                return 0
            fi
            sleep 0.1
        done
        kill "$xvfb_pid" 2>/dev/null
    done
    echo "no X display could be started" >&2
    return 1
}

stop_display() {
    if [ -n "${xvfb_pid:-}" ]; then
        wineserver -k >/dev/null 2>&1 || true
        kill "$xvfb_pid" 2>/dev/null
        xvfb_pid=""
    fi
    return 0
}

# Z: is the Linux root in every Wine prefix.
windows_path() {
    printf 'Z:%s' "$1" | tr '/' '\\'
}

# run_with_message_boxes CAPTION SHOT OUT ERR EXE [ARGS...]: runs a Windows program with the
# message box trace on, photographs each box (SHOT.png for the one titled CAPTION, SHOT-shell.png
# for any other, such as the shell's own error box) and dismisses it with Return.
# The program's exit status is left in box_rc, and the processes that ran when the box
# titled CAPTION appeared in box_processes. Every wait is for a window to appear or to go,
# bounded at four minutes, however slow a busy machine makes Wine.
run_with_message_boxes() {
    local caption=$1 shot=$2 out=$3 err=$4
    shift 4
    # Only the message box trace: other channels' lines from other threads could break its lines.
    WINEDEBUG=-all,+msgbox "$WINE64" "$@" >"$out" 2>"$err" &
    local pid=$! window="" candidate photographed=" " i
    for i in $(seq 1 480); do
        kill -0 "$pid" 2>/dev/null || break
        for candidate in $(xdotool search --onlyvisible --name '.' 2>/dev/null); do
            if [ "$(xdotool getwindowname "$candidate" 2>/dev/null)" = "$caption" ]; then
                window=$candidate
                break
            fi
            # Another box (the shell's own): photographed once, then sent Return on every
            # round until it has gone, since a key sent before it has the focus is lost.
            case "$photographed" in
            *" $candidate "*) ;;
            *)
                photographed="$photographed$candidate "
                sleep 1  # drawn before it is photographed
                import -window root "$shot-shell.png" 2>/dev/null
                ;;
            esac
            xdotool windowfocus --sync "$candidate" 2>/dev/null
            xdotool key Return
        done
        [ -n "$window" ] && break
        sleep 0.5
    done
    box_processes=""
    if [ -n "$window" ]; then
        box_processes=$(ps -eo args)
        sleep 1  # drawn before it is photographed
        import -window root "$shot.png" 2>/dev/null
        for i in $(seq 1 480); do
            kill -0 "$pid" 2>/dev/null || break
            xdotool windowfocus --sync "$window" 2>/dev/null
            xdotool key Return
            sleep 0.5
        done
    else
        echo "no message box titled \"$caption\" appeared" >&2
        kill "$pid" 2>/dev/null
    fi
    wait "$pid"
    box_rc=$?
    return 0
}

# read_message_boxes ERR: sets msg to the last box's text and shell_msg to an earlier one's.
read_message_boxes() {
    local texts
    texts=$(grep -a -o 'MSGBOX_OnInit L"[^"]*"' "$1" | sed 's/^MSGBOX_OnInit L"//; s/"$//')
    msg=$(printf '%s\n' "$texts" | tail -n 1)
    shell_msg=""
    if [ "$(printf '%s\n' "$texts" | wc -l)" -gt 1 ]; then
        shell_msg=$(printf '%s\n' "$texts" | head -n 1)
    fi
}
