#!/usr/bin/env bash
# Counts what a step for undo adds to the reads and writes of Bmp->Map and heights: each job runs
# once with and once without --no-history on a terrain file of 2048 x 2048 cells, the 256 x 256
# island picture at 100, 100 (the blocks under it: 33 x 33 of 196 bytes, 213,444 bytes), and
# strace sums the bytes that the job read from and wrote to the terrain file and the history
# folder. Reads through a memory mapping (heights maps the rectangle) do not show.
# Usage: bench/count_history_io.sh [BUILD_DIR]   (default build/bench, configured here when missing)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/bench}
source "$root/bench/common.sh"
vorlak_install_packages strace
bench_build "$build" "vorlak bench_png"
cp "$root/examples/island.bmp" "$root/examples/colors.gif" "$work/"
"$build/bench/bench_png" resave "$work/island.bmp" "$work/grey.png" grey
place=(--map "$work/map0.mul" --world 2048x2048 --x 100 --y 100)
jobs=("bmp2map --bitmap $work/island.bmp --palette $work/colors.gif --seed 1"
    "heights --bitmap $work/grey.png")

# Bytes read and written per file class: map (the terrain file) and history (.vorlak-history).
count() {
    strace -f -qq -y -s 0 -e trace=read,pread64,readv,preadv,write,pwrite64,writev,pwritev \
        -o "$work/trace" "$@" >/dev/null
    awk '
        match($0, /^[0-9]+ +(p?read|p?write)v?(64)?\(/) {
            call = $0; sub(/^[0-9]+ +/, "", call); sub(/\(.*/, "", call)
            kind = call ~ /read/ ? "read" : "written"
            file = $0; sub(/^[^<]*</, "", file); sub(/>.*/, "", file)
            n = $NF; if (n !~ /^[0-9]+$/) next
            if (file ~ /\.vorlak-history\//) sum["history " kind] += n
            else if (file ~ /\/map0\.mul$/) sum["map " kind] += n
        }
        END {
            printf "map read %d, map written %d, history read %d, history written %d\n",
                sum["map read"], sum["map written"], sum["history read"], sum["history written"]
        }' "$work/trace"
}

for job in "${jobs[@]}"; do
    for history in --no-history ""; do
        rm -rf "$work/.vorlak-history" "$work/map0.mul"
        truncate -s $((2048 / 8 * 2048 / 8 * 196)) "$work/map0.mul"
        # shellcheck disable=SC2086  # the job is a word list
        echo "${job%% *} ${history:-(history)}: $(count "$vorlak" $job "${place[@]}" $history)"
    done
done
