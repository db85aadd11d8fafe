# Timed runs for the benchmarks, kept in $scratch/results as "NAME seconds peak-kB" lines.
# Expects `scratch` and `fail` from the benchmark.

# timed NAME COMMAND...: runs it under GNU time, after writing back what earlier runs left.
timed() {
    local name=$1
    shift
    sync
    /usr/bin/time -f "$name %e %M" -o "$scratch/time.out" "$@" >/dev/null 2>"$scratch/stderr.out" ||
        { cat "$scratch/stderr.out" >&2; fail "$name failed"; }
    cat "$scratch/time.out" >>"$scratch/results"
}

# median NAME [FIELD]: the median of NAME's runs, of seconds (field 2) or peak kB (field 3).
median() {
    awk -v n="$1" -v f="${2:-2}" '$1 == n { print $f }' "$scratch/results" | sort -g |
        awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
