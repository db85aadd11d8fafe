#!/usr/bin/env bash
# Conversion benchmark: the native converter against oggdec over a generated patch's "Patch"
# tree (about 200 short sounds of 1 to 5 s in nested folders, mono 22,050 Hz and stereo
# 44,100 Hz, and 5 stereo tracks of 3 minutes), each writing a WAV file for every sound.
#   sondrel      sondrel Patch Out: the converter, one process for the whole tree
#   oggdec       oggdec given every file in one process, its fastest use
#   oggdec each  oggdec started once per file, the way a patch script would otherwise call it
# Wall time and peak RSS come from GNU time; sondrel and oggdec alternate which runs first.
# Aims: sondrel / oggdec at most 1.0; sondrel's peak RSS at most the largest sound's PCM + 16 MiB.
#
#   bash scripts/bench-convert.sh
#   ROUNDS=3 SHORT_FILES=50 LONG_FILES=2 bash scripts/bench-convert.sh
#
# Options (environment):
#   ROUNDS=6         timed rounds of sondrel and oggdec (keep it even)
#   EACH_ROUNDS=2    timed rounds of oggdec started per file
#   SHORT_FILES=200  sounds of 1 to 5 s
#   LONG_FILES=5     tracks of 3 minutes
#   JOBS=2           parallel encoders while generating
#   KEEP=1           keep the corpus folder (its path is printed)
set -euo pipefail

ROUNDS="${ROUNDS:-6}"
EACH_ROUNDS="${EACH_ROUNDS:-2}"
SHORT_FILES="${SHORT_FILES:-200}"
LONG_FILES="${LONG_FILES:-5}"
JOBS="${JOBS:-2}"
KEEP="${KEEP:-0}"
RSS_MARGIN_KB=$((16 * 1024))

root="$(cd "$(dirname "$0")/.." && pwd)"
. "$root/scripts/lib/report.sh"
sondrel="$root/build/native/bin/sondrel"

say() { printf '%s\n' "$*"; }
fail() { printf 'bench-convert: FAIL: %s\n' "$*" >&2; exit 1; }

for tool in sox oggenc oggdec cmake; do
    command -v "$tool" >/dev/null || fail "$tool is missing"
done
[ -x /usr/bin/time ] || fail "GNU time is missing (apt-get install time)"

start=$SECONDS
. "$root/scripts/lib/sound-corpus.sh"
sound_bench_prepare bench-convert sondrel
patch="$scratch/Patch"
mkdir "$patch"

sound_corpus_list "$SHORT_FILES" "$LONG_FILES" nested >"$scratch/corpus.list"
say "bench-convert: scratch $scratch, ROUNDS=$ROUNDS, $(nproc) cores"
say "== generating $SHORT_FILES sounds of 1-5 s and $LONG_FILES tracks of 3 min (sox | oggenc, $JOBS jobs)"
t=$SECONDS
sound_corpus_make "$patch" "$scratch/corpus.list" "$JOBS" || fail "corpus generation failed"
files=$(find "$patch" -name '*.ogg' | sort)
count=$(printf '%s\n' "$files" | wc -l)
[ "$count" -eq $((SHORT_FILES + LONG_FILES)) ] || fail "expected $((SHORT_FILES + LONG_FILES)) files, found $count"
say "  $count files in $(find "$patch" -type d | wc -l) folders, $(du -sb "$patch" | awk '{ printf "%.1f", $1 / 1048576 }') MiB" \
    "of Ogg Vorbis, $(sound_corpus_summary "$scratch/corpus.list"); generated in $((SECONDS - t)) s"

. "$root/scripts/lib/timing.sh"
clear_outputs() {
    rm -rf "$scratch/Out"
    find "$patch" -name '*.wav' -delete
    # The disk's write-back of one run's few hundred megabytes must not fall into the next.
    sync
}
run_sondrel() { timed sondrel "$sondrel" "$patch" "$scratch/Out"; }
run_oggdec() { timed oggdec oggdec -Q $files; }
oggdec_each() {
    local f
    for f in "$@"; do
        oggdec -Q "$f"
    done
}
export -f oggdec_each

# One untimed run of each warms the page cache and checks that both write the same files.
say "== checking the outputs"
"$sondrel" "$patch" "$scratch/Out" 2>/dev/null
oggdec -Q $files
mismatches=0
for f in $files; do
    relative=${f#"$patch/"}
    cmp -s "${f%.ogg}.wav" "$scratch/Out/${relative%.ogg}.wav" || mismatches=$((mismatches + 1))
done
say "  $count WAV files each; $mismatches differ between sondrel and oggdec"
largest_pcm_kb=$(find "$scratch/Out" -name '*.wav' -printf '%s\n' | sort -n | tail -n 1 | awk '{ printf "%d", ($1 - 44) / 1024 }')
clear_outputs

say "== timed rounds"
: >"$scratch/results"
for round in $(seq 1 "$ROUNDS"); do
    if [ $((round % 2)) -eq 1 ]; then
        run_sondrel; clear_outputs; run_oggdec; clear_outputs
    else
        run_oggdec; clear_outputs; run_sondrel; clear_outputs
    fi
    say "  round $round: $(tail -n 2 "$scratch/results" | awk '{ printf "%s %s s, %d MiB   ", $1, $2, $3 / 1024 }')"
done
for round in $(seq 1 "$EACH_ROUNDS"); do
    timed oggdec-each bash -c 'oggdec_each "$@"' _ $files
    clear_outputs
    say "  oggdec started per file, round $round: $(tail -n 1 "$scratch/results" | awk '{ printf "%s s, %d MiB", $2, $3 / 1024 }')"
done

s_time=$(median sondrel 2); o_time=$(median oggdec 2); e_time=$(median oggdec-each 2)
s_rss=$(awk '$1 == "sondrel" && $3 > m { m = $3 } END { print m }' "$scratch/results")
o_rss=$(awk '$1 == "oggdec" && $3 > m { m = $3 } END { print m }' "$scratch/results")
ratio=$(awk -v a="$s_time" -v b="$o_time" 'BEGIN { printf "%.3f", a / b }')
rss_aim=$((largest_pcm_kb + RSS_MARGIN_KB))

say ""
say "== summary (medians of $ROUNDS rounds, peak RSS the largest seen)"
say "  sondrel            $s_time s, peak RSS $((s_rss / 1024)) MiB"
say "  oggdec, one run    $o_time s, peak RSS $((o_rss / 1024)) MiB"
say "  oggdec, per file   $e_time s ($(awk -v a="$e_time" -v b="$o_time" 'BEGIN { printf "%.2f", a / b }') x the one run)"
say "  ratio sondrel / oggdec: $ratio ($(awk -v r="$ratio" 'BEGIN { print (r <= 1.0) ? "within" : "OVER" }') the 1.0 aim)"
say "  sondrel's peak RSS $((s_rss / 1024)) MiB against the largest sound's PCM $((largest_pcm_kb / 1024)) MiB + 16 MiB" \
    "= $((rss_aim / 1024)) MiB ($([ "$s_rss" -le "$rss_aim" ] && echo within || echo OVER) the aim)"
say "  total run time $((SECONDS - start)) s"
report_row "converting $count sounds ($ROUNDS rounds): wall time" "$s_time s" "$o_time s (oggdec, one process)" \
    "$ratio" "at most 1.0"
report_row "converting: oggdec started once per file" "$s_time s" "$e_time s (oggdec per file)" \
    "$(awk -v a="$s_time" -v b="$e_time" 'BEGIN { printf "%.3f", a / b }')" "-"
report_row "converting: peak RSS" "$((s_rss / 1024)) MiB" "$((o_rss / 1024)) MiB (oggdec)" "-" \
    "at most $((rss_aim / 1024)) MiB (largest PCM + 16 MiB)"
