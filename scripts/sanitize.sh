#!/usr/bin/env bash
# Installs what is missing, builds every test with AddressSanitizer and UndefinedBehaviorSanitizer
# into build-asan, and runs the whole suite. The first report of either sanitizer, a leak
# included, ends the test that made it and fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh build-asan -DKORVANE_SANITIZE=ON -DKORVANE_BUILD_BENCH=OFF

export ASAN_OPTIONS=detect_leaks=1:halt_on_error=1:detect_stack_use_after_return=1:strict_init_order=1:check_initialization_order=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
ctest --test-dir build-asan --output-on-failure --timeout 1200
