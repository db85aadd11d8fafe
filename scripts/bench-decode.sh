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
. "$root/scripts/lib/report.sh"
bench="$root/build/native/bin/decode_bench"

say() { printf '%s\n' "$*"; }
fail() { printf 'bench-decode: FAIL: %s\n' "$*" >&2; exit 1; }

for tool in sox oggenc cmake; do
    command -v "$tool" >/dev/null || fail "$tool is missing"
done

start=$SECONDS

. "$root/scripts/lib/sound-corpus.sh"
sound_bench_prepare bench-decode decode_bench
corpus="$scratch/corpus"
mkdir "$corpus"

# --- corpus -------------------------------------------------------------------------------

sound_corpus_list "$SHORT_FILES" "$LONG_FILES" flat >"$scratch/corpus.list"

say "bench-decode: scratch $scratch, ROUNDS=$ROUNDS, $(nproc) cores"
say "== generating $SHORT_FILES files of 1-5 s and $LONG_FILES of 3 min (sox | oggenc, $JOBS jobs)"
t=$SECONDS
sound_corpus_make "$corpus" "$scratch/corpus.list" "$JOBS" || fail "corpus generation failed"
gen_seconds=$((SECONDS - t))
files=$(find "$corpus" -name '*.ogg' | wc -l)
[ "$files" -eq $((SHORT_FILES + LONG_FILES)) ] || fail "expected $((SHORT_FILES + LONG_FILES)) files, found $files"
ogg_mib=$(du -sb "$corpus" | awk '{ printf "%.1f", $1 / 1048576 }')
say "  $files files, $ogg_mib MiB of Ogg Vorbis, $(sound_corpus_summary "$scratch/corpus.list")"
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
report_row "decoding $files files ($ROUNDS rounds): OggSource against a bare libvorbisfile loop" \
    "$(awk '/^median/ { print $4 " s" }' "$scratch/bench.out")" \
    "$(awk '/^median/ { print $9 " s (bare loop)" }' "$scratch/bench.out")" "$balanced (balanced)" "at most $TARGET"
