#!/usr/bin/env bash
# Times `vorlak compact` of a pair of about 1,000,000 statics behind 2 MiB of unreferenced bytes
# (every record moves) against its anchor, a synced copy of both compacted files, and `vorlak
# check` of the same pair against reading both files once. Medians of 5, warm page cache.
# Usage: bench/run_compact.sh [BUILD_DIR]   (default build/bench, configured here when missing)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/bench}
source "$root/bench/common.sh"
bench_build "$build" "vorlak bench_make_statics"
"$build/bench/bench_make_statics" "$work/statics0.mul" "$work/staidx0.mul" 1000000 1 0 2097152
# The compacted pair, for the anchor.
cp "$work/statics0.mul" "$work/cs.mul"
cp "$work/staidx0.mul" "$work/ci.mul"
"$vorlak" compact --statics "$work/cs.mul" --staidx "$work/ci.mul"

prepare() {
    cp "$work/statics0.mul" "$work/s.mul"
    cp "$work/staidx0.mul" "$work/i.mul"
    cat "$work/s.mul" "$work/i.mul" "$work/cs.mul" "$work/ci.mul" >/dev/null
    rm -f "$work/copy-s.mul" "$work/copy-i.mul"
}
anchor=$(median sh -c "cp '$work/cs.mul' '$work/copy-s.mul' && cp '$work/ci.mul' '$work/copy-i.mul' &&
    sync '$work/copy-s.mul' '$work/copy-i.mul'")
compact=$(median "$vorlak" compact --statics "$work/s.mul" --staidx "$work/i.mul")
read_both=$(median cat "$work/statics0.mul" "$work/staidx0.mul")
check=$(median "$vorlak" check --statics "$work/statics0.mul" --staidx "$work/staidx0.mul")
echo "pair: data $(stat -c %s "$work/statics0.mul") bytes, $(stat -c %s "$work/cs.mul") compacted"
printf '%-28s %8.4f s\n' "anchor: synced copy" "$anchor"
line "compact" "$compact" "$anchor" "anchor"
line "check" "$check" "$read_both" "reading both"
