#!/usr/bin/env bash
# Times the views of the whole 6144 x 4096 world with about 1,000,000 statics, written band by
# band, against copying the terrain file (77,070,336 bytes) in the same run, warm page cache,
# medians of 5: `render` to BMP and to PNG (also against the BMP; and at scale 4), `map2bmp
# --kinds` and `--heights` to PNG, and `bmp2map` of a 6144 x 4096 PNG picture. Then, on the terrain bmp2map made, each PNG
# view's peak memory, and its size against the same picture written by the picture module at its
# default level, 6.
# Usage: bench/run_views.sh [BUILD_DIR]   (default build/bench, configured here when missing)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "${1:-$root/build/bench}")
source "$root/bench/common.sh"
vorlak_install_packages time
bench_build "$build" "vorlak vorlak-picture bench_make_statics bench_png"
bench_world "$build" "$work"
cp "$root/examples/colors.gif" "$work/colors.gif"
cd "$work"
"$build/bench/bench_png" kinds colors.gif picture.png
cp map0.mul map-copy.mul

prepare() {
    cat map0.mul staidx0.mul statics0.mul radarcol.mul picture.png >/dev/null
    rm -f copy.mul out.bmp out.png kinds.png heights.png
}
anchor=$(median cp map0.mul copy.mul)
bmp=$(median "$vorlak" render --out out.bmp)
png=$(median "$vorlak" render --out out.png)
quarter=$(median "$vorlak" render --out out.png --scale 4)
kinds=$(median "$vorlak" map2bmp --kinds --out kinds.png)
heights=$(median "$vorlak" map2bmp --heights --out heights.png)
prepare() { cat map-copy.mul picture.png >/dev/null; cp map-copy.mul map0.mul; }
bmp2map=$(median "$vorlak" bmp2map --bitmap picture.png)
# Memory and sizes on the terrain bmp2map made of the picture (patches of kinds, as a drawn
# world has), which compresses as maps do; random terrain does not.
prepare() { rm -f out.png kinds.png heights.png; }
peak() { /usr/bin/time -f %M "$@" 2>&1 >/dev/null | tail -1; }
prepare
mem_bmp=$(peak "$vorlak" render --out out.bmp)
mem_render=$(peak "$vorlak" render --out out.png)
mem_kinds=$(peak "$vorlak" map2bmp --kinds --out kinds.png)
mem_heights=$(peak "$vorlak" map2bmp --heights --out heights.png)
"$build/bench/bench_png" resave out.png out6.png
"$build/bench/bench_png" resave kinds.png kinds6.png
"$build/bench/bench_png" resave heights.png heights6.png grey
size() { printf '%s %d bytes, level 6 %d bytes: %.3fx' "$1" "$(stat -c %s "$2")" \
    "$(stat -c %s "$3")" "$(ratio "$(stat -c %s "$2")" "$(stat -c %s "$3")")"; }

echo "world: 6144 x 4096, $(($(stat -c %s statics0.mul) / 7)) statics"
printf '%-28s %8.4f s\n' "anchor: copy map0.mul" "$anchor"
line "render BMP" "$bmp" "$anchor" "anchor"
line "render PNG" "$png" "$anchor" "anchor"
printf '%-28s %8.4f s  %6.2fx render BMP\n' "render PNG" "$png" "$(ratio "$png" "$bmp")"
line "render PNG --scale 4" "$quarter" "$anchor" "anchor"
line "map2bmp --kinds PNG" "$kinds" "$anchor" "anchor"
line "map2bmp --heights PNG" "$heights" "$anchor" "anchor"
line "bmp2map 6144 x 4096 PNG" "$bmp2map" "$anchor" "anchor"
echo "peak memory: render BMP $((mem_bmp / 1024)) MiB, render $((mem_render / 1024)) MiB, kinds $((mem_kinds / 1024)) MiB," \
    "heights $((mem_heights / 1024)) MiB"
size "render" out.png out6.png; echo
size "kinds" kinds.png kinds6.png; echo
size "heights" heights.png heights6.png; echo
