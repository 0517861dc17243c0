#!/usr/bin/env bash
# Installs what is missing, then checks the code's form: clang-format (the rules in
# .clang-format) over every tracked C++ file, and clang-tidy (the checks in .clang-tidy) over
# src/, one process per core. Fails on the first file of either that is not clean.
#
# clang-tidy reads the compile commands of build-lint, a build directory configured with clang
# 14 and never built: nothing in src/ needs a generated file to be parsed. Extra arguments go to
# run-clang-tidy, e.g. a pattern of the files to check:
#   scripts/lint.sh 'src/model/.*'
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

echo "== clang-format"
git ls-files -z -- '*.cpp' '*.h' | xargs -0 clang-format-14 --dry-run --Werror

echo "== clang-tidy"
CC=clang-14 CXX=clang++-14 cmake -S . -B build-lint -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DKORVANE_BUILD_TESTS=OFF -DKORVANE_BUILD_BENCH=OFF >/dev/null
[ $# -eq 0 ] && set -- "^$PWD/src/.*\.cpp$"
log=build-lint/clang-tidy.log
status=0
run-clang-tidy-14 -clang-tidy-binary clang-tidy-14 -p build-lint -j "$(nproc)" -quiet "$@" \
    >"$log" 2>&1 || status=$?
# The log names every file as it is checked; only the findings are shown.
grep -vE '^(clang-tidy-14 |[0-9]+ warnings? generated\.$)' "$log" || true
if [ $status -ne 0 ]; then
    echo "clang-tidy found problems (log: $log)"
    exit 1
fi
echo "clean: $(grep -c '^clang-tidy-14 ' "$log") files"
