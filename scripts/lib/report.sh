# report_row FIGURE THIS PEER RATIO AIM: one row of the benchmark report, appended to the file
# named by BENCH_REPORT when the benchmark runs under scripts/bench-report.sh; nothing otherwise.
report_row() {
    if [ -n "${BENCH_REPORT:-}" ]; then
        printf '| %s | %s | %s | %s | %s |\n' "$@" >>"$BENCH_REPORT"
    fi
    return 0
}
