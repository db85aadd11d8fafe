# The 32-bit Windows test environment: an i386 Debian chroot with 32-bit Wine, run on this
# 64-bit-only kernel through qemu-i386 registered with binfmt_misc. scripts/setup.sh builds
# it; scripts/win32-run runs one Windows program in it.
#
# A session holds what a run needs in the chroot: /proc, /sys, /dev (with pts and shm), the X
# socket folder and the trees the programs are handed paths into, bound at the same paths; a
# virtual display when none answers; and a Wine server kept alive. Sessions are counted by
# holder: the last one to end stops the server and unmounts everything below the chroot.
I386_HOME="${VARDANE_I386:-/opt/vardane-i386}"
I386_QEMU="$I386_HOME/bin/qemu-i386"
I386_ROOT="$I386_HOME/chroot"
I386_STATE="$I386_HOME/session"
# The Wine prefix, as the chroot sees it.
I386_PREFIX=/var/lib/vardane/wine32
I386_BINFMT=/proc/sys/fs/binfmt_misc
I386_BINFMT_NAME=vardane-i386
# An i386 ELF executable (ET_EXEC or ET_DYN), as qemu's own binfmt configuration matches it.
I386_ELF_MAGIC='\x7f\x45\x4c\x46\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
I386_ELF_MASK='\xff\xff\xff\xff\xff\xfe\xfe\xfc\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'

i386_log() { printf '[i386-env] %s\n' "$*" >&2; }

# binfmt_misc must be mounted and hold the registration; both are kernel state, gone after a
# reboot. The F flag opens the interpreter now, so it serves inside the chroot too.
i386_binfmt_ready() {
    local entry="$I386_BINFMT/$I386_BINFMT_NAME"
    [ -f "$entry" ] && grep -qx enabled "$entry" && grep -qx "interpreter $I386_QEMU" "$entry" &&
        grep -q '^flags:.*F' "$entry"
}

i386_register_binfmt() {
    if ! mountpoint -q "$I386_BINFMT"; then
        i386_log "mounting binfmt_misc"
        mount -t binfmt_misc binfmt_misc "$I386_BINFMT"
    fi
    i386_binfmt_ready && return 0
    [ -f "$I386_BINFMT/$I386_BINFMT_NAME" ] && echo -1 >"$I386_BINFMT/$I386_BINFMT_NAME"
    i386_log "registering $I386_QEMU for i386 ELF programs"
    printf ':%s:M::%s:%s:%s:F\n' "$I386_BINFMT_NAME" "$I386_ELF_MAGIC" "$I386_ELF_MASK" "$I386_QEMU" \
        >"$I386_BINFMT/register"
    i386_binfmt_ready
}

# What is mounted at or below the chroot, deepest first.
i386_mounts() {
    awk -v root="$I386_ROOT" '$5 == root || index($5, root "/") == 1 { print $5 }' /proc/self/mountinfo |
        sort -r
}

i386_unmount_all() {
    local m
    for m in $(i386_mounts); do
        umount "$m" 2>/dev/null || umount -l "$m"
    done
}

# i386_bind HOST-PATH: binds it at the same path inside the chroot, once.
i386_bind() {
    local path target
    path=$(realpath "$1") || return 1
    target="$I386_ROOT$path"
    mountpoint -q "$target" && return 0
    mkdir -p "$target"
    mount --bind "$path" "$target"
}

# The trees a run hands paths into: this source tree, the shared folder beside it (the test
# corpus), the temporary folder, and any more named in VARDANE_I386_BIND (colon-separated).
i386_trees() {
    local here source extra
    here=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
    source=$(realpath "$here")
    echo "$source"
    [ -d "$source/../shared" ] && realpath "$source/../shared"
    [ -n "${TMPDIR:-}" ] && [ -d "$TMPDIR" ] && realpath "$TMPDIR"
    if [ -n "${VARDANE_I386_BIND:-}" ]; then
        tr ':' '\n' <<<"$VARDANE_I386_BIND" | sed '/^$/d'
    fi
    return 0
}

# Runs a command in the chroot with Wine's environment: i386_exec COMMAND [ARGS...], ended
# after I386_TIMEOUT seconds (600 unless set). The current folder is kept: it lies in one of
# the bound trees.
i386_exec() {
    local dir
    dir=$(pwd -P)
    timeout -k 10 "${I386_TIMEOUT:-600}" chroot "$I386_ROOT" /usr/bin/env -i \
        PATH=/usr/local/bin:/usr/bin:/bin HOME=/root USER=root \
        LANG="${LANG:-C.UTF-8}" ${LC_ALL:+LC_ALL="$LC_ALL"} \
        DISPLAY="${DISPLAY:-}" WINEPREFIX="$I386_PREFIX" WINEARCH=win32 \
        WINEDEBUG="${WINEDEBUG:--all}" WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}" \
        /bin/sh -c 'cd "$0" 2>/dev/null || cd /; exec "$@"' "$dir" "$@"
}

i386_display_answers() {
    [ -n "${DISPLAY:-}" ] && xdotool getdisplaygeometry >/dev/null 2>&1
}

# i386_session_begin HOLDER: makes the session ready (or joins it) and records HOLDER as
# holding it. Exports DISPLAY as the session's display.
i386_session_begin() {
    local holder=$1 n i
    if [ ! -x "$I386_QEMU" ] || [ ! -f "$I386_ROOT/.vardane-ready" ]; then
        echo "no 32-bit environment in $I386_HOME: run scripts/setup.sh" >&2
        return 1
    fi
    mkdir -p "$I386_STATE/holders"
    exec 9>"$I386_STATE/lock"
    flock -w 600 9 || return 1
    i386_register_binfmt >/dev/null || { flock -u 9; return 1; }
    if [ -f "$I386_STATE/display" ]; then
        DISPLAY=$(cat "$I386_STATE/display")
        export DISPLAY
    fi
    if ! i386_display_answers; then
        # A display of the session's own, which outlives this process: the session ends it.
        for n in $(seq 170 199); do
            [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
            # setsid may fork: the server's own pid is read from its lock file.
            setsid Xvfb ":$n" -nolisten tcp -screen 0 1024x768x24 </dev/null >/dev/null 2>&1 9>&- &
            export DISPLAY=":$n"
            for i in $(seq 1 300); do
                i386_display_answers && break
                sleep 0.1
            done
            if i386_display_answers; then
                tr -d ' ' <"/tmp/.X$n-lock" >"$I386_STATE/xvfb.pid"
                break
            fi
            [ -f "/tmp/.X$n-lock" ] && kill "$(tr -d ' ' <"/tmp/.X$n-lock")" 2>/dev/null
        done
        i386_display_answers || { echo "no X display could be started" >&2; flock -u 9; return 1; }
        # A server started for another display would keep the windows off this one.
        if [ -f "$I386_STATE/server" ]; then
            I386_TIMEOUT=60 i386_exec wineserver -k >/dev/null 2>&1
        fi
        rm -f "$I386_STATE/server"
    fi
    echo "$DISPLAY" >"$I386_STATE/display"
    local tree
    for tree in /proc /sys /dev /dev/pts /dev/shm /tmp/.X11-unix $(i386_trees); do
        if [ -e "$tree" ] && ! i386_bind "$tree"; then
            flock -u 9
            return 1
        fi
    done
    if [ ! -f "$I386_STATE/server" ]; then
        # Wine's background processes keep the standard output of the program that started
        # them, and never end under a kept-alive server: start them with theirs on /dev/null.
        I386_TIMEOUT=120 i386_exec wineserver -p </dev/null >/dev/null 2>&1
        I386_TIMEOUT=300 i386_exec wine cmd /c exit </dev/null >/dev/null 2>&1
        touch "$I386_STATE/server"
    fi
    touch "$I386_STATE/holders/$holder"
    flock -u 9
}

# i386_session_end HOLDER: the last holder stops the server, unmounts and ends the display.
i386_session_end() {
    local holder=$1
    exec 9>"$I386_STATE/lock"
    flock -w 600 9 || return 1
    rm -f "$I386_STATE/holders/$holder"
    if [ -z "$(ls -A "$I386_STATE/holders" 2>/dev/null)" ]; then
        if [ -f "$I386_STATE/server" ]; then
            I386_TIMEOUT=60 i386_exec wineserver -k >/dev/null 2>&1
            I386_TIMEOUT=60 i386_exec wineserver -w >/dev/null 2>&1
        fi
        rm -f "$I386_STATE/server"
        i386_unmount_all
        if [ -f "$I386_STATE/xvfb.pid" ]; then
            local xvfb i
            xvfb=$(cat "$I386_STATE/xvfb.pid")
            kill "$xvfb" 2>/dev/null
            for i in $(seq 1 100); do
                kill -0 "$xvfb" 2>/dev/null || break
                sleep 0.1
            done
            rm -f "$I386_STATE/xvfb.pid"
        fi
        rm -f "$I386_STATE/display"
    fi
    flock -u 9
}
