#!/usr/bin/env bash
# Side by side with a peer editor, Tiled (Debian's package tiled, 1.8): the same maps opened and
# saved by each (1024² and 4096² cells), the most heap each holds meanwhile per cell, and the
# same 7680 × 4320 region drawn and written as a PNG, and whole maps drawn zoomed out into PNGs.
# The peer works through its command line (tiled --export-map, tmxrasterizer), the editor
# through its library (bench/peer_korvane.cpp) and korvane-tool render.
#
#   bench/peer.sh [--install] [runs]
#
# --install installs tiled first (with sudo when not root); it is never a dependency of the
# editor. Each time is the median of runs runs (3 by default). Prints a Markdown table.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${1:-}" = --install ]; then
    shift
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    $sudo apt-get install -y tiled >/dev/null
fi
runs=${1:-3}
if ! command -v tiled >/dev/null || ! command -v tmxrasterizer >/dev/null; then
    echo "tiled is not installed: run bench/peer.sh --install" >&2
    exit 1
fi
scripts/install-deps.sh
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DKORVANE_BUILD_BENCH=ON >/dev/null
cmake --build build-bench --target peer_korvane peer_heap korvane-tool --parallel >/dev/null
export QT_QPA_PLATFORM=offscreen
tool=build-bench/bench/peer_korvane
render=build-bench/bin/korvane-tool
heap=$PWD/build-bench/bench/libpeer_heap.so
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$tool" make "$work"

# Runs the command runs times; prints the median seconds and the peak heap of the last run.
measure() {
    local times=() peak
    for ((i = 0; i < runs; i++)); do
        local start end
        start=$(date +%s.%N)
        PEAK_FILE=$work/peak LD_PRELOAD=$heap "$@" >/dev/null 2>&1
        end=$(date +%s.%N)
        times+=("$(echo "$end - $start" | bc)")
    done
    peak=$(cat "$work/peak")
    printf '%s\n' "${times[@]}" | sort -g | awk -v peak="$peak" \
        '{ t[NR] = $1 } END { printf "%s %s\n", t[int((NR + 1) / 2)], peak }'
}

# One table row: what, the cells it holds, the editor's and the peer's "seconds peak".
row() {
    local what=$1 cells=$2
    read -r ours oursPeak <<<"$3"
    read -r peer peerPeak <<<"$4"
    printf '| %s | %.3f s | %.3f s | %.2f | %.0f MiB (%.1f B/cell) | %.0f MiB (%.1f B/cell) |\n' \
        "$what" "$ours" "$peer" "$(echo "$ours / $peer" | bc -l)" \
        "$(echo "$oursPeak / 1048576" | bc -l)" "$(echo "$oursPeak / $cells" | bc -l)" \
        "$(echo "$peerPeak / 1048576" | bc -l)" "$(echo "$peerPeak / $cells" | bc -l)"
}

echo "| task | editor | Tiled $(tiled --version 2>/dev/null | awk '{ print $2 }') | editor / Tiled | editor's peak heap | Tiled's peak heap |"
echo "|---|---|---|---|---|---|"
for side in 1024 4096; do
    row "open and save ${side}² cells" $((side * side)) \
        "$(measure "$tool" opensave "$work/map$side.map" "$work/out.map")" \
        "$(measure tiled --export-map tmx "$work/map$side.tmx" "$work/out.tmx")"
done
row "draw 160 × 90 cells (7680 × 4320) to a PNG" $((160 * 90)) \
    "$(measure "$tool" draw "$work/region.map" "$work/tiles.pac" "$work/ours.png")" \
    "$(measure tmxrasterizer "$work/region.tmx" "$work/peer.png")"

# Zoomed out: the whole map drawn at 1/N into a PNG, by the editor's render command and by the
# peer's rasterizer at the same scale. The 4096² map is drawn once each (the peer takes most
# of a minute to read it).
for scale in 8 16 256; do
    row "draw 1024² cells at 1/$scale to a PNG" $((1024 * 1024)) \
        "$(measure "$render" render "$work/map1024.map" -o "$work/ours.png" --tiles "$work" --scale $scale)" \
        "$(measure tmxrasterizer --scale "$(echo "1 / $scale" | bc -l)" "$work/map1024.tmx" "$work/peer.png")"
done
runs=1
row "draw 4096² cells at 1/256 to a PNG" $((4096 * 4096)) \
    "$(measure "$render" render "$work/map4096.map" -o "$work/ours.png" --tiles "$work" --scale 256)" \
    "$(measure tmxrasterizer --scale "$(echo "1 / 256" | bc -l)" "$work/map4096.tmx" "$work/peer.png")"
