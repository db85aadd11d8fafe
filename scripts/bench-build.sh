#!/usr/bin/env bash
# Build benchmark: mkpatch against its peers on the publisher's machine.
#   archive  mkpatch build of about 200 MB of mixed game files against `zip -9 -r` of the same
#            folder: wall time and archive size (the patcher file less its stub)
#   sounds   mkpatch build --sounds over WAV masters (200 short sounds in nested folders and 5
#            tracks of 3 minutes) against oggenc given every master in one process, at the same
#            quality: wall time
# Runs alternate which tool goes first. Aims on 2 cores: archive time at most 0.6 x zip -9 with
# an archive no larger; sound encoding at most 0.6 x oggenc.
#
#   bash scripts/bench-build.sh
#   RUNS=2 FILES=500 PAYLOAD_MB=50 SHORT_FILES=50 LONG_FILES=1 bash scripts/bench-build.sh
#
# Options (environment): RUNS=3, FILES=2000, PAYLOAD_MB=200, SHORT_FILES=200, LONG_FILES=5,
# QUALITY=5 (both encoders), JOBS=2 (generating the masters), KEEP=1 (keep the scratch folder).
set -euo pipefail

RUNS="${RUNS:-3}"
FILES="${FILES:-2000}"
PAYLOAD_MB="${PAYLOAD_MB:-200}"
FOLDERS=20
SHORT_FILES="${SHORT_FILES:-200}"
LONG_FILES="${LONG_FILES:-5}"
QUALITY="${QUALITY:-5}"
JOBS="${JOBS:-2}"

root="$(cd "$(dirname "$0")/.." && pwd)"
. "$root/scripts/lib/report.sh"
. "$root/scripts/lib/payload.sh"
. "$root/scripts/lib/sound-corpus.sh"
say() { printf '%s\n' "$*"; }
fail() { printf 'bench-build: FAIL: %s\n' "$*" >&2; exit 1; }
for tool in zip oggenc sox perl; do
    command -v "$tool" >/dev/null || fail "$tool is missing"
done
[ -x /usr/bin/time ] || fail "GNU time is missing (apt-get install time)"

sound_bench_prepare bench-build mkpatch
(cd "$root" && cmake --build --preset native --target patcher sondrel >/dev/null) || fail "build failed"
bin="$root/build/native/bin"
start=$SECONDS

. "$root/scripts/lib/timing.sh"
: >"$scratch/results"

say "== archive: generating $FILES files, ~$PAYLOAD_MB MiB"
make_pools
make_many_files "$scratch/payload"
run_mkpatch() {
    timed mkpatch "$bin/mkpatch" build --stub "$bin/patcher" --out "$scratch/patch.bin" "$scratch/payload"
    say "  mkpatch $(tail -n 1 "$scratch/results" | cut -d' ' -f2) s"
}
run_zip() {
    rm -f "$scratch/payload.zip"
    timed zip bash -c 'cd "$1" && zip -9 -r -q "$2" .' _ "$scratch/payload" "$scratch/payload.zip"
    say "  zip -9  $(tail -n 1 "$scratch/results" | cut -d' ' -f2) s"
}
for i in $(seq 1 "$RUNS"); do
    if [ $((i % 2)) -eq 1 ]; then run_mkpatch; run_zip; else run_zip; run_mkpatch; fi
done
archive=$(($(stat -c %s "$scratch/patch.bin") - $(stat -c %s "$bin/patcher")))
zipped=$(stat -c %s "$scratch/payload.zip")
a_ratio=$(awk -v a="$(median mkpatch)" -v b="$(median zip)" 'BEGIN { printf "%.2f", a / b }')

say "== sounds: generating $SHORT_FILES short masters and $LONG_FILES of 3 minutes"
sound_corpus_list "$SHORT_FILES" "$LONG_FILES" nested >"$scratch/masters.list"
SOUND_CORPUS_FORMAT=wav sound_corpus_make "$scratch/masters" "$scratch/masters.list" "$JOBS" ||
    fail "generating the masters failed"
mkdir -p "$scratch/tiny/Data"
printf 'x' >"$scratch/tiny/Data/x.txt"
masters=$(find "$scratch/masters" -name '*.wav' | sort)
run_sounds() {
    timed sounds "$bin/mkpatch" build --stub "$bin/patcher" --out "$scratch/sounds.bin" --sounds "$scratch/masters" \
        --quality "$QUALITY" --converter "$bin/sondrel" "$scratch/tiny"
    say "  mkpatch --sounds $(tail -n 1 "$scratch/results" | cut -d' ' -f2) s"
}
run_oggenc() {
    timed oggenc oggenc -Q -q "$QUALITY" $masters
    say "  oggenc  $(tail -n 1 "$scratch/results" | cut -d' ' -f2) s"
    find "$scratch/masters" -name '*.ogg' -delete
}
for i in $(seq 1 "$RUNS"); do
    if [ $((i % 2)) -eq 1 ]; then run_sounds; run_oggenc; else run_oggenc; run_sounds; fi
done
s_ratio=$(awk -v a="$(median sounds)" -v b="$(median oggenc)" 'BEGIN { printf "%.2f", a / b }')

say ""
say "== summary (medians of $RUNS runs, $(nproc) cores)"
say "  archive: mkpatch $(median mkpatch) s, zip -9 $(median zip) s, ratio $a_ratio (aim 0.6);" \
    "archive $archive bytes, zip $zipped bytes ($(awk -v a="$archive" -v b="$zipped" 'BEGIN { printf "%.3f", a / b }') x)"
say "  sounds: mkpatch --sounds $(median sounds) s, oggenc $(median oggenc) s, ratio $s_ratio (aim 0.6)"
say "  total run time $((SECONDS - start)) s"
report_row "building the archive of $FILES files ($RUNS runs): wall time" "$(median mkpatch) s" \
    "$(median zip) s (zip -9)" "$a_ratio" "at most 0.6"
report_row "building the archive: size" "$archive bytes" "$zipped bytes (zip -9)" \
    "$(awk -v a="$archive" -v b="$zipped" 'BEGIN { printf "%.3f", a / b }')" "at most 1.0"
report_row "encoding $((SHORT_FILES + LONG_FILES)) masters ($RUNS runs): wall time" "$(median sounds) s" \
    "$(median oggenc) s (oggenc, one process)" "$s_ratio" "at most 0.6"
