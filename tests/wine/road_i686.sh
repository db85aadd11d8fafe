#!/usr/bin/env bash
# The whole road with the shipping build, in the 32-bit Windows environment: the host's mkpatch
# builds a patch around the 32-bit patcher with game files (one replacing a read-only file),
# sounds in nested folders (mono, stereo, six channels, a chained file, one that does not
# decode), the 32-bit converter and the real patch.bat. Then the files and their times, the
# outcome's message box and exit status, the WAV files against oggdec's, and Patch, the
# converter and the script gone.
#
# The shipping converter decodes with the x87 unit, which every i686 processor has: its
# samples may be one step away from oggdec's (computed with SSE on the host), never more, and
# only now and then; the lengths are exactly oggdec's.
#   road_i686.sh PATCHER SONDREL PATCH.BAT MKPATCH ARTEFACTS
set -u
here=$(cd "$(dirname "$0")" && pwd)
patcher_exe=$(realpath "$1")
sondrel_exe=$(realpath "$2")
patch_bat=$(realpath "$3")
mkpatch=$4
shots=$5
. "$here/../scripts/lib.sh"
. "$here/../../scripts/lib/wine-session.sh"
. "$here/../../scripts/lib/i386-env.sh"
if [ ! -x "$mkpatch" ]; then
    echo "no host mkpatch at $mkpatch: build the native preset first" >&2
    exit 1
fi

mkdir -p "$shots"
work=$(mktemp -d)
export VARDANE_I386_BIND="$work"
holder="road-$$"
cleanup() {
    i386_session_end "$holder"
    chmod -R u+w "$work" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
i386_session_begin "$holder" || exit 1
# The message box helpers start programs with $WINE64: here, in the 32-bit environment.
WINE64="$here/../../scripts/win32-run"

make_sound() {  # make_sound OUT RATE CHANNELS SECONDS FREQUENCY
    sox -V1 -n -r "$2" -c "$3" -b 16 -e signed -t raw - synth "$4" sine "$5" sine 550 gain -6 |
        oggenc -Q -r -R "$2" -C "$3" -B 16 -o "$1" -
}

payload="$work/payload"
mkdir -p "$payload/Data/maps" "$payload/Patch/music" "$payload/Patch/voices/intro" \
    "$payload/Patch/ambience/surround" "$payload/Patch/broken"
printf 'level two' >"$payload/Data/maps/level2.dat"
printf 'fresh' >"$payload/Data/ro.txt"
make_sound "$payload/Patch/music/theme.ogg" 44100 2 1.5 330
make_sound "$payload/Patch/voices/intro/HELLO.OGG" 22050 1 1 300
make_sound "$payload/Patch/ambience/surround/six.ogg" 48000 6 0.5 440
make_sound "$work/first.ogg" 44100 2 0.6 220
make_sound "$work/second.ogg" 44100 2 0.4 660
cat "$work/first.ogg" "$work/second.ogg" >"$payload/Patch/music/chained.ogg"
printf 'OggS, but nothing after it' >"$payload/Patch/broken/noise.ogg"
cp "$sondrel_exe" "$payload/sondrel.exe"
cp "$patch_bat" "$payload/patch.bat"
# Even seconds: an archive keeps a file's time to two seconds.
touch -d '2024-03-05 14:22:36' "$payload/Data/maps/level2.dat"
touch -d '2023-11-30 08:01:58' "$payload/Data/ro.txt"
"$mkpatch" build --stub "$patcher_exe" --out "$work/patch.exe" "$payload" >/dev/null
check "mkpatch built the patch around the 32-bit patcher" test -s "$work/patch.exe"

game="$work/game"
mkdir -p "$game/Data"
printf 'stale' >"$game/Data/ro.txt"
chmod a-w "$game/Data/ro.txt"
"$WINE64" reg add 'HKLM\Software\Pellmark\Torvicor\Vardane' /v Path /t REG_SZ \
    /d "$(windows_path "$game")" /f >/dev/null 2>&1
check "the registry value is in the 32-bit prefix" contains "$(windows_path "$game")" \
    "$("$WINE64" reg query 'HKLM\Software\Pellmark\Torvicor\Vardane' /v Path 2>/dev/null | tr -d '\r')"

started=$(date +%s)
cd "$work"
run_with_message_boxes "Vardane Patch 1.02" "$shots/road-i686" "$work/out.txt" "$work/err.txt" "$work/patch.exe"
cd - >/dev/null
read_message_boxes "$work/err.txt"
echo "the patcher ran for $(($(date +%s) - started)) s"
# The converter could not convert one sound: the script passes that on, and the patcher says
# the last step did not finish.
check "an unconvertible sound ends in outcome 9, exit status 1" same "1 The game files were updated, but the patch could not finish its last step. Apply the patch again." \
    "$box_rc $msg"
check "no other box came first" same "" "$shell_msg"
check "every entry was extracted" same "9" "$(grep -c '^ extracting: ' "$work/out.txt")"

check "the game files arrived" same "level two fresh" "$(cat "$game/Data/maps/level2.dat") $(cat "$game/Data/ro.txt")"
check "with the entries' times" same "2024-03-05 14:22:36 2023-11-30 08:01:58" \
    "$(date -d "@$(stat -c %Y "$game/Data/maps/level2.dat")" '+%F %T') $(date -d "@$(stat -c %Y "$game/Data/ro.txt")" '+%F %T')"
check "the read-only file is writable afterwards" test -w "$game/Data/ro.txt" -a "$(stat -c %A "$game/Data/ro.txt" | cut -c3)" = w
check "Patch, the converter and the script are gone" same "Data Sounds" "$(ls "$game" | tr '\n' ' ' | sed 's/ $//')"
check "a WAV file for each sound that decodes, none for the one that does not" same \
    "ambience/surround/six.wav music/chained.wav music/theme.wav voices/intro/HELLO.wav" \
    "$(cd "$game/Sounds" && find . -type f | sed 's|^\./||' | sort | tr '\n' ' ' | sed 's/ $//')"
check "the folder tree is mirrored, the undecodable file's folder too" same \
    "ambience ambience/surround broken music voices voices/intro" \
    "$(cd "$game/Sounds" && find . -mindepth 1 -type d | sed 's|^\./||' | sort | tr '\n' ' ' | sed 's/ $//')"

# oggdec is the reference: its WAV file for the header and length, its raw output for the
# samples, in the order the decoder hands them over, as the converter writes them (for six
# channels oggdec's WAV file has them reordered); for the chained file, link by link, since
# oggdec starts its output again at each link.
mkdir -p "$work/expected"
for sound in music/theme voices/intro/HELLO ambience/surround/six music/chained; do
    if [ "$sound" = music/chained ]; then
        sources=("$work/first.ogg" "$work/second.ogg")
    else
        sources=("$(find "$payload/Patch" -path "$payload/Patch/$sound.*")")
    fi
    references=()
    for source in "${sources[@]}"; do
        references+=("$work/expected/$(basename "$source").wav")
        oggdec -Q -o "${references[-1]}" "$source"
        oggdec -Q -R -o "${references[-1]%.wav}.raw" "$source"
    done
    comparison=$(python3 - "$game/Sounds/$sound.wav" "${references[@]}" <<'PY'
import struct, sys
actual = open(sys.argv[1], "rb").read()
links = [open(name, "rb").read() for name in sys.argv[2:]]
riff, size, wave, fmt, fmt_size, tag, channels, rate, byte_rate, align, bits, tag_data, data_size = \
    struct.unpack_from("<4sI4s4sIHHIIHH4sI", actual)
canonical = (riff, wave, fmt, tag_data) == (b"RIFF", b"WAVE", b"fmt ", b"data") and fmt_size == 16 \
    and tag == 1 and bits == 16 and align == 2 * channels and byte_rate == rate * align \
    and size == len(actual) - 8 and data_size == len(actual) - 44
pcm = b"".join(open(name[:-len(".wav")] + ".raw", "rb").read() for name in sys.argv[2:])
header = links[0][:4] + struct.pack("<I", 36 + len(pcm)) + links[0][8:40] + struct.pack("<I", len(pcm))
print("canonical" if canonical else "not canonical")
print("header", "same" if header == actual[:44] else "differs")
print("length", "same" if len(pcm) == len(actual) - 44 == sum(len(link) - 44 for link in links)
      else "%d, oggdec %d" % (len(actual) - 44, len(pcm)))
count = min(len(pcm), len(actual) - 44) // 2
a = struct.unpack_from("<%dh" % count, actual, 44)
e = struct.unpack_from("<%dh" % count, pcm)
steps = [abs(x - y) for x, y in zip(a, e)]
largest = max(steps, default=0)
print("within a step" if largest <= 1 else "largest step %d" % largest)
off = sum(1 for s in steps if s)
# x87 rounds differently from SSE here and there; a systematic fault would touch far more.
print("at most 1 % of samples off" if off * 100 <= count else "%d of %d samples off" % (off, count))
print("%s: %d of %d samples differ from oggdec's" % (sys.argv[1], off, count), file=sys.stderr)
PY
)
    check "Sounds/$sound.wav: canonical, oggdec's header and length, samples within a step" same \
        "canonical
header same
length same
within a step
at most 1 % of samples off" "$comparison"
done

# A delta patch made by the host's mkpatch (diff, then build --base) over a read-only pak of
# the old release: the 32-bit patcher decodes it with the installed file as the reference;
# over a modded pak it refuses the whole patch (outcome 11) and writes nothing.
mkdir -p "$work/old/Data" "$work/new/Data"
head -c 400000 /dev/urandom >"$work/old/Data/game.pak"
{ head -c 150000 "$work/old/Data/game.pak"; head -c 3000 /dev/urandom; tail -c +150001 "$work/old/Data/game.pak"; } \
    >"$work/new/Data/game.pak"
"$mkpatch" diff "$work/old" "$work/new" --out "$work/deltapayload" >/dev/null
"$mkpatch" build --stub "$patcher_exe" --out "$work/delta.exe" --base "$work/old" "$work/deltapayload" >/dev/null 2>&1
cp -a "$work/old" "$work/delta-game"
chmod a-w "$work/delta-game/Data/game.pak"
"$WINE64" reg add 'HKLM\Software\Pellmark\Torvicor\Vardane' /v Path /t REG_SZ \
    /d "$(windows_path "$work/delta-game")" /f >/dev/null 2>&1
cd "$work"
run_with_message_boxes "Vardane Patch 1.02" "$shots/road-i686-delta" "$work/out.txt" "$work/err.txt" "$work/delta.exe"
read_message_boxes "$work/err.txt"
check "the 32-bit patcher applies the delta" same "0 Patch was successfully applied." "$box_rc $msg"
check "the pak is the new release's" cmp "$work/new/Data/game.pak" "$work/delta-game/Data/game.pak"
chmod u+w "$work/delta-game/Data/game.pak"
cp "$work/old/Data/game.pak" "$work/delta-game/Data/game.pak"
printf 'mod' >>"$work/delta-game/Data/game.pak"
cp "$work/delta-game/Data/game.pak" "$work/modded.pak"
run_with_message_boxes "Vardane Patch 1.02" "$shots/road-i686-modded" "$work/out.txt" "$work/err.txt" "$work/delta.exe"
read_message_boxes "$work/err.txt"
cd - >/dev/null
check "over a modded pak: outcome 11" same \
    "1 Some game files are not the version this patch updates, so nothing was changed. Install the full patch instead, or restore the game's files and apply this patch again." \
    "$box_rc $msg"
check "the modded pak is as it was" cmp "$work/modded.pak" "$work/delta-game/Data/game.pak"

finish
