#!/usr/bin/env bash
# Times `vorlak freeze` of a Zedra3 world file of 1,000,000 ground items into a new pair, and into
# a pair that already holds 1,000,000 statics (bench_make_statics), against `wc -l` over that
# file, and `vorlak melt` of the whole world from the pair that freeze made (1,000,000 statics)
# against copying the melted file; medians of 5, warm page cache, in one run. Freeze and `wc -l`
# run in turns, so that a change of load weighs on both alike.
# Each line also gives one run's CPU time (user + system) and peak memory (/usr/bin/time -v).
# Usage: bench/run_worlds.sh [BUILD_DIR] [ITEMS]   (default build/worlds-bench, 1000000)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/bench/common.sh"
vorlak_install_packages time  # /usr/bin/time -v
build=${1:-$root/build/worlds-bench}
count=${2:-1000000}
bench_build "$build" "vorlak bench_make_worlds bench_make_statics" -DVORLAK_BUILD_APP=OFF
"$build/bench/bench_make_worlds" "$work/items.wsc" "$count"
"$build/bench/bench_make_statics" "$work/full.mul" "$work/fullidx.mul" 1000000 1 >/dev/null

usage() {  # CPU seconds (user + system) and peak resident memory of one run of "$@"
    prepare
    /usr/bin/time -v "$@" 2>&1 >/dev/null | awk '
        /User time/ { cpu += $NF } /System time/ { cpu += $NF }
        /Maximum resident/ { rss = $NF / 1024 }
        END { printf "cpu %.3f s, peak %.1f MiB", cpu, rss }'
}

freeze=("$vorlak" freeze --items "$work/items.wsc" --statics "$work/s.mul" --staidx "$work/i.mul")
melt=("$vorlak" melt --statics "$work/s.mul" --staidx "$work/i.mul" --items "$work/melted.wsc")
copy=(cp "$work/melted.wsc" "$work/copy.wsc")
copy_sync=(sh -c "cp '$work/melted.wsc' '$work/copy.wsc' && sync '$work/copy.wsc'")

prepare() {
    cat "$work/items.wsc" >/dev/null
    rm -f "$work/s.mul" "$work/i.mul"
    sync -f "$work"  # the last run's files are gone from the disk before the next run
}
read -r freeze_time wc_time < <(in_turns "${freeze[@]}" -- wc -l "$work/items.wsc")
wc_use=$(usage wc -l "$work/items.wsc") freeze_use=$(usage "${freeze[@]}")
# The pair a user freezes into lies on the disk already: a copy still being written out would
# be part of the job's syncs.
prepare() {
    cat "$work/items.wsc" >/dev/null
    cp "$work/full.mul" "$work/s.mul"
    cp "$work/fullidx.mul" "$work/i.mul"
    sync "$work/s.mul" "$work/i.mul"
}
read -r full_time wc_full < <(in_turns "${freeze[@]}" -- wc -l "$work/items.wsc")
full_use=$(usage "${freeze[@]}")

# Melt reads the pair that freeze makes of the world file alone.
rm -f "$work/s.mul" "$work/i.mul"
"${freeze[@]}" >/dev/null
prepare() { rm -f "$work/melted.wsc"; cat "$work/s.mul" "$work/i.mul" >/dev/null; }
melt_time=$(median "${melt[@]}") melt_use=$(usage "${melt[@]}")
prepare() { rm -f "$work/copy.wsc"; cat "$work/melted.wsc" >/dev/null; }
cp_time=$(median "${copy[@]}") cp_use=$(usage "${copy[@]}")
cp_sync_time=$(median "${copy_sync[@]}")

echo "world file: $count items, $(stat -c %s "$work/items.wsc") bytes;" \
    "pair: $(stat -c %s "$work/s.mul") bytes of statics;" \
    "melted file: $(stat -c %s "$work/melted.wsc") bytes"
printf 'wc -l world file:        %.4f s              (%s)\n' "$wc_time" "$wc_use"
printf 'freeze into a new pair:  %.4f s  %5.2fx wc -l (%s)\n' "$freeze_time" \
    "$(ratio "$freeze_time" "$wc_time")" "$freeze_use"
printf 'freeze into a full pair: %.4f s  %5.2fx wc -l (%s; wc -l in turn %.4f s)\n' \
    "$full_time" "$(ratio "$full_time" "$wc_full")" "$full_use" "$wc_full"
printf 'copy melted file:        %.4f s              (%s; with sync %.4f s)\n' "$cp_time" \
    "$cp_use" "$cp_sync_time"
printf 'melt whole world:        %.4f s  %5.2fx copy and sync (%s; %.2fx copy)\n' \
    "$melt_time" "$(ratio "$melt_time" "$cp_sync_time")" "$melt_use" "$(ratio "$melt_time" "$cp_time")"
