#!/usr/bin/env bash
# `make bench`: installs what the benchmarks compare against, builds the program,
# the simulated module and the benchmark programs, and prints one table.
#   bench/run.sh [BUILD_DIR]        (default: build)
# Measures only: a slow figure is reported, never a failure.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)

# Quiet when it works, everything when it does not.
quietly() {
    local out
    if ! out=$("$@" 2>&1); then
        printf '%s\n' "$out" >&2
        exit 1
    fi
}

"$root/tools/setup-deps.sh" bench
# Configured again so that Xlib headers installed just now are found.
quietly cmake -S "$root" -B "$build"
targets=(ktbctl ktbsim bench_minimal_window bench_pacewriter bench_response bench_settings)
help=$(cmake --build "$build" --target help)
if grep -q '^bench_firstmap:' <<<"$help"; then
    targets+=(bench_firstmap)
fi
quietly cmake --build "$build" --target "${targets[@]}"

# The response benchmark creates the window, which reads the settings file beside
# its executable; one left there would change what the window does.
if [ -e "$build/bench/ktbctl.ini" ]; then
    echo "bench: $build/bench/ktbctl.ini must not exist" >&2
    exit 1
fi

exec python3 "$root/bench/bench.py" "$build"
