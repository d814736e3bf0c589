#!/usr/bin/env bash
# Runs each fuzz target for a set time: `make fuzz` (FUZZ_SECONDS, 60 by default).
#   fuzz/run.sh BUILD_DIR SECONDS
# Starts from the corpus kept in fuzz/corpus/<target>/ and keeps what the run finds
# in BUILD_DIR/corpus/<target>/, so the next run goes on from there. A failing
# input is saved as BUILD_DIR/crash-* (or leak-*, timeout-*) and the run fails.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
seconds=$2

for target in fuzz_inttext fuzz_profile; do
    mkdir -p "$build/corpus/$target"
    log="$build/$target.log"
    echo "fuzz: $target for $seconds s"
    if ! "$build/fuzz/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$build/" \
        "$build/corpus/$target" "$here/corpus/$target" >"$log" 2>&1; then
        tail -n 60 "$log" >&2
        echo "fuzz: $target failed; the input is saved in $build, the whole log in $log" >&2
        exit 1
    fi
    # Executions, their rate and the coverage reached, from libFuzzer's final report.
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
    cov=$(grep -o 'cov: [0-9]*' "$log" | tail -n 1)
    echo "fuzz: $target passed: $runs runs, $rate per second, $cov edges"
done
