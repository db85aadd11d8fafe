#!/usr/bin/env bash
# The 64-bit Windows patcher under Wine: registry, extraction, the script run by Wine's command
# interpreter with both quoted folders, each outcome's message box (read through the message
# box trace, photographed, dismissed with a key press) and its exit status, and files that
# cannot be replaced (one held by another process without sharing, a folder in the way). Then the whole road of a patch with sounds: the real
# patch.bat starts the converter, whose progress window is photographed and read, in the
# user's language too, and whose WAV files must hold what oggdec decodes.
#   patcher_wine.sh PATCHER MKPATCH HOLDFILE ARTEFACTS SONDREL PATCH.BAT PROGRESS-PROBE
set -u
here=$(cd "$(dirname "$0")" && pwd)
patcher_exe=$(realpath "$1")
mkpatch_exe=$(realpath "$2")
holdfile_exe=$(realpath "$3")
shots=$4
sondrel_exe=$(realpath "$5")
patch_bat=$(realpath "$6")
probe_exe=$(realpath "$7")
. "$here/../scripts/lib.sh"
. "$here/../../scripts/lib/wine-session.sh"

mkdir -p "$shots"
work=$(mktemp -d)
cleanup() {
    touch "$work/release" 2>/dev/null
    stop_display
    mountpoint -q "$work/small" 2>/dev/null && umount "$work/small" 
    chmod -R u+w "$work" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
start_display || exit 1

key='HKLM\Software\Pellmark\Torvicor\Vardane'
register() { "$WINE64" reg add "$key" /v Path /t REG_SZ /d "$1" /f >/dev/null 2>&1; }
unregister() { "$WINE64" reg delete "$key" /f >/dev/null 2>&1; }

# run_patcher EXE SHOT-NAME: runs it in $work; sets out (console lines), msg (the outcome
# message), shell_msg (an error box the shell showed first) and rc (exit status).
run_patcher() {
    cd "$work"
    run_with_message_boxes "Vardane Patch 1.02" "$shots/$2" "$work/out.txt" "$work/err.txt" "$1"
    cd - >/dev/null
    out=$(tr -d '\r' <"$work/out.txt")
    read_message_boxes "$work/err.txt"
    rc=$box_rc
}

build_patch() {  # build_patch PAYLOAD-DIR OUT
    WINEDEBUG=-all "$WINE64" "$mkpatch_exe" build --stub "$(windows_path "$patcher_exe")" \
        --out "$(windows_path "$2")" "$(windows_path "$1")" >/dev/null
}

make_sound() {  # make_sound OUT RATE CHANNELS SECONDS
    sox -V1 -n -r "$2" -c "$3" -b 16 -e signed -t raw - synth "$4" sine 330 sine 550 gain -6 |
        oggenc -Q -r -R "$2" -C "$3" -B 16 -o "$1" -
}

mkdir -p "$work/payload/Data" "$work/payload/Patch/a"
printf 'new data' >"$work/payload/Data/a.txt"
printf 'cannot land' >"$work/payload/Data/blocked"
printf 'replacement' >"$work/payload/Data/locked.txt"
printf 'fresh' >"$work/payload/Data/ro.txt"
make_sound "$work/payload/Patch/a/x.ogg" 22050 1 0.2
printf '@echo off\r\necho [%%1] [%%2]> script-args.txt\r\ncd> script-dir.txt\r\nexit /b 3\r\n' \
    >"$work/payload/patch.bat"
build_patch "$work/payload" "$work/patch.exe"
check "mkpatch.exe built the patcher file" test -s "$work/patch.exe"

# Outcome 8: one file held open by another process and a folder where a file must go cannot be
# replaced; the rest, a read-only file included, is extracted and the script runs.
game="$work/game"
mkdir -p "$game/Data/blocked/inside"
printf 'old content' >"$game/Data/locked.txt"
printf 'stale' >"$game/Data/ro.txt"
chmod a-w "$game/Data/ro.txt"
WINEDEBUG=-all "$WINE64" "$holdfile_exe" "$(windows_path "$game/Data/locked.txt")" \
    "$(windows_path "$work/ready")" "$(windows_path "$work/release")" &
holder=$!
for i in $(seq 1 100); do [ -e "$work/ready" ] && break; sleep 0.2; done
check "the other process holds the file" test -e "$work/ready"
register "$(windows_path "$game")"
run_patcher "$work/patch.exe" outcome-8-not-replaced
touch "$work/release"
wait "$holder"
check "files not replaced exit 1" same 1 "$rc"
check "files not replaced message box" same \
    "Some game files could not be replaced. Close the game and apply the patch again." "$msg"
check "the held file and the folder get the error-opening line" same " extracting: Data/a.txt
error opening Data/blocked
error opening Data/locked.txt
 extracting: Data/ro.txt
 extracting: Patch/a/x.ogg
 extracting: patch.bat" "$(printf '%s\n' "$out" | tail -n 6)"
check "the held file keeps its old content" same "old content" "$(cat "$game/Data/locked.txt")"
check "no temporary file is left" same "a.txt blocked locked.txt ro.txt" "$(ls "$game/Data" | tr '\n' ' ' | sed 's/ $//')"
check "the rest is extracted" same "new data" "$(cat "$game/Data/a.txt")"
check "the read-only file is replaced" same "fresh" "$(cat "$game/Data/ro.txt")"
check "and is writable afterwards" test -w "$game/Data/ro.txt" -a "$(stat -c %A "$game/Data/ro.txt" | cut -c3)" = w
check "the script got both quoted folders" same "[\"$(windows_path "$game")\\Patch\\\"] [\"$(windows_path "$game")\\Sounds\\\"]" \
    "$(tr -d '\r' <"$game/script-args.txt")"
check "the script ran in the install folder" same "$(windows_path "$game")" "$(tr -d '\r' <"$game/script-dir.txt")"

# A publisher signs the patcher file after building it: the signature goes behind the archive,
# and the patch still lists, verifies and applies. The certificate is made here, for the test.
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/key.pem" -out "$work/cert.pem" -days 2 \
    -subj "/CN=Vardane Test Publisher" >/dev/null 2>&1
osslsigncode sign -certs "$work/cert.pem" -key "$work/key.pem" -n "Vardane Patch 1.02" \
    -in "$work/patch.exe" -out "$work/signed.exe" >/dev/null
check "the signed patcher's signature verifies" contains "Succeeded" \
    "$(osslsigncode verify -CAfile "$work/cert.pem" "$work/signed.exe" 2>&1)"
check "mkpatch lists and verifies the signed patcher" contains "entries, all sound" \
    "$("$WINE64" "$mkpatch_exe" list "$(windows_path "$work/signed.exe")" >/dev/null &&
        "$WINE64" "$mkpatch_exe" verify "$(windows_path "$work/signed.exe")" | tr -d '\r')"
mkdir -p "$work/signed-game"
register "$(windows_path "$work/signed-game")"
run_patcher "$work/signed.exe" signed-outcome-9
check "the signed patcher extracts its files" same "new data" "$(cat "$work/signed-game/Data/a.txt")"
# Its script ends with "exit /b 3": the command interpreter's status reaches the patcher.
check "a script that fails is reported: outcome 9" same \
    "1 The game files were updated, but the patch could not finish its last step. Apply the patch again." "$rc $msg"

# Outcome 2: no key, then an empty value; nothing is touched.
unregister
mkdir -p "$work/untouched"
run_patcher "$work/patch.exe" outcome-2-no-key
check "no key exits 1" same 1 "$rc"
check "no key message box" same "Vardane not found!" "$msg"
check "no key prints the banner only" same "Vardane Patcher 1.0" "$(printf '%s\n' "$out" | head -n 1)"
check "no key writes nothing" same 3 "$(printf '%s\n' "$out" | wc -l)"
register ""
run_patcher "$work/patch.exe" outcome-2-empty-path
check "empty path message box" same "Vardane not found!" "$msg"
check "empty path exits 1" same 1 "$rc"

# Outcome 3: the folder does not exist.
register "$(windows_path "$work/missing")"
run_patcher "$work/patch.exe" outcome-3-invalid
check "invalid folder exits 1" same 1 "$rc"
check "invalid folder message box" same "Invalid Vardane installation" "$msg"
check "invalid folder is not created" test ! -e "$work/missing"

# Outcome 5: the archive is cut before its end record, or the script is missing.
head -c $(($(stat -c %s "$work/patch.exe") - 40)) "$work/patch.exe" >"$work/cut.exe"
mkdir -p "$work/game5"
register "$(windows_path "$work/game5")"
run_patcher "$work/cut.exe" outcome-5-truncated
check "truncated exits 1" same 1 "$rc"
check "truncated message box" same "Patch file is corrupted" "$msg"
check "truncated writes nothing" same "" "$(ls "$work/game5")"

mkdir -p "$work/noscript/Data"
printf 'x' >"$work/noscript/Data/only.txt"
# mkpatch gives a payload without a script one of its own; a patch made otherwise may lack it.
(cd "$work/noscript" && zip -q -X -r ../noscript.zip .)
cat "$patcher_exe" "$work/noscript.zip" >"$work/noscript.exe"
run_patcher "$work/noscript.exe" outcome-5-no-script
check "the shell reports the missing script first" contains "File not found" "$shell_msg"
check "missing script exits 1" same 1 "$rc"
check "missing script message box" same "Patch file is corrupted" "$msg"
check "missing script still extracted the files" same "x" "$(cat "$work/game5/Data/only.txt")"

# Outcome 10: an install folder on a 600 KB disk and a 1 MB entry. The disk is a memory file
# system mounted here, which needs root.
mkdir -p "$work/big/Data" "$work/small"
head -c 1000000 /dev/zero | tr '\0' 'v' >"$work/big/Data/big.bin"
printf '@exit /b 0\r\n' >"$work/big/patch.bat"
build_patch "$work/big" "$work/big.exe"
if mount -t tmpfs -o size=600k vardane-small "$work/small" 2>/dev/null; then
    mkdir -p "$work/small/Data"
    printf 'old' >"$work/small/Data/big.bin"
    register "$(windows_path "$work/small")"
    run_patcher "$work/big.exe" outcome-10-disk-full
    check "a full disk is named on the console" contains "error in writing extracted file" "$out"
    check "a full disk is reported as such: outcome 10" same \
        "1 The game files could not be written. Free some disk space and apply the patch again." "$rc $msg"
    check "a full disk keeps the old file" same "old" "$(cat "$work/small/Data/big.bin")"
    umount "$work/small"
else
    echo "skipped: a full disk needs a memory file system, which only root can mount"
fi

# The whole road: game files, sounds in nested folders under Patch (one that cannot be
# decoded), the converter and the real patch.bat, over a read-only WAV file of an earlier
# install. Copies of a 20 s sound keep the progress window up long enough to read it.
road="$work/road"
payload="$road/payload"
mkdir -p "$payload/Data" "$payload/Patch/music" "$payload/Patch/voices/intro"
printf 'level two' >"$payload/Data/level2.dat"
make_sound "$payload/Patch/music/theme.ogg" 44100 2 20
make_sound "$payload/Patch/voices/intro/HELLO.OGG" 22050 1 2
make_sound "$payload/Patch/click.ogg" 22050 1 0.3
for i in $(seq 1 12); do cp "$payload/Patch/music/theme.ogg" "$payload/Patch/music/take$i.ogg"; done
printf 'not a sound' >"$payload/Patch/voices/broken.ogg"
cp "$sondrel_exe" "$payload/sondrel.exe"
cp "$patch_bat" "$payload/patch.bat"
build_patch "$payload" "$road/patch.exe"

game="$road/game"
mkdir -p "$game/Data" "$game/Sounds"
printf 'an earlier install' >"$game/Sounds/click.wav"
chmod a-w "$game/Sounds/click.wav"
register "$(windows_path "$game")"
( "$WINE64" "$probe_exe" "$(windows_path "$road/window.txt")" 120 &&
    import -window root "$shots/progress-window.png" 2>/dev/null ) &
watcher=$!
run_patcher "$road/patch.exe" road-outcome-9
wait "$watcher"
check "the undecodable sound fails the road" same 1 "$rc"
check "the road's message box" same \
    "The game files were updated, but the patch could not finish its last step. Apply the patch again." "$msg"
# Ended processes may linger unreaped as "[name] <defunct>"; running ones start with their
# Windows name or path ("sondrel.exe ...", "C:\windows\system32\cmd.exe ..."), which this
# script's own arguments do not match.
check "the process list was taken with the box up" contains "$road/patch.exe" "$box_processes"
check "the message box came after the converter and the script had ended" same "" \
    "$(printf '%s\n' "$box_processes" | grep -v '<defunct>' | grep -i -E '(^|\\)(sondrel|cmd)\.exe')"
check "the progress window was up during the conversion" test -s "$road/window.txt"
check "its text in the default language" same "text=Unpacking sounds. Please wait..." \
    "$(grep -a '^text=' "$road/window.txt")"
style=$(sed -n 's/^style=//p' "$road/window.txt")
exstyle=$(sed -n 's/^exstyle=//p' "$road/window.txt")
check "a pop-up window without a title bar" same "yes" \
    "$( [ $((style & 0x80C00000)) -eq $((0x80000000)) ] && echo yes)"
check "a tool window, with no taskbar button" same "yes" "$( [ $((exstyle & 0x80)) -ne 0 ] && echo yes)"

expected="$road/expected"
wavs=0
while IFS= read -r ogg; do
    relative=${ogg#"$payload/Patch/"}
    base=${relative%.*}
    mkdir -p "$expected/$(dirname "$relative")"
    oggdec -Q -o "$expected/$base.wav" "$ogg"
    check "Sounds/$base.wav holds what oggdec decodes" cmp "$expected/$base.wav" "$game/Sounds/$base.wav"
    wavs=$((wavs + 1))
done < <(find "$payload/Patch" \( -name '*.ogg' -o -name '*.OGG' \) ! -name broken.ogg)
check "every good sound was converted, the read-only one replaced" same "$wavs" \
    "$(find "$game/Sounds" -type f -name '*.wav' | wc -l)"
check "no WAV file for the undecodable sound" test ! -e "$game/Sounds/voices/broken.wav"
check "canonical 44-byte headers" same "" "$(python3 - "$game/Sounds" <<'PY'
import os, struct, sys
for folder, _, names in os.walk(sys.argv[1]):
    for name in names:
        data = open(os.path.join(folder, name), "rb").read()
        riff, size, wave, fmt, fmt_size, tag, channels, rate, byte_rate, align, bits, tag_data, data_size = \
            struct.unpack_from("<4sI4s4sIHHIIHH4sI", data)
        if (riff, wave, fmt, tag_data) != (b"RIFF", b"WAVE", b"fmt ", b"data") or fmt_size != 16 or tag != 1 \
                or bits != 16 or align != 2 * channels or byte_rate != rate * align \
                or size != len(data) - 8 or data_size != len(data) - 44:
            print(name)
PY
)"
check "the game file arrived" same "level two" "$(cat "$game/Data/level2.dat")"
check "Patch, the converter and the script are gone" same "Data Sounds" "$(ls "$game" | tr '\n' ' ' | sed 's/ $//')"

# The window speaks the user's language: Wine takes it from the locale of the environment.
printf 'sondrel.exe "%s\\" "%s\\"\r\n' "$(windows_path "$payload/Patch")" "$(windows_path "$road/converted")" \
    >"$road/convert.bat"
for case in "de_DE.UTF-8 Entpacke Sound-Daten. Bitte warten..." \
    "fr_FR.UTF-8 $(printf 'D\351compression des sons. Veuillez patienter...')"; do
    locale=${case%% *}
    text=${case#* }
    rm -rf "$road/converted" "$road/window.txt"
    LC_ALL=$locale "$WINE64" "$probe_exe" "$(windows_path "$road/window.txt")" 120 &
    probe=$!
    (cd "$payload" && LC_ALL=$locale "$WINE64" cmd /c "$(windows_path "$road/convert.bat")" >/dev/null 2>&1)
    wait "$probe"
    check "the $locale window text, in code page 1252" same "acp=1252
text=$text" "$(grep -a -e '^acp=' -e '^text=' "$road/window.txt")"
done

# A link back to an ancestor (a Unix link, which Wine presents as a folder) is not walked again.
mkdir -p "$road/looped/a"
cp "$payload/Patch/click.ogg" "$road/looped/a/x.ogg"
ln -s .. "$road/looped/a/back"
printf 'sondrel.exe "%s\\" "%s\\"\r\n' "$(windows_path "$road/looped")" "$(windows_path "$road/unlooped")" \
    >"$road/looped.bat"
(cd "$payload" && timeout 120 "$WINE64" cmd /c "$(windows_path "$road/looped.bat")" >/dev/null 2>&1)
check "a link to an ancestor is not followed" same "a a/x.wav" \
    "$(cd "$road/unlooped" 2>/dev/null && find . -mindepth 1 | sed 's|^\./||' | sort | tr '\n' ' ' | sed 's/ $//')"

# From WAV masters to WAV files on the player's machine: mkpatch.exe encodes the masters (its
# converter the sondrel.exe beside the stub), the patcher, patch.bat and the converter bring
# them back in the masters' formats, with exactly the samples oggdec decodes from the archive.
masters="$work/masters"
mkdir -p "$masters/music" "$masters/voices/intro" "$work/soundpayload/Data"
sox -V1 -n -r 44100 -c 2 -b 16 "$masters/music/theme.wav" synth 3 sine 440 sine 660 gain -6
sox -V1 -n -r 22050 -c 1 -b 16 "$masters/voices/intro/hello.wav" synth 1.5 sine 300 gain -3
sox -V1 -n -r 48000 -c 2 -b 16 "$masters/click.wav" synth 0.2 pinknoise gain -9
printf 'level three' >"$work/soundpayload/Data/level3.dat"
"$WINE64" "$mkpatch_exe" build --stub "$(windows_path "$patcher_exe")" --out "$(windows_path "$work/sounds.exe")" \
    --sounds "$(windows_path "$masters")" "$(windows_path "$work/soundpayload")" >/dev/null
game="$work/sounds-game"
mkdir -p "$game"
register "$(windows_path "$game")"
run_patcher "$work/sounds.exe" sounds-outcome-0
check "a patch with sounds from masters applies" same "0 Patch was successfully applied." "$rc $msg"
wav_format() {  # wav_format FILE: channels, rate and bits per sample
    echo "$(soxi -c "$1" 2>&1) channels, $(soxi -r "$1" 2>&1) Hz, $(soxi -b "$1" 2>&1) bits"
}
for master in music/theme.wav voices/intro/hello.wav click.wav; do
    unzip -p "$work/sounds.exe" "Patch/${master%.wav}.ogg" >"$work/sound.ogg" 2>/dev/null
    oggdec -Q -o "$work/expected.wav" "$work/sound.ogg"
    check "Sounds/$master holds what oggdec decodes from the archive" cmp "$work/expected.wav" "$game/Sounds/$master"
    check "Sounds/$master has its master's format" same "$(wav_format "$masters/$master")" \
        "$(wav_format "$game/Sounds/$master")"
done
check "the game file came too, the rest is gone" same "Data Sounds" "$(ls "$game" | tr '\n' ' ' | sed 's/ $//')"

# Delta entries, made by mkpatch.exe from two game trees (diff, then build --base): over the old
# release with its pak read-only and its other file held by a running game (outcome 8: the pak
# updated, the held file left); again once it is released, which finishes the job (the pak up
# to date); then over a modded file (outcome 11, nothing written).
mkdir -p "$work/old/Data" "$work/new/Data"
head -c 300000 /dev/urandom >"$work/old/Data/big.pak"
head -c 60000 /dev/urandom >"$work/old/Data/held.pak"
{ head -c 100000 "$work/old/Data/big.pak"; head -c 5000 /dev/urandom; tail -c +100001 "$work/old/Data/big.pak"; } \
    >"$work/new/Data/big.pak"
{ cat "$work/old/Data/held.pak"; printf 'more'; } >"$work/new/Data/held.pak"
"$WINE64" "$mkpatch_exe" diff "$(windows_path "$work/old")" "$(windows_path "$work/new")" \
    --out "$(windows_path "$work/deltapayload")" >/dev/null
"$WINE64" "$mkpatch_exe" build --stub "$(windows_path "$patcher_exe")" --out "$(windows_path "$work/delta.exe")" \
    --base "$(windows_path "$work/old")" "$(windows_path "$work/deltapayload")" >"$work/build.txt" 2>&1
check "mkpatch.exe made both deltas" contains "deltas: 2 files against the older release" "$(tr -d '\r' <"$work/build.txt")"
check "and verify applies them to the old release" contains "2 delta entries applied" \
    "$("$WINE64" "$mkpatch_exe" verify "$(windows_path "$work/delta.exe")" --base "$(windows_path "$work/old")" 2>&1 | tr -d '\r')"
game="$work/delta-game"
cp -a "$work/old" "$game"
chmod a-w "$game/Data/big.pak"
register "$(windows_path "$game")"
rm -f "$work/ready" "$work/release"
WINEDEBUG=-all "$WINE64" "$holdfile_exe" "$(windows_path "$game/Data/held.pak")" \
    "$(windows_path "$work/ready")" "$(windows_path "$work/release")" &
holder=$!
for i in $(seq 1 100); do [ -e "$work/ready" ] && break; sleep 0.2; done
run_patcher "$work/delta.exe" delta-held
touch "$work/release"
wait "$holder"
check "a held file the delta updates: outcome 8" same \
    "1 Some game files could not be replaced. Close the game and apply the patch again." "$rc $msg"
check "the read-only pak was updated" cmp "$work/new/Data/big.pak" "$game/Data/big.pak"
check "the held file was left as it was" cmp "$work/old/Data/held.pak" "$game/Data/held.pak"
run_patcher "$work/delta.exe" delta-again
check "once it is released, the patch finishes" same "0 Patch was successfully applied." "$rc $msg"
check "the pak counts as done" contains " up to date: Data/big.pak" "$out"
check "both files are the new release's" same "" "$(diff -r "$work/new/Data" "$game/Data")"
printf 'mod' >>"$game/Data/held.pak"
cp "$game/Data/held.pak" "$work/modded.pak"
run_patcher "$work/delta.exe" delta-modded
check "a modded file: outcome 11" same \
    "1 Some game files are not the version this patch updates, so nothing was changed. Install the full patch instead, or restore the game's files and apply this patch again." \
    "$rc $msg"
check "its line names it" contains "not the version this patch updates: Data/held.pak" "$out"
check "and it is as it was" cmp "$work/modded.pak" "$game/Data/held.pak"

unregister
finish
