#!/usr/bin/env bash
# Builds the libFuzzer targets into build-fuzz with clang and runs each one for the given
# number of seconds (default 60). Optional further arguments name the targets to run
# (pack, map, bitmap, note, tiled; all five by default).
#
# The limits prove the readers' memory bound: an input is at most 64 KiB, no single allocation
# may exceed 20 MiB (the largest picture such a file may decode to is 64 pixels a byte at 4
# bytes each, 16 MiB), and the whole process stays under 512 MiB. Each target also meters the
# heap peak of every single load against the input's size. A Tiled map's compressed layer may
# rightly hold 1100 times its bytes in cells, so its target may allocate 160 MiB at once.
#
# New inputs go to build-fuzz/corpus/<target>, findings to build-fuzz/artifacts/; the seeds in
# fuzz/corpus are only read. KORVANE_WERROR=ON in the environment makes every warning an error.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(pack map bitmap note tiled clipboard)

scripts/install-deps.sh
CC=clang-14 CXX=clang++-14 cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DKORVANE_FUZZ=ON -DKORVANE_BUILD_TESTS=OFF -DKORVANE_BUILD_BENCH=OFF \
    -DKORVANE_WERROR="${KORVANE_WERROR:-OFF}" >/dev/null
cmake --build build-fuzz --parallel --target "${targets[@]/#/fuzz_}"

export ASAN_OPTIONS=detect_leaks=1:halt_on_error=1:quarantine_size_mb=64:malloc_context_size=30
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
export QT_QPA_PLATFORM=offscreen
mkdir -p build-fuzz/artifacts build-fuzz/logs
for target in "${targets[@]}"; do
    mkdir -p "build-fuzz/corpus/$target"
    log="build-fuzz/logs/$target.log"
    echo "== fuzz_$target for $seconds s (log: $log)"
    status=0
    malloc_limit=20
    [ "$target" = tiled ] && malloc_limit=160
    nice -n "${FUZZ_NICE:-0}" "build-fuzz/bin/fuzz_$target" \
        "build-fuzz/corpus/$target" "fuzz/corpus/$target" \
        -max_total_time="$seconds" -max_len=65536 -timeout=20 \
        -rss_limit_mb=512 -malloc_limit_mb="$malloc_limit" -use_value_profile=1 \
        -artifact_prefix="build-fuzz/artifacts/$target-" -print_final_stats=1 \
        >"$log" 2>&1 || status=$?
    if [ $status -ne 0 ]; then
        tail -n 60 "$log"
        echo "fuzz_$target failed (exit $status); the input is in build-fuzz/artifacts/"
        exit 1
    fi
    grep -E '^(Done|stat::number_of_executed_units|stat::new_units_added|stat::peak_rss_mb)' \
        "$log"
    echo "corpus: $(find "build-fuzz/corpus/$target" "fuzz/corpus/$target" -type f | wc -l) files"
done
