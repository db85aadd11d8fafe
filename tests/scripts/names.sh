#!/usr/bin/env bash
# Non-ASCII names natively, where the platform layer stands in for a Windows of code page
# 1252: a mkpatch patch of a tree with German and French names (a sound among them, converted
# by the native converter) and a jar-made archive (UTF-8 names, flag bit 11) land with the
# same names; mkpatch refuses a name code page 1252 cannot hold, the patcher a flagged one.
#   names.sh PATCHER MKPATCH SONDREL
set -u
patcher_bin=$(realpath "$1")
mkpatch_bin=$(realpath "$2")
sondrel_bin=$(realpath "$3")
. "$(dirname "$0")/lib.sh"
export LC_ALL=C.UTF-8

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

cp1252() { printf '%s' "$1" | iconv -f UTF-8 -t CP1252; }
tree_of() { (cd "$1" && find . -mindepth 1 | sed 's|^\./||' | LC_ALL=C sort | tr '\n' ' ' | sed 's/ $//'); }

# apply PATCHER-FILE GAME: sets out (console lines, read back from code page 1252) and rc
apply() {
    mkdir -p "$2"
    printf 'REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Pellmark\\Torvicor\\Vardane]\r\n"Path"="%s"\r\n' \
        "$work/$2" >registry.reg
    PATCHER_REGISTRY="$work/registry.reg" "./$1" >raw.txt 2>err.txt
    rc=$?
    out=$(iconv -f CP1252 -t UTF-8 <raw.txt 2>/dev/null)
}

mkdir -p "tree/Daten/Schlüssel" "tree/Musique/Élan" "tree/Patch/Stimmen" "tree/Patch/Thèmes/Été"
printf 'Schlüssel' >"tree/Daten/Schlüssel/Tür.txt"
printf 'crème' >"tree/Musique/Élan/Café crème.dat"
sox -V1 -n -r 22050 -c 1 -b 16 -e signed -t raw - synth 0.3 sine 440 |
    oggenc -Q -r -R 22050 -C 1 -B 16 -o "tree/Patch/Stimmen/Grüße.ogg" -
cp "tree/Patch/Stimmen/Grüße.ogg" "tree/Patch/Thèmes/Été/Brûlé.ogg"
printf 'exit 0\n' >tree/patch.bat
"$mkpatch_bin" build --stub "$patcher_bin" --out names.exe tree >/dev/null
chmod +x names.exe
check "mkpatch stores the names in code page 1252, without the UTF-8 flag" same \
    "$(cp1252 'Daten/Schlüssel/Tür.txt') 0
$(cp1252 'Musique/Élan/Café crème.dat') 0
$(cp1252 'Patch/Stimmen/Grüße.ogg') 0
$(cp1252 'Patch/Thèmes/Été/Brûlé.ogg') 0
patch.bat 0" "$(python3 -c '
import sys, zipfile
for i in zipfile.ZipFile(sys.argv[1]).infolist():
    sys.stdout.buffer.write(i.orig_filename.encode("cp437") + b" %d\n" % (i.flag_bits >> 11 & 1))' names.exe)"
check "list shows them in the terminal's encoding" contains "Musique/Élan/Café crème.dat" \
    "$("$mkpatch_bin" list names.exe)"
check "and with '?' for what an ASCII terminal cannot show" contains "Daten/Schl?ssel/T?r.txt" \
    "$(LC_ALL=C "$mkpatch_bin" list names.exe)"
apply names.exe game
check "the mkpatch patch applies" same 0 "$rc"
check "its console lines name the entries in code page 1252" same " extracting: Daten/Schlüssel/Tür.txt
 extracting: Musique/Élan/Café crème.dat
 extracting: Patch/Stimmen/Grüße.ogg
 extracting: Patch/Thèmes/Été/Brûlé.ogg
 extracting: patch.bat" "$(printf '%s\n' "$out" | tail -n 5)"
check "the names land as Windows spells them" same \
    "Daten Daten/Schlüssel Daten/Schlüssel/Tür.txt Musique Musique/Élan Musique/Élan/Café crème.dat Patch Patch/Stimmen Patch/Stimmen/Grüße.ogg Patch/Thèmes Patch/Thèmes/Été Patch/Thèmes/Été/Brûlé.ogg patch.bat" \
    "$(tree_of game)"
check "with their contents" same "crème" "$(cat "game/Musique/Élan/Café crème.dat")"
"$sondrel_bin" "$work/game/Patch/" "$work/game/Sounds/"
check "the converter makes WAVs of the same accented names, in folders of the same names" same \
    "Stimmen Stimmen/Grüße.wav Thèmes Thèmes/Été Thèmes/Été/Brûlé.wav" "$(tree_of game/Sounds)"
check "holding the sound" test -s "game/Sounds/Thèmes/Été/Brûlé.wav"

# The JDK's jar stores UTF-8 names with flag bit 11, folders as entries of their own.
mkdir -p "jartree/Daten/Schlüssel" "jartree/Musique/Élan"
printf 'jar' >"jartree/Daten/Schlüssel/Tür.txt"
printf 'jar' >"jartree/Musique/Élan/Café crème.dat"
printf 'exit 0\n' >jartree/patch.bat
(cd jartree && jar cfM ../names.jar Daten Musique patch.bat)
cat "$patcher_bin" names.jar >jar.exe
chmod +x jar.exe
apply jar.exe jargame
check "the jar archive applies" same 0 "$rc"
check "its folder lines name the converted names" contains "creating directory: Musique/Élan/" "$out"
check "its names land as Windows spells them" same \
    "Daten Daten/Schlüssel Daten/Schlüssel/Tür.txt Musique Musique/Élan Musique/Élan/Café crème.dat patch.bat" \
    "$(tree_of jargame)"

# A flagged name the player's code page cannot hold: refused, outcome 5, nothing written for it.
mkdir -p jarbad
printf 'x' >"jarbad/Łódź.txt"
printf 'x' >"jarbad/after.txt"
(cd jarbad && jar cfM ../bad.jar Łódź.txt after.txt)
cat "$patcher_bin" bad.jar >bad.exe
chmod +x bad.exe
apply bad.exe badgame
check "a flagged name that does not convert is refused on its own line, named as stored" same "refusing entry Łódź.txt: UTF-8 name not in the player's code page" \
    "$(grep -a '^refusing' raw.txt)"
check "which ends in outcome 5" same "1 Vardane Patch 1.02: Patch file is corrupted" "$rc $(cat err.txt)"
check "and writes nothing" same "" "$(tree_of badgame)"
check "mkpatch verify fails it too" contains "FAIL Łódź.txt: UTF-8 name not in the player's code page" \
    "$("$mkpatch_bin" verify bad.exe 2>/dev/null)"

# mkpatch refuses a name the game's code page cannot hold before writing anything, and takes
# it for a code page that holds it.
mkdir -p polish/Data
printf 'x' >"polish/Data/Łódź.txt"
"$mkpatch_bin" build --stub "$patcher_bin" --out polish.exe polish 2>err.txt
rc=$?
check "build refuses Łódź.txt for code page 1252" same \
    "1 mkpatch: code page 1252 cannot hold the name \"Data/Łódź.txt\"" "$rc $(cat err.txt)"
check "build writes nothing" same "" "$(ls polish.exe* 2>/dev/null)"
"$mkpatch_bin" diff tree polish --out polishdiff 2>err.txt
check "diff refuses it too, and writes nothing" same "1 mkpatch: code page 1252 cannot hold the name \"Data/Łódź.txt\" no" \
    "$? $(cat err.txt) $( [ -e polishdiff ] && echo yes || echo no)"
"$mkpatch_bin" build --stub "$patcher_bin" --out polish.exe --codepage 1250 polish >/dev/null
check "code page 1250 holds it" same "$(printf 'Data/\243\363d\237.txt')" "$(unzip -Z1 polish.exe 2>/dev/null | grep -a -v '^patch.bat$')"
check "and list reads it back in that code page" contains "Data/Łódź.txt" \
    "$("$mkpatch_bin" list --codepage 1250 polish.exe)"
mkdir -p cyrillic
printf 'x' >"cyrillic/Привет.txt"
"$mkpatch_bin" build --stub "$patcher_bin" --out cyrillic.exe --codepage 1251 cyrillic >/dev/null
check "code page 1251 holds Привет.txt" same "$(printf '\317\360\350\342\345\362.txt')" "$(unzip -Z1 cyrillic.exe 2>/dev/null | grep -a -v '^patch.bat$')"

# The 255-byte limit counts the converted bytes: 255 of code page 1252 (455 of UTF-8) fit,
# 256 do not.
e100=$(printf 'é%.0s' $(seq 100))
mkdir -p "long/$e100/$e100"
printf 'exit 0\n' >long/patch.bat
printf 'long' >"long/$e100/$e100/$(printf 'c%.0s' $(seq 53))"
"$mkpatch_bin" build --stub "$patcher_bin" --out long.exe long >/dev/null
chmod +x long.exe
apply long.exe longgame
check "a name of 255 converted bytes builds and lands" same "0 long" \
    "$rc $(cat "longgame/$e100/$e100/$(printf 'c%.0s' $(seq 53))" 2>/dev/null)"
mv "long/$e100/$e100/$(printf 'c%.0s' $(seq 53))" "long/$e100/$e100/$(printf 'c%.0s' $(seq 54))"
"$mkpatch_bin" build --stub "$patcher_bin" --out long2.exe long 2>err.txt
check "one of 256 is refused" contains "name of 256 bytes or more (256 in code page 1252)" "$(cat err.txt)"

finish
