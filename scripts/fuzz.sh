#!/usr/bin/env bash
# Runs one of the fuzz targets of the sanitize preset, seeded with inputs made here by the
# project's own tools and with the shared corpus's files where they are, and with the inputs of
# earlier findings kept in tests/fuzz/regressions/NAME.
#   scripts/fuzz.sh NAME [SECONDS]        open-ended: a random seed for SECONDS (default 600)
#   scripts/fuzz.sh NAME --runs N         N inputs from a fixed seed: the same inputs every time,
#                                         as the test command needs
# NAME: extract, command_line, ogg_source, wave_reader.
# FUZZER names the target's executable (default build/sanitize/bin/NAME_fuzz). An input that
# crashes, leaks or breaks an invariant is kept in build/fuzz-findings/NAME (FINDINGS overrides).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
name=${1:?usage: scripts/fuzz.sh NAME [SECONDS | --runs N]}
if [ "${2:-}" = --runs ]; then
    budget=(-runs="${3:?--runs needs a count}" -seed=1 -reload=0 -use_cmp=0)
    what="${3} inputs from a fixed seed"
else
    # Child processes one after another: libvorbisfile leaks a little on some failed opens
    # (tests/fuzz/ogg_source.supp), which over a long run would fill any memory limit. An
    # input that runs out of memory is tried again alone below.
    budget=(-max_total_time="${2:-600}" -fork=1 -ignore_ooms=1)
    what="${2:-600} s"
fi
fuzzer=$(realpath -m "${FUZZER:-$root/build/sanitize/bin/${name}_fuzz}")
if [ ! -x "$fuzzer" ]; then
    cmake --preset sanitize >/dev/null
    cmake --build --preset sanitize --target "${name}_fuzz"
fi
bin=$(dirname "$fuzzer")
corpus="$root/../shared/corpus"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
seeds="$work/seeds"
mkdir -p "$seeds" "$work/found"
from_corpus() {  # from_corpus FIND-ARGUMENTS...: copies small matching corpus files into the seeds
    if [ -d "$corpus" ]; then
        find "$corpus" -type f -size -1000k "$@" -exec cp {} "$seeds/" \;
    fi
}

case "$name" in
wave_reader)
    python3 - "$seeds" <<'PY'
import struct, sys, os
out = sys.argv[1]
def chunk(tag, body):
    return tag + struct.pack("<I", len(body)) + body + (b"\0" if len(body) % 2 else b"")
def riff(*chunks):
    body = b"WAVE" + b"".join(chunks)
    return b"RIFF" + struct.pack("<I", len(body)) + body
fmt = chunk(b"fmt ", struct.pack("<HHIIHH", 1, 2, 44100, 176400, 4, 16))
data = chunk(b"data", bytes(range(200)))
smpl = chunk(b"smpl", struct.pack("<9I", 0, 0, 22675, 60, 0, 0, 0, 1, 0) + struct.pack("<6I", 0, 0, 10, 19, 0, 2))
seeds = {
    "plain.wav": riff(fmt, data),
    "looped.wav": riff(fmt, data, smpl),
    "list-first.wav": riff(fmt, chunk(b"LIST", b"INFOabc"), data, smpl),
}
for name, blob in seeds.items():
    open(os.path.join(out, name), "wb").write(blob)
PY
    from_corpus -name '*.wav'
    ;;
extract)
    # Patches as mkpatch builds them (behind a two-byte stub), and the corpus's ZIP files.
    mkdir -p "$work/payload/Data/Maps" "$work/payload/Patch/a"
    printf '[video]\nwidth=800\n' >"$work/payload/Data/config.ini"
    python3 -c 'import random, sys; random.seed(7); sys.stdout.buffer.write(random.randbytes(3000))' \
        >"$work/payload/Data/Maps/one.map"
    printf 'sound' >"$work/payload/Patch/a/x.ogg"
    printf 'exit 0\n' >"$work/payload/patch.bat"
    # Fixed times, so that the archives are the same bytes on every run.
    find "$work/payload" -exec touch -d '2024-03-01 12:00:00' {} +
    printf 'MZ' >"$work/stub"
    "$bin/mkpatch" build --stub "$work/stub" --out "$seeds/patch.bin" "$work/payload"
    "$bin/mkpatch" build --stub "$work/stub" --out "$seeds/one-entry.bin" "$work/payload/Data/Maps"
    from_corpus \( -name '*.zip' -o -name 'exe_with_*' \)
    ;;
command_line)
    printf '"C:\\Game\\Patch\\" "C:\\Game\\Sounds\\"' >"$seeds/patcher"
    printf 'word "a b" between "c" after "d" "e"' >"$seeds/marks"
    printf '"only one' >"$seeds/one"
    ;;
ogg_source)
    sox -V1 -n -r 22050 -c 1 -b 16 -e signed -t raw - synth 0.2 sine 440 |
        oggenc -Q -r -R 22050 -C 1 -B 16 -s 1 -o "$seeds/mono.ogg" -
    sox -V1 -R -n -r 44100 -c 2 -b 16 -e signed -t raw - synth 0.1 pinknoise |
        oggenc -Q -r -R 44100 -C 2 -B 16 -s 2 -o "$seeds/stereo.ogg" -
    from_corpus -name '*.ogg'
    # The library keeps no frame pointers: only the slow unwinder sees ov_open_callbacks.
    export LSAN_OPTIONS="suppressions=$root/tests/fuzz/ogg_source.supp"
    export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}fast_unwind_on_malloc=0"
    ;;
*)
    echo "fuzz.sh: no target called $name" >&2
    exit 2
    ;;
esac

findings=$(realpath -m "${FINDINGS:-$root/build/fuzz-findings}/$name")
mkdir -p "$findings"
before=$(ls "$findings" | wc -l)
corpora=("$work/found" "$seeds")
[ -d "$root/tests/fuzz/regressions/$name" ] && corpora+=("$root/tests/fuzz/regressions/$name")
echo "fuzzing $name: $what, $(ls "$seeds" | wc -l) seeds"
cd "$work"
"$fuzzer" "${budget[@]}" -max_len=65536 -timeout=10 -rss_limit_mb=1024 \
    -print_final_stats=1 -artifact_prefix="$findings/" "${corpora[@]}" || {
    echo "fuzz.sh: $name found a problem; its input is in $findings" >&2
    exit 1
}
# Out of memory only after the leaks of many inputs before it is not this input's finding.
for oom in "$findings"/oom-*; do
    [ -e "$oom" ] || continue
    if "$fuzzer" -rss_limit_mb=1024 -timeout=10 "$oom" >/dev/null 2>&1; then
        echo "fuzz.sh: $(basename "$oom") runs within the memory limit alone; dropped"
        rm -f "$oom"
    fi
done
if [ "$(ls "$findings" | wc -l)" -gt "$before" ]; then
    echo "fuzz.sh: $name found a problem; its input is in $findings" >&2
    exit 1
fi
