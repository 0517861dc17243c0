#!/usr/bin/env bash
# Installs what is missing, builds the benchmarks in Release into build-bench, and runs every
# one with five repetitions, printing the medians. Extra arguments go to each benchmark, e.g.
#   scripts/bench.sh --benchmark_filter=Draw
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DKORVANE_BUILD_BENCH=ON >/dev/null
cmake --build build-bench --target benches --parallel
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
for bench in build-bench/bench/bench_*; do
    [ -f "$bench" ] && [ -x "$bench" ] || continue
    echo "== $(basename "$bench")"
    "$bench" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
        --benchmark_counters_tabular=true "$@"
done
