#!/usr/bin/env bash
# From two game trees to a delta patch, as a publisher makes it (mkpatch diff, then build
# --base), applied by the native patcher: over the old release, again over its result, over a
# modded file, and damaged; and what a ZIP tool that knows nothing of deltas makes of it.
#   delta_road.sh PATCHER MKPATCH
set -u
patcher_bin=$(realpath "$1")
mkpatch_bin=$(realpath "$2")
here=$(cd "$(dirname "$0")" && pwd)
. "$here/lib.sh"

work=$(mktemp -d)
trap 'chmod -R u+w "$work"; rm -rf "$work"' EXIT
cd "$work"

register() {
    printf 'REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Pellmark\\Torvicor\\Vardane]\r\n"Path"="%s"\r\n' "$1" >registry.reg
}
run() {  # run PATCHFILE: sets out, err, rc
    out=$(PATCHER_REGISTRY="$work/registry.reg" "./$1" 2>err.txt)
    rc=$?
    err=$(cat err.txt)
}
fresh_game() {  # fresh_game: game/ holds the old release
    chmod -R u+w game 2>/dev/null
    rm -rf game
    cp -a old game
}

python3 "$here/../../scripts/lib/make-releases.py" old new --pak-mb 4 --assets 160 --seed 5
"$mkpatch_bin" diff old new --out payload >/dev/null
"$mkpatch_bin" build --stub "$patcher_bin" --out patch.exe --base old payload >build.txt 2>&1
check "build made deltas of the pak and the settings" contains "deltas: 2 files against the older release" \
    "$(cat build.txt)"
check "and added the script the payload lacks" contains "holds no patch.bat" "$(cat build.txt)"
pak_delta=$(unzip -Z -l patch.exe 2>/dev/null | awk '/game.pak.vdelta/ { print $6 }')
check "the pak's delta is a small part of the pak" test "${pak_delta:-999999999}" -lt $(($(stat -c %s new/Data/game.pak) / 10))
chmod +x patch.exe

register "$work/game"
fresh_game
run patch.exe
check "over the old release: success" same "0 Vardane Patch 1.02: Patch was successfully applied." "$rc $err"
check "the game is the new release" same "" "$(diff -r game new)"
check "lines for the delta entries name their targets" contains " extracting: Data/game.pak" "$out"

run patch.exe
check "again over the result: success" same "0 Vardane Patch 1.02: Patch was successfully applied." "$rc $err"
check "the pak counts as done" contains " up to date: Data/game.pak" "$out"
check "and is still the new one" same "" "$(diff -r game new)"

fresh_game
printf 'mod' >>game/Data/game.pak
cp -a game modded
run patch.exe
check "over a modded pak: outcome 11" same \
    "1 Vardane Patch 1.02: Some game files are not the version this patch updates, so nothing was changed. Install the full patch instead, or restore the game's files and apply this patch again." \
    "$rc $err"
check "the line names the file" contains "not the version this patch updates: Data/game.pak" "$out"
check "and nothing was written" same "" "$(diff -r game modded)"

# A byte of the pak's frames flipped: the stored bytes' CRC fails before anything is decoded.
fresh_game
offset=$(python3 -c 'import sys; d = open(sys.argv[1], "rb").read(); print(d.index(b"Data/game.pak.vdelta") + 20 + 40 + 500)' patch.exe)
cp patch.exe damaged.exe
printf '\377' | dd of=damaged.exe bs=1 seek="$offset" conv=notrunc status=none
run damaged.exe
check "a damaged delta: outcome 5" same "1 Vardane Patch 1.02: Patch file is corrupted" "$rc $err"
check "the old pak is intact" cmp -s game/Data/game.pak old/Data/game.pak

# A ZIP tool that does not know deltas writes the frames under names of their own.
mkdir foreign
unzip -qq -o patch.exe -d foreign 2>/dev/null
check "unzip wrote the frames beside, never over, the targets" same "game.pak.vdelta new-voices.txt" \
    "$(ls foreign/Data | grep -v cfg | tr '\n' ' ' | sed 's/ $//')"
finish
