#!/usr/bin/env bash
# The kit's main job, shown end to end: a sample Vardane installation, a sample patch built
# with mkpatch, the installation registered, the patch applied, and what changed.
# Under Wine the real Windows build runs with the Wine registry; without Wine, the native
# build runs with a registry file.
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

say "a sample patch: new and changed files, and a patch.bat that lists what it received"
mkdir -p "$payload/Data/Maps/Extra" "$payload/Patch/Music"
printf '[video]\nwidth=800\nheight=600\n' >"$payload/Data/config.ini"
printf 'map one, version 1.02\n' >"$payload/Data/Maps/one.map"
printf 'a new map\n' >"$payload/Data/Maps/Extra/two.map"
printf 'Vardane 1.02\n' >"$payload/readme.txt"
head -c 40000 /dev/urandom >"$payload/Patch/Music/theme.ogg"
if [ "$mode" = wine ]; then
    printf '@echo off\r\necho patch.bat received: %%1 %%2> patch-log.txt\r\ndir /s /b Patch>> patch-log.txt\r\n' >"$payload/patch.bat"
else
    printf 'echo "patch.bat received: $1 $2" > patch-log.txt\nfind Patch >> patch-log.txt\n' >"$payload/patch.bat"
fi
touch -d '2005-06-15 09:30' $(find "$payload" -type f)

listing() {
    (cd "$1" && find . -type f -printf '%M %6s %TY-%Tm-%Td %TH:%TM  %P\n' | sort -k5)
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

    say "applying the patch (Windows build under Wine; the message box is photographed and dismissed)"
    cd "$demo"
    run_with_message_boxes "Vardane Patch 1.02" "$demo/message-box" "$demo/console.txt" "$demo/trace.txt" \
        "$demo/vardane-patch-1.02.exe"
    cd "$root"
    tr -d '\r' <"$demo/console.txt"
    read_message_boxes "$demo/trace.txt"
    outcome="$msg"
    rc=$box_rc
    echo "(screenshot of the message box: $demo/message-box.png)"
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
    outcome=$(cat "$demo/message.txt")
fi

say "outcome"
echo "message box: $outcome"
echo "exit status: $rc"

say "before"
printf '%s\n' "$before"
say "after"
listing "$game"
say "what patch.bat received"
tr -d '\r' <"$game/patch-log.txt"
