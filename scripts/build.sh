#!/usr/bin/env bash
# Configures and builds into build/ (or the directory given as $1, with extra CMake options
# after it). KORVANE_WERROR=ON in the environment makes every warning an error, as CI builds.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build}
shift || true
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DKORVANE_WERROR="${KORVANE_WERROR:-OFF}" "$@"
cmake --build "$dir" --parallel
