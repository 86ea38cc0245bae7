#!/usr/bin/env bash
# Times `vorlak render` of the whole 6144 x 4096 world with about 1,000,000 statics, as BMP and
# as PNG (Qt's PNG writer at zlib's default level, 6), against copying the terrain file
# (77,070,336 bytes) in the same run, warm page cache, medians of 5; and the peak memory of each
# beside the size of the picture and the two files it reads.
# Usage: bench/run_views.sh [BUILD_DIR]   (default build/bench, configured here when missing)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "${1:-$root/build/bench}")
source "$root/bench/common.sh"
vorlak_install_packages time
bench_build "$build" "vorlak vorlak-picture bench_make_statics"
vorlak=$build/src/main/vorlak
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
bench_world "$build" "$work"
cd "$work"

prepare() {
    cat map0.mul staidx0.mul statics0.mul radarcol.mul >/dev/null
    rm -f copy.mul out.bmp out.png
}
anchor=$(median cp map0.mul copy.mul)
bmp=$(median "$vorlak" render --out out.bmp)
png=$(median "$vorlak" render --out out.png)
quarter=$(median "$vorlak" render --out out.png --scale 4)
peak() { /usr/bin/time -f %M "$@" 2>&1 >/dev/null | tail -1; }
prepare
mem_bmp=$(peak "$vorlak" render --out out.bmp)
mem_png=$(peak "$vorlak" render --out out.png)
echo "world: 6144 x 4096, $(($(stat -c %s statics0.mul) / 7)) statics"
printf '%-28s %8.4f s\n' "anchor: copy map0.mul" "$anchor"
line "render BMP" "$bmp" "$anchor" "anchor"
line "render PNG (level 6)" "$png" "$anchor" "anchor"
line "render PNG --scale 4" "$quarter" "$anchor" "anchor"
echo "picture BMP $(stat -c %s out.bmp) bytes, PNG $(stat -c %s out.png) bytes"
echo "peak memory: BMP $((mem_bmp / 1024)) MiB, PNG $((mem_png / 1024)) MiB; picture in memory" \
    "$((6144 * 4096 * 4 / 1048576)) MiB + files $((($(stat -c %s map0.mul) + \
    $(stat -c %s staidx0.mul) + $(stat -c %s statics0.mul)) / 1048576)) MiB"
