#!/usr/bin/env bash
# Times `vorlak clear` of the whole world, of a 512 x 512 rectangle and of one block, and
# `vorlak check`, on a pair of about
# 1,000,000 statics against its anchor: reading both files once plus a synced copy of the index.
# Medians of 5, warm page cache, in the same run.
# Usage: bench/run_clear.sh [BUILD_DIR]   (default build/bench, configured here when missing)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/bench}
source "$root/bench/common.sh"
bench_build "$build" "vorlak bench_make_statics"
# MOVED=10 makes every 10th block's run stand again at the end, as after edits.
"$build/bench/bench_make_statics" "$work/statics0.mul" "$work/staidx0.mul" 1000000 1 "${MOVED:-0}"

prepare() {  # the pair as generated, in the page cache
    cp "$work/statics0.mul" "$work/s.mul"
    cp "$work/staidx0.mul" "$work/i.mul"
    cat "$work/s.mul" "$work/i.mul" >/dev/null
    rm -f "$work/copy.mul"
}
anchor=$(median sh -c "cat '$work/s.mul' '$work/i.mul' >/dev/null &&
    cp '$work/i.mul' '$work/copy.mul' && sync '$work/copy.mul'")
whole=$(median "$vorlak" clear --statics "$work/s.mul" --staidx "$work/i.mul")
square=$(median "$vorlak" clear --statics "$work/s.mul" --staidx "$work/i.mul" \
    --x1 1024 --y1 1024 --x2 1535 --y2 1535)
# The smallest clear: one block. Nearly all of it is opening the pair, checking every entry
# before anything is written, and the synced commit of the index.
block=$(median "$vorlak" clear --statics "$work/s.mul" --staidx "$work/i.mul" \
    --x1 1024 --y1 1024 --x2 1031 --y2 1031)
check=$(median "$vorlak" check --statics "$work/s.mul" --staidx "$work/i.mul")
echo "pair: 1000000 statics, data $(stat -c %s "$work/statics0.mul") bytes, index 4718592 bytes"
printf '%-28s %8.4f s\n' "anchor: read both, sync idx" "$anchor"
line "clear whole world" "$whole" "$anchor" "anchor"
line "clear 512 x 512" "$square" "$anchor" "anchor"
line "clear 8 x 8 (one block)" "$block" "$anchor" "anchor"
line "check (every entry, record)" "$check" "$anchor" "anchor"
