#!/usr/bin/env bash
# Decode benchmark: the converter's OggSource::readAll against a bare libvorbisfile loop
# over a generated corpus of Ogg Vorbis files. See bench/decode_bench.cpp for what is timed.
# Target: OggSource at most 3% slower than the bare loop (ratio <= 1.03).
#
#   bash scripts/bench-decode.sh
#   ROUNDS=3 SHORT_FILES=50 LONG_FILES=2 bash scripts/bench-decode.sh
#
# Options (environment):
#   ROUNDS=6         timed rounds; each decodes the whole corpus through both sides, and they
#                    alternate which goes first (keep it even)
#   SHORT_FILES=200  files of 1 to 5 s
#   LONG_FILES=5     files of 3 minutes
#   JOBS=2           parallel encoders while generating
#   KEEP=1           keep the corpus folder (its path is printed)
set -euo pipefail

ROUNDS="${ROUNDS:-6}"
SHORT_FILES="${SHORT_FILES:-200}"
LONG_FILES="${LONG_FILES:-5}"
JOBS="${JOBS:-2}"
KEEP="${KEEP:-0}"
TARGET=1.03

root="$(cd "$(dirname "$0")/.." && pwd)"
bench="$root/build/native/bin/decode_bench"
parent="${TMPDIR:-/tmp}"

say() { printf '%s\n' "$*"; }
fail() { printf 'bench-decode: FAIL: %s\n' "$*" >&2; exit 1; }

for tool in sox oggenc cmake; do
    command -v "$tool" >/dev/null || fail "$tool is missing"
done

start=$SECONDS

if [ ! -f "$root/build/native/CMakeCache.txt" ]; then
    say "== configuring the native preset"
    (cd "$root" && cmake --preset native >/dev/null)
fi
# Only the benchmark and what it links: an up-to-date build costs a second.
(cd "$root" && cmake --build --preset native --target decode_bench >/dev/null) || fail "build failed"

scratch="$(mktemp -d "$parent/bench-decode.XXXXXX")"
if [ "$KEEP" = 1 ]; then
    trap 'say "bench-decode: corpus kept in $scratch"' EXIT
else
    trap 'rm -rf "$scratch"' EXIT
fi
corpus="$scratch/corpus"
mkdir "$corpus"

# --- corpus -------------------------------------------------------------------------------
# One line per file: name rate channels seconds quality synth-arguments. A fixed seed keeps
# reruns on the same corpus. The sounds mix tones, sweeps and noise so the encoder has real
# work (noise costs bits; pure tones would make the decoder's job unusually light).

awk -v short="$SHORT_FILES" -v long="$LONG_FILES" 'BEGIN {
    srand(5)
    split("22050 44100 48000", rates, " ")
    n = short + long
    for (i = 0; i < n; i++) {
        isLong = i >= short
        rate = rates[1 + int(rand() * 3)]
        ch = 1 + int(rand() * 2)
        secs = isLong ? 180 : sprintf("%.2f", 1 + rand() * 4)
        q = isLong ? 4 : 3 + int(rand() * 3)
        f1 = int(110 + rand() * 800); f2 = int(f1 * (1.25 + rand())); f3 = int(2000 + rand() * 6000)
        kind = (i * 7 + int(rand() * 3)) % 6
        if (kind == 0) spec = "sine " f1 " sine " f2 " gain -6"
        else if (kind == 1) spec = "pinknoise sine mix " f1 " sine mix " f2 " gain -9"
        else if (kind == 2) spec = "sine " f1 "-" f3 " square " f2 "-" f1 " lowpass 4000 tremolo 3 40 gain -8"
        else if (kind == 3) spec = "pluck " f1 " pluck " f2 " gain -4"
        else if (kind == 4) spec = "brownnoise triangle mix " f2 " band " f1 " 800 gain -3"
        else spec = "whitenoise sine amod 0.5 50 sine mix " f3 " highpass 200 gain -12"
        name = isLong ? sprintf("long-%02d", i - short) : sprintf("short-%03d", i)
        printf "%s %d %d %s %d %s\n", name, rate, ch, secs, q, spec
    }
}' >"$scratch/corpus.list"

make_one() {  # make_one DIR NAME RATE CHANNELS SECONDS QUALITY SYNTH...
    set -euo pipefail
    local dir=$1 name=$2 rate=$3 ch=$4 secs=$5 q=$6
    shift 6
    # Raw PCM on the pipe: a streamed WAV header would carry a wrong length.
    sox -V1 -n -r "$rate" -c "$ch" -b 16 -e signed -t raw - synth "$secs" "$@" |
        oggenc -Q -q "$q" -r -R "$rate" -C "$ch" -B 16 -o "$dir/$name.ogg" -
}
export -f make_one

say "bench-decode: scratch $scratch, ROUNDS=$ROUNDS, $(nproc) cores"
say "== generating $SHORT_FILES files of 1-5 s and $LONG_FILES of 3 min (sox | oggenc, $JOBS jobs)"
t=$SECONDS
sed "s|^|$corpus |" "$scratch/corpus.list" | xargs -P "$JOBS" -L 1 bash -c 'make_one "$@"' _ ||
    fail "corpus generation failed"
gen_seconds=$((SECONDS - t))
files=$(find "$corpus" -name '*.ogg' | wc -l)
[ "$files" -eq $((SHORT_FILES + LONG_FILES)) ] || fail "expected $((SHORT_FILES + LONG_FILES)) files, found $files"
ogg_mib=$(du -sb "$corpus" | awk '{ printf "%.1f", $1 / 1048576 }')
say "  $files files, $ogg_mib MiB of Ogg Vorbis, $(awk '{ s += $4 } END { printf "%.0f", s }' "$scratch/corpus.list") s of audio;" \
    "$(awk '{ print $2 "/" ($3 == 1 ? "mono" : "stereo") }' "$scratch/corpus.list" | sort | uniq -c | awk '{ printf "%s%s x%d", (NR > 1 ? ", " : ""), $2, $1 }')"
say "  generated in $gen_seconds s"

# --- timed rounds -------------------------------------------------------------------------

say ""
say "== decoding"
"$bench" "$corpus" "$ROUNDS" | tee "$scratch/bench.out"

ratio=$(awk '/^median/ { print $NF }' "$scratch/bench.out")
balanced=$(awk '/^balanced/ { print $4 }' "$scratch/bench.out")
# The verdict goes by the balanced ratio: it does not lean on which side ran first.
verdict=$(awk -v r="$balanced" -v t=$TARGET 'BEGIN { print (r <= t) ? "within" : "OVER" }')
say ""
say "== summary"
say "  ratio OggSource/bare: $ratio from the median totals, $balanced balanced ($verdict the $TARGET target)"
say "  CPU-time ratio $(awk '/^CPU time/ { for (i = 1; i < NF; i++) if ($i == "a/b") print $(i + 1) }' "$scratch/bench.out"): wall time also counts the" \
    "moments another process held the core, so on a busy machine trust this one more"
say "  corpus generation $gen_seconds s, total run time $((SECONDS - start)) s"
