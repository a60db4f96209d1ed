#!/usr/bin/env bash
# Instructions per frame of each side of render_bench, counted by callgrind inside the frame functions only
# (the set-up of the scene is left out). Usage: bench/render/callgrind.sh [path/to/render_bench] [frames]
set -euo pipefail
bench=${1:-build/release/bench/render/render_bench}
frames=${2:-3}
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
count() {
    valgrind --tool=callgrind --callgrind-out-file="$out/$1.out" --collect-atstart=no \
        --toggle-collect="*renderFrame$2*" "$bench" --frames="$frames" --side="$1" >/dev/null 2>&1
    callgrind_annotate "$out/$1.out" 2>/dev/null | awk '/PROGRAM TOTALS/ && !n { gsub(",", "", $1); print $1; n = 1 }'
}
tree=$(count tree Tree)
bare=$(count bare Bare)
awk -v t="$tree" -v b="$bare" -v f="$frames" 'BEGIN {
    printf "Instructions per frame (callgrind, %d frames): view tree %.1f M, bare cairo %.1f M, ratio %.2fx\n",
        f, t / f / 1e6, b / f / 1e6, t / b }'
