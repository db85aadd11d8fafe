#!/usr/bin/env bash
# The kit's main job, shown end to end: a sample Vardane installation, a sample patch built
# with mkpatch (game files, Ogg Vorbis sounds in nested folders under Patch, the sound
# converter and the real patch.bat), the installation registered, the patch applied, and what
# changed: the new game files, the WAV files under Sounds, and Patch, the converter and the
# script gone again.
# Under Wine the real Windows build runs with the Wine registry, and the converter's progress
# window and the outcome message box are photographed; without Wine, the native build runs
# with a registry file.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

bash scripts/setup.sh >/dev/null
say() { printf '\n== %s\n' "$*"; }

mode=native
if [ -x /usr/lib/wine/wine64 ] || command -v wine64 >/dev/null 2>&1; then
    mode=wine
fi
preset=native
[ "$mode" = wine ] && preset=mingw-x86_64
say "building the $preset preset"
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" >/dev/null
bin="$root/build/$preset/bin"

demo="$root/build/demo"
chmod -R u+w "$demo" 2>/dev/null || true
rm -rf "$demo"
mkdir -p "$demo"
game="$demo/Vardane"
payload="$demo/payload"

say "a sample installation in $game"
mkdir -p "$game/Data/Maps" "$game/Sounds"
printf 'MZ fake game executable\n' >"$game/Vardane.exe"
printf '[video]\nwidth=640\nheight=480\n' >"$game/Data/config.ini"
chmod a-w "$game/Data/config.ini"  # the game's installer left it read-only
printf 'map one, version 1.01\n' >"$game/Data/Maps/one.map"
printf 'Vardane 1.01\n' >"$game/readme.txt"
touch -d '2004-03-01 12:00' "$game"/Data/config.ini "$game"/Data/Maps/one.map "$game"/readme.txt "$game"/Vardane.exe

say "a sample patch: new and changed game files, sounds, the converter and patch.bat"
mkdir -p "$payload/Data/Maps/Extra" "$payload/Patch/music" "$payload/Patch/voices/intro" "$payload/Patch/sfx"
printf '[video]\nwidth=800\nheight=600\n' >"$payload/Data/config.ini"
printf 'map one, version 1.02\n' >"$payload/Data/Maps/one.map"
printf 'a new map\n' >"$payload/Data/Maps/Extra/two.map"
printf 'Vardane 1.02\n' >"$payload/readme.txt"
sound() {  # sound OUT RATE CHANNELS SECONDS SYNTH...
    local out=$1 rate=$2 channels=$3 seconds=$4
    shift 4
    sox -V1 -n -r "$rate" -c "$channels" -b 16 -e signed -t raw - synth "$seconds" "$@" |
        oggenc -Q -q 4 -r -R "$rate" -C "$channels" -B 16 -o "$out" -
}
sound "$payload/Patch/music/theme.ogg" 44100 2 90 pluck 220 pluck 330 tremolo 2 40 gain -6 &
sound "$payload/Patch/music/battle.ogg" 44100 2 90 square 110 sine 440 tremolo 6 60 gain -12 &
wait
sound "$payload/Patch/music/village.ogg" 44100 2 90 sine 262 sine 392 tremolo 1 30 gain -8 &
sound "$payload/Patch/music/caves.ogg" 44100 2 90 brownnoise sine mix 98 gain -10 &
wait
sound "$payload/Patch/voices/intro/hello.ogg" 22050 1 3 sine 180-240 gain -3
sound "$payload/Patch/voices/intro/farewell.ogg" 22050 1 3 sine 240-160 gain -3
sound "$payload/Patch/sfx/DOOR.OGG" 22050 1 1 brownnoise fade 0 1 0.8 gain -2
if [ "$mode" = wine ]; then
    cp "$bin/sondrel.exe" "$payload/sondrel.exe"
    cp "$root/sondrel/patch.bat" "$payload/patch.bat"
else
    # The native stand-in for patch.bat: /bin/sh runs it in the install folder.
    cp "$bin/sondrel" "$payload/sondrel"
    printf './sondrel "$1" "$2"\nrm -rf Patch sondrel "$0"\n' >"$payload/patch.bat"
fi
touch -d '2005-06-15 09:30' $(find "$payload" -type f)

listing() {
    (cd "$1" && find . -type f -printf '%M %9s %TY-%Tm-%Td %TH:%TM  %P\n' | sort -k5)
}
before=$(listing "$game")

if [ "$mode" = wine ]; then
    . scripts/lib/wine-session.sh
    export WINEPREFIX="${VARDANE_WINEPREFIX:-$root/build/wineprefix}"
    start_display
    trap stop_display EXIT
    bash scripts/wine-prefix.sh >/dev/null
    "$WINE64" "$bin/mkpatch.exe" build --stub "$(windows_path "$bin/patcher.exe")" \
        --out "$(windows_path "$demo/vardane-patch-1.02.exe")" "$(windows_path "$payload")"
    "$WINE64" "$bin/mkpatch.exe" list "$(windows_path "$demo/vardane-patch-1.02.exe")" | tr -d '\r'

    say "registering the installation in the Wine registry"
    "$WINE64" reg add 'HKLM\Software\Pellmark\Torvicor\Vardane' /v Path /t REG_SZ /d "$(windows_path "$game")" /f 2>/dev/null | tr -d '\r'

    say "applying the patch (Windows build under Wine; the windows are photographed, the message box dismissed)"
    # The converter's progress window is photographed as soon as it shows its text.
    ( "$WINE64" "$bin/progress_probe.exe" "$(windows_path "$demo/progress-window.txt")" 120 &&
        import -window root "$demo/progress-window.png" 2>/dev/null ) &
    watcher=$!
    cd "$demo"
    run_with_message_boxes "Vardane Patch 1.02" "$demo/message-box" "$demo/console.txt" "$demo/trace.txt" \
        "$demo/vardane-patch-1.02.exe"
    cd "$root"
    wait "$watcher" || true
    tr -d '\r' <"$demo/console.txt"
    read_message_boxes "$demo/trace.txt"
    outcome="$msg"
    rc=$box_rc
else
    "$bin/mkpatch" build --stub "$bin/patcher" --out "$demo/vardane-patch-1.02" "$payload"
    "$bin/mkpatch" list "$demo/vardane-patch-1.02"
    chmod +x "$demo/vardane-patch-1.02"

    say "registering the installation in a registry file"
    printf 'REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Pellmark\\Torvicor\\Vardane]\r\n"Path"="%s"\r\n' "$game" >"$demo/registry.reg"
    cat "$demo/registry.reg"

    say "applying the patch (native build)"
    set +e
    (cd "$demo" && PATCHER_REGISTRY="$demo/registry.reg" ./vardane-patch-1.02 2>"$demo/message.txt")
    rc=$?
    set -e
    cat "$demo/message.txt"
    outcome=$(tail -n 1 "$demo/message.txt")
fi

say "outcome"
echo "message box: $outcome"
echo "exit status: $rc"

say "before"
printf '%s\n' "$before"
say "after"
listing "$game"

say "the sounds the converter wrote under Sounds"
python3 - "$game/Sounds" <<'PY'
import os, sys, wave
root = sys.argv[1]
for folder, _, names in sorted(os.walk(root)):
    for name in sorted(names):
        path = os.path.join(folder, name)
        with wave.open(path, "rb") as w:
            frames, rate, channels = w.getnframes(), w.getframerate(), w.getnchannels()
            kind = {1: "mono", 2: "stereo"}.get(channels, "%d channels" % channels)
            print("  %-28s PCM %d-bit %-6s %5d Hz %7.2f s %10d bytes" % (
                os.path.relpath(path, root), 8 * w.getsampwidth(), kind, rate, frames / rate, os.path.getsize(path)))
PY

say "what patch.bat cleaned up"
for leftover in Patch sondrel.exe sondrel patch.bat; do
    if [ -e "$game/$leftover" ]; then
        echo "  $leftover: still there"
    else
        echo "  $leftover: gone"
    fi
done
if [ "$mode" = wine ]; then
    say "screenshots"
    echo "  progress window: $demo/progress-window.png"
    echo "  message box:     $demo/message-box.png"
fi
