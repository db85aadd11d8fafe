#!/usr/bin/env bash
# Non-ASCII names on the 64-bit Windows road under Wine in the German locale (ANSI code page
# 1252): mkpatch.exe builds a patch of a tree with German and French names, its sound from a
# WAV master, and the patcher, the real patch.bat and the converter bring every name back as
# Windows spells it; a jar-made archive (UTF-8 names with flag bit 11) appended to the patcher
# lands the same way.
#   names_wine.sh PATCHER MKPATCH ARTEFACTS
set -u
here=$(cd "$(dirname "$0")" && pwd)
patcher_exe=$(realpath "$1")
mkpatch_exe=$(realpath "$2")
shots=$3
. "$here/../scripts/lib.sh"
. "$here/../../scripts/lib/wine-session.sh"
export LC_ALL=de_DE.UTF-8

mkdir -p "$shots"
work=$(mktemp -d)
cleanup() {
    stop_display
    rm -rf "$work"
}
trap cleanup EXIT
start_display || exit 1

key='HKLM\Software\Pellmark\Torvicor\Vardane'
register() { "$WINE64" reg add "$key" /v Path /t REG_SZ /d "$1" /f >/dev/null 2>&1; }
unregister() { "$WINE64" reg delete "$key" /f >/dev/null 2>&1; }
cp1252() { printf '%s' "$1" | iconv -f UTF-8 -t CP1252; }
tree_of() { (cd "$1" && find . -mindepth 1 | sed 's|^\./||' | LC_ALL=C sort | tr '\n' ' ' | sed 's/ $//'); }

# run_patcher EXE SHOT-NAME: sets out (console lines, read back from code page 1252), msg and rc.
run_patcher() {
    cd "$work"
    run_with_message_boxes "Vardane Patch 1.02" "$shots/$2" "$work/out.txt" "$work/err.txt" "$1"
    cd - >/dev/null
    out=$(tr -d '\r' <"$work/out.txt" | iconv -f CP1252 -t UTF-8)
    read_message_boxes "$work/err.txt"
    rc=$box_rc
}

payload="$work/payload"
masters="$work/masters"
mkdir -p "$payload/Daten/Schlüssel" "$payload/Musique/Élan" "$masters/Stimmen"
printf 'Schlüssel' >"$payload/Daten/Schlüssel/Tür.txt"
printf 'crème' >"$payload/Musique/Élan/Café crème.dat"
sox -V1 -n -r 22050 -c 1 -b 16 "$masters/Stimmen/Grüße.wav" synth 0.5 sine 440 gain -6
"$WINE64" "$mkpatch_exe" build --stub "$(windows_path "$patcher_exe")" --out "$(windows_path "$work/names.exe")" \
    --sounds "$(windows_path "$masters")" "$(windows_path "$payload")" >/dev/null
check "mkpatch.exe stores every name in code page 1252, without the UTF-8 flag" same \
    "$(cp1252 'Daten/Schlüssel/Tür.txt') 0
$(cp1252 'Musique/Élan/Café crème.dat') 0
$(cp1252 'Patch/Stimmen/Grüße.ogg') 0
patch.bat 0
sondrel.exe 0" "$(python3 -c '
import sys, zipfile
for i in zipfile.ZipFile(sys.argv[1]).infolist():
    sys.stdout.buffer.write(i.orig_filename.encode("cp437") + b" %d\n" % (i.flag_bits >> 11 & 1))' "$work/names.exe")"
check "mkpatch.exe lists them in the code page of a redirected console" contains "Musique/Élan/Café crème.dat" \
    "$("$WINE64" "$mkpatch_exe" list "$(windows_path "$work/names.exe")" | tr -d '\r' | iconv -f CP1252 -t UTF-8)"

game="$work/game"
mkdir -p "$game"
register "$(windows_path "$game")"
run_patcher "$work/names.exe" names-outcome-0
check "the patch with accented names applies" same "0 Patch was successfully applied." "$rc $msg"
check "its console lines name the entries" same " extracting: Daten/Schlüssel/Tür.txt
 extracting: Musique/Élan/Café crème.dat
 extracting: Patch/Stimmen/Grüße.ogg" "$(printf '%s\n' "$out" | grep '^ extracting' | head -n 3)"
check "every name lands as Windows spells it, the sound converted by the real patch.bat" same \
    "Daten Daten/Schlüssel Daten/Schlüssel/Tür.txt Musique Musique/Élan Musique/Élan/Café crème.dat Sounds Sounds/Stimmen Sounds/Stimmen/Grüße.wav" \
    "$(tree_of "$game")"
check "the files hold their contents" same "Schlüssel crème" \
    "$(cat "$game/Daten/Schlüssel/Tür.txt") $(cat "$game/Musique/Élan/Café crème.dat")"
python3 -c '
import sys, zipfile
archive = zipfile.ZipFile(sys.argv[1])
sys.stdout.buffer.write(archive.read("Patch/Stimmen/Grüße.ogg".encode("cp1252").decode("cp437")))' \
    "$work/names.exe" >"$work/sound.ogg"
oggdec -Q -o "$work/expected.wav" "$work/sound.ogg"
check "Sounds/Stimmen/Grüße.wav holds what oggdec decodes from the archive" \
    cmp "$work/expected.wav" "$game/Sounds/Stimmen/Grüße.wav"

# A name the game's code page cannot hold is refused before anything is written.
mkdir -p "$work/polish/Data"
printf 'x' >"$work/polish/Data/Łódź.txt"
"$WINE64" "$mkpatch_exe" build --stub "$(windows_path "$patcher_exe")" --out "$(windows_path "$work/polish.exe")" \
    "$(windows_path "$work/polish")" >/dev/null 2>"$work/refusal.txt"
polish_rc=$?
check "mkpatch.exe refuses Łódź.txt, naming it and the code page" same \
    "1 mkpatch: code page 1252 cannot hold the name \"Data/?ód?.txt\"" \
    "$polish_rc $(tr -d '\r' <"$work/refusal.txt" | iconv -f CP1252 -t UTF-8)"
check "and writes nothing" same "" "$(ls "$work" | grep '^polish\.exe')"
# For code page 1250 it holds: mkpatch.exe reads the tree's names as Unicode, not through
# this system's code page, which has no Ł.
"$WINE64" "$mkpatch_exe" build --codepage 1250 --stub "$(windows_path "$patcher_exe")" \
    --out "$(windows_path "$work/polish.exe")" "$(windows_path "$work/polish")" >/dev/null
check "mkpatch.exe stores Łódź.txt for code page 1250" same "$(printf 'Data/\243\363d\237.txt')" \
    "$(python3 -c '
import sys, zipfile
sys.stdout.buffer.write(zipfile.ZipFile(sys.argv[1]).namelist()[0].encode("cp437"))' "$work/polish.exe")"

# The JDK's jar: UTF-8 names with flag bit 11, folder entries of their own.
jartree="$work/jartree"
mkdir -p "$jartree/Daten/Schlüssel" "$jartree/Musique/Élan"
printf 'aus dem jar' >"$jartree/Daten/Schlüssel/Tür.txt"
printf 'du jar' >"$jartree/Musique/Élan/Café crème.dat"
printf '@exit /b 0\r\n' >"$jartree/patch.bat"
(cd "$jartree" && jar cfM "$work/names.jar" Daten Musique patch.bat)
cat "$patcher_exe" "$work/names.jar" >"$work/jar.exe"
game="$work/jargame"
mkdir -p "$game"
register "$(windows_path "$game")"
run_patcher "$work/jar.exe" jar-outcome-0
check "the jar archive applies" same "0 Patch was successfully applied." "$rc $msg"
check "its lines name the converted names" contains "creating directory: Musique/Élan/
 extracting: Musique/Élan/Café crème.dat" "$out"
check "its names land as Windows spells them" same \
    "Daten Daten/Schlüssel Daten/Schlüssel/Tür.txt Musique Musique/Élan Musique/Élan/Café crème.dat patch.bat" \
    "$(tree_of "$game")"
check "with their contents" same "aus dem jar" "$(cat "$game/Daten/Schlüssel/Tür.txt")"

unregister
finish
