#!/usr/bin/env bash
# Times what recording a step for undo costs: `vorlak clear` of the whole world, of one block,
# and `vorlak freeze` of 1,000,000 items, each with and without --no-history, on a pair of about
# 1,000,000 statics. Medians of 11 runs taken in turns, warm page cache; the ratio is the job with
# a step over the same job without one.
# Usage: bench/run_history.sh [BUILD_DIR]   (default build/bench, configured here when missing)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/bench}
source "$root/bench/common.sh"
bench_build "$build" "vorlak bench_make_statics bench_make_worlds"
"$build/bench/bench_make_statics" "$work/statics0.mul" "$work/staidx0.mul" 1000000 1 0
"$build/bench/bench_make_worlds" "$work/items.wsc" 1000000

prepare() {  # the pair as generated, in the page cache, and an empty history
    cp "$work/statics0.mul" "$work/s.mul"
    cp "$work/staidx0.mul" "$work/i.mul"
    cat "$work/s.mul" "$work/i.mul" "$work/items.wsc" >/dev/null
    rm -rf "$work/.vorlak-history"
}
pair=(--statics "$work/s.mul" --staidx "$work/i.mul")
block=(--x1 1024 --y1 1024 --x2 1031 --y2 1031)
# The job with and without a step in turns, 11 times each, and the medians: a change of load on
# the machine weighs on both alike.
beside() {
    local on=() off=()
    for _ in $(seq 11); do
        off+=("$(timed "$@" --no-history)")
        on+=("$(timed "$@")")
    done
    echo "$(middle "${on[@]}") $(middle "${off[@]}")"
}
for round in 1 2; do
    read -r whole_on whole_off < <(beside "$vorlak" clear "${pair[@]}")
    read -r block_on block_off < <(beside "$vorlak" clear "${pair[@]}" "${block[@]}")
    read -r freeze_on freeze_off < <(beside "$vorlak" freeze "${pair[@]}" --items "$work/items.wsc")
    echo "round $round; $(uptime)"
    line "clear whole world" "$whole_on" "$whole_off" "no history"
    line "clear 8 x 8 (one block)" "$block_on" "$block_off" "no history"
    line "freeze 1,000,000 items" "$freeze_on" "$freeze_off" "no history"
done
