#!/usr/bin/env bash
# Extraction benchmark: the native patcher against Info-ZIP unzip on the same patcher file.
# Three payloads: many small-to-medium files in nested folders, the most entries a patch may
# hold (65,535, each of a few hundred bytes), and one 1 GiB entry.
# Wall time and peak RSS come from GNU time; every run extracts into a new empty folder.
#
#   bash scripts/bench-extract.sh
#   RUNS=3 SKIP_HUGE=1 bash scripts/bench-extract.sh
#
# Options (environment):
#   RUNS=5          timed runs per tool, many-files payload
#   RUNS_HUGE=3     timed runs per tool, 1 GiB payload
#   SKIP_HUGE=1     leave out the 1 GiB payload
#   RUNS_SMALL=3    timed runs per tool, 65,535-entry payload
#   SKIP_SMALL=1    leave out the 65,535-entry payload
#   FILES=2000      files in the many-files payload (spread over 20 folders)
#   PAYLOAD_MB=200  its total size, MiB
#   HUGE_MB=1024    size of the single large entry, MiB
#   MIN_FREE_GB=4   refuse to start with less free space under ${TMPDIR:-/tmp}
set -euo pipefail

RUNS="${RUNS:-5}"
RUNS_HUGE="${RUNS_HUGE:-3}"
SKIP_HUGE="${SKIP_HUGE:-0}"
RUNS_SMALL="${RUNS_SMALL:-3}"
SKIP_SMALL="${SKIP_SMALL:-0}"
SMALL_ENTRIES=65535
FILES="${FILES:-2000}"
PAYLOAD_MB="${PAYLOAD_MB:-200}"
HUGE_MB="${HUGE_MB:-1024}"
MIN_FREE_GB="${MIN_FREE_GB:-4}"
RSS_TARGET_MB=8
FOLDERS=20

root="$(cd "$(dirname "$0")/.." && pwd)"
. "$root/scripts/lib/report.sh"
. "$root/scripts/lib/payload.sh"
bin="$root/build/native/bin"
parent="${TMPDIR:-/tmp}"

say() { printf '%s\n' "$*"; }
fail() { printf 'bench-extract: FAIL: %s\n' "$*" >&2; exit 1; }

[ -x /usr/bin/time ] || fail "GNU time is missing (apt-get install time)"
command -v unzip >/dev/null || fail "unzip is missing (apt-get install unzip)"

free_kb=$(df -Pk "$parent" | awk 'NR == 2 { print $4 }')
if [ "$free_kb" -lt $((MIN_FREE_GB * 1024 * 1024)) ]; then
    say "bench-extract: only $((free_kb / 1024 / 1024)) GB free under $parent; it needs about" \
        "$MIN_FREE_GB GB. Point TMPDIR at a roomier disk, or try SKIP_HUGE=1 MIN_FREE_GB=1." >&2
    exit 1
fi

if [ ! -x "$bin/patcher" ] || [ ! -x "$bin/mkpatch" ]; then
    say "== building the native preset"
    (cd "$root" && cmake --preset native >/dev/null && cmake --build --preset native)
fi

scratch="$(mktemp -d "$parent/bench-extract.XXXXXX")"
# Extracted files may come out read-only; rm needs write permission on their folders.
trap 'chmod -R u+w "$scratch" 2>/dev/null; rm -rf "$scratch"' EXIT

start=$SECONDS
mib() { awk -v b="$1" 'BEGIN { printf "%.1f", b / 1048576 }'; }

# The pools and the many-files payload come from scripts/lib/payload.sh.

# A sorted list of "path md5" lines plus the folder list: equal manifests, equal trees.
manifest() {  # manifest DIR OUT
    (
        cd "$1"
        find . -type d | LC_ALL=C sort
        find . -type f -print0 | LC_ALL=C sort -z | xargs -0 -r md5sum
    ) >"$2"
}

build_patch() {  # build_patch PAYLOAD OUT
    "$bin/mkpatch" build --stub "$bin/patcher" --out "$2" "$1" >/dev/null
    chmod +x "$2"
}

# --- the two payloads ---------------------------------------------------------------------


make_small_files() {  # make_small_files DIR
    # 65,534 files of 64 B to 2 KiB, text and binary, 256 to a folder, and patch.bat.
    awk -v files=$((SMALL_ENTRIES - 1)) -v pool=$((16 * 1048576)) 'BEGIN {
        srand(13)
        for (i = 0; i < files; i++) {
            text = (i % 4) != 0
            s = int(64 + rand() * rand() * 2000)
            printf "%s %d %d Small/d%03d/s%05d.%s\n", text ? "t" : "b", int(rand() * (pool - s)), s,
                int(i / 256), i, text ? "txt" : "bin"
        }
    }' >"$scratch/small.list"
    cut_files "$1" <"$scratch/small.list"
    printf 'exit 0\n' >"$1/patch.bat"
}

make_huge() {  # make_huge DIR
    mkdir -p "$1/Data"
    # Level-9 deflate crawls through plain text (a few MB/s), so the text half of each MiB is
    # one 16 KiB passage repeated: it still inflates as text but packs quickly. The other half
    # is random. Net: the entry deflates to a bit over half its size.
    perl -e '
        my ($mib, $text, $random) = @ARGV;
        sub slurp { open(my $f, "<:raw", $_[0]) or die "$_[0]: $!"; local $/; return <$f> }
        my ($t, $r) = (slurp($text), slurp($random));
        my $half = 512 * 1024;
        my @repeated = map { substr($t, $_ * 7 * 16384, 16384) x 32 } 0 .. 31;
        binmode STDOUT;
        for my $i (0 .. $mib - 1) {
            print $repeated[$i % 32], substr($r, ($i % 128) * $half, $half);
        }' "$HUGE_MB" "$scratch/text.pool" "$scratch/random.pool" >"$1/Data/huge.pak"
    printf 'exit 0\n' >"$1/patch.bat"
}

# --- timed runs ---------------------------------------------------------------------------

# Each run leaves "wall-seconds peak-KiB" in $scratch/time.txt. GNU time puts a "Command
# exited with non-zero status" line first when the command fails, hence tail.

run_patcher() {  # run_patcher PATCHFILE DEST
    printf 'REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Pellmark\\Torvicor\\Vardane]\r\n"Path"="%s"\r\n' \
        "$2" >"$scratch/registry.reg"
    local rc=0
    PATCHER_REGISTRY="$scratch/registry.reg" /usr/bin/time -f '%e %M' -o "$scratch/time.txt" \
        "$1" >"$scratch/patcher.out" 2>"$scratch/patcher.err" || rc=$?
    if [ "$rc" -ne 0 ] || ! grep -q 'successfully applied' "$scratch/patcher.err"; then
        tail -n 5 "$scratch/patcher.out" "$scratch/patcher.err" >&2
        fail "patcher exited with status $rc"
    fi
}

run_unzip() {  # run_unzip PATCHFILE DEST
    local rc=0
    # Status 1 is the warning about the executable in front of the archive.
    /usr/bin/time -f '%e %M' -o "$scratch/time.txt" \
        unzip -o -qq "$1" -d "$2" >"$scratch/unzip.out" 2>&1 || rc=$?
    if [ "$rc" -gt 1 ]; then
        tail -n 5 "$scratch/unzip.out" >&2
        fail "unzip exited with status $rc"
    fi
}

median() {  # median < numbers
    sort -g | awk '{ v[NR] = $1 } END {
        if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

declare -A result

bench() {  # bench NAME PATCHFILE RUNS REFERENCE-MANIFEST
    local name=$1 patch=$2 runs=$3 reference=$4 i tool wall rss dest
    # Both tools read the patcher file from the page cache, never the first one alone.
    cat "$patch" >/dev/null
    : >"$scratch/$name.patcher.times"
    : >"$scratch/$name.unzip.times"
    printf '  %-4s %-8s %8s %14s\n' run tool 'wall s' 'peak RSS MiB'
    for ((i = 1; i <= runs; i++)); do
        for tool in patcher unzip; do
            dest="$scratch/out-$tool"
            mkdir "$dest"
            # Write-back left over from the run before must not land on this one's clock.
            sync
            "run_$tool" "$patch" "$dest"
            read -r wall rss < <(tail -n 1 "$scratch/time.txt")
            echo "$wall $rss" >>"$scratch/$name.$tool.times"
            printf '  %-4s %-8s %8s %14s\n' "$i" "$tool" "$wall" "$(mib $((rss * 1024)))"
            if [ "$i" -eq 1 ]; then
                manifest "$dest" "$scratch/$name.$tool.manifest"
            fi
            chmod -R u+w "$dest"
            rm -rf "$dest"
        done
        if [ "$i" -eq 1 ]; then
            cmp -s "$scratch/$name.patcher.manifest" "$scratch/$name.unzip.manifest" || {
                diff "$scratch/$name.patcher.manifest" "$scratch/$name.unzip.manifest" | head -n 20 >&2
                fail "$name: the patcher and unzip extracted different trees"
            }
            cmp -s "$scratch/$name.patcher.manifest" "$reference" || {
                diff "$reference" "$scratch/$name.patcher.manifest" | head -n 20 >&2
                fail "$name: the extracted tree differs from the payload"
            }
            say "  (run 1: patcher and unzip trees identical, and equal to the payload)"
        fi
    done
    for tool in patcher unzip; do
        result[$name.$tool.wall]=$(cut -d' ' -f1 "$scratch/$name.$tool.times" | median)
        result[$name.$tool.rss]=$(mib "$(cut -d' ' -f2 "$scratch/$name.$tool.times" | median | awk '{ print $1 * 1024 }')")
    done
    result[$name.ratio]=$(awk -v p="${result[$name.patcher.wall]}" -v u="${result[$name.unzip.wall]}" \
        'BEGIN { if (u > 0) printf "%.2f", p / u; else print "n/a" }')
    say "  median: patcher ${result[$name.patcher.wall]} s, unzip ${result[$name.unzip.wall]} s," \
        "ratio ${result[$name.ratio]}; peak RSS patcher ${result[$name.patcher.rss]} MiB," \
        "unzip ${result[$name.unzip.rss]} MiB"
}

describe() {  # describe NAME PATCHFILE PAYLOAD-BYTES ENTRIES
    local archive=$(($(stat -c %s "$2") - $(stat -c %s "$bin/patcher")))
    result[$1.what]="$4 entries, $(mib "$3") MiB -> archive $(mib "$archive") MiB"
    say "  ${result[$1.what]}"
}

# --- main ---------------------------------------------------------------------------------

say "bench-extract: scratch $scratch, RUNS=$RUNS, RUNS_HUGE=$RUNS_HUGE, SKIP_HUGE=$SKIP_HUGE"
say "  $(nproc) cores, patcher $(stat -c %s "$bin/patcher") bytes, $(unzip -v | head -n 1)"
make_pools

# scenario NAME TITLE MAKER RUNS: generates a payload with MAKER, packs it, measures it.
scenario() {
    local name=$1 title=$2 maker=$3 runs=$4 t=$SECONDS bytes entries
    say ""
    say "== $title"
    "$maker" "$scratch/$name"
    manifest "$scratch/$name" "$scratch/$name.reference"
    bytes=$(du -sb "$scratch/$name" | cut -f1)
    entries=$(find "$scratch/$name" -type f | wc -l)
    build_patch "$scratch/$name" "$scratch/$name.exe"
    rm -rf "$scratch/$name"
    describe "$name" "$scratch/$name.exe" "$bytes" "$entries"
    say "  generated and packed in $((SECONDS - t)) s"
    bench "$name" "$scratch/$name.exe" "$runs" "$scratch/$name.reference"
    rm -f "$scratch/$name.exe"
}

scenario many "many files: generating $FILES files, ~$PAYLOAD_MB MiB" make_many_files "$RUNS"
if [ "$SKIP_SMALL" != 1 ]; then
    scenario small "the most entries: generating $SMALL_ENTRIES small files" make_small_files "$RUNS_SMALL"
fi
if [ "$SKIP_HUGE" != 1 ]; then
    scenario huge "one large entry: generating $HUGE_MB MiB" make_huge "$RUNS_HUGE"
fi

say ""
say "== summary (medians; warm page cache, extraction into empty folders)"
for name in many small huge; do
    [ -n "${result[$name.ratio]:-}" ] || continue
    label="many files"
    runs=$RUNS
    [ "$name" = small ] && label="65,535 small entries" && runs=$RUNS_SMALL
    [ "$name" = huge ] && label="one large entry" && runs=$RUNS_HUGE
    say "  $label: ${result[$name.what]}, runs per tool: $runs"
    say "    wall      patcher ${result[$name.patcher.wall]} s   unzip ${result[$name.unzip.wall]} s   patcher/unzip ${result[$name.ratio]}"
    verdict=$(awk -v r="${result[$name.patcher.rss]}" -v t=$RSS_TARGET_MB 'BEGIN { print (r < t) ? "under" : "OVER" }')
    say "    peak RSS  patcher ${result[$name.patcher.rss]} MiB ($verdict the $RSS_TARGET_MB MiB target)   unzip ${result[$name.unzip.rss]} MiB"
    report_row "extraction, $label ($runs runs): wall time" "${result[$name.patcher.wall]} s" \
        "${result[$name.unzip.wall]} s (unzip)" "${result[$name.ratio]}" "at most 1.00"
    report_row "extraction, $label: peak RSS" "${result[$name.patcher.rss]} MiB" \
        "${result[$name.unzip.rss]} MiB (unzip)" \
        "$(awk -v p="${result[$name.patcher.rss]}" -v u="${result[$name.unzip.rss]}" 'BEGIN { printf "%.2f", p / u }')" \
        "under $RSS_TARGET_MB MiB"
done
say "  total run time $((SECONDS - start)) s"
