#!/usr/bin/env bash
# Times `vorlak clear` of the whole world and of a 512 x 512 rectangle on a pair of about
# 1,000,000 statics, against reading both files once, in the same run (warm page cache).
# Usage: bench/run_clear.sh [BUILD_DIR]   (default build/bench, configured here when missing)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/bench}
source "$root/bench/common.sh"
bench_build "$build" "vorlak bench_make_statics"
vorlak=$build/src/main/vorlak
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# MOVED=10 makes every 10th block's run stand again at the end, as after edits.
"$build/bench/bench_make_statics" "$work/statics0.mul" "$work/staidx0.mul" 1000000 1 "${MOVED:-0}"

prepare() {  # the pair as generated, in the page cache
    cp "$work/statics0.mul" "$work/s.mul"
    cp "$work/staidx0.mul" "$work/i.mul"
    cat "$work/s.mul" "$work/i.mul" >/dev/null
}
read_both=$(best cat "$work/s.mul" "$work/i.mul")
whole=$(best "$vorlak" clear --statics "$work/s.mul" --staidx "$work/i.mul")
square=$(best "$vorlak" clear --statics "$work/s.mul" --staidx "$work/i.mul" \
    --x1 1024 --y1 1024 --x2 1535 --y2 1535)
size=$(stat -c %s "$work/statics0.mul")
echo "pair: 1000000 statics, data $size bytes, index 4718592 bytes"
printf 'read both files once:     %.4f s\n' "$read_both"
printf 'clear whole world:        %.4f s  (%.2fx the read)\n' "$whole" "$(ratio "$whole" "$read_both")"
printf 'clear 512 x 512:          %.4f s  (%.2fx the read)\n' "$square" "$(ratio "$square" "$read_both")"
