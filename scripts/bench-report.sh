#!/usr/bin/env bash
# Runs every benchmark of the repo and prints one Markdown table of their figures: extraction
# against Info-ZIP unzip (2,000 mixed files, 65,535 small entries, one 1 GiB entry), the Ogg
# source's decoding overhead against a bare libvorbisfile loop, conversion against oggdec, and
# mkpatch's archive and sound building against zip -9 and oggenc.
# Each benchmark's own output goes to build/bench-report/NAME.log.
#   bash scripts/bench-report.sh             (about 10 minutes)
#   QUICK=1 bash scripts/bench-report.sh     (fewer runs, no 1 GiB entry: about 3 minutes)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
logs="$root/build/bench-report"
mkdir -p "$logs"
export BENCH_REPORT="$logs/rows.md"
: >"$BENCH_REPORT"
if [ "${QUICK:-0}" = 1 ]; then
    export RUNS=3 RUNS_SMALL=2 SKIP_HUGE=1 ROUNDS=4 EACH_ROUNDS=1 SHORT_FILES=100 LONG_FILES=2
fi

for bench in extract decode convert build; do
    echo "== bench-$bench (log: $logs/bench-$bench.log)" >&2
    bash "$root/scripts/bench-$bench.sh" >"$logs/bench-$bench.log" 2>&1 ||
        { tail -n 20 "$logs/bench-$bench.log" >&2; exit 1; }
done

echo "Benchmarks of $(date -u +%Y-%m-%d), $(nproc) cores$([ "${QUICK:-0}" = 1 ] && echo ', quick runs')"
echo
echo "| figure | this project | peer | ratio | aim |"
echo "|---|---|---|---|---|"
cat "$BENCH_REPORT"
