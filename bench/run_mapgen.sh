#!/usr/bin/env bash
# Times the Bmp->Map job on a full-map picture (6144 x 4096) against copying a complete terrain
# file (77,070,336 bytes) in the same run (warm page cache), and reports the job's peak memory,
# for the core job and for `vorlak bmp2map` on a BMP file.
# Usage: bench/run_mapgen.sh [BUILD_DIR]   (default build/bench, configured here when missing)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/bench}
if [[ ! -f $build/build.ninja ]]; then
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVORLAK_BUILD_BENCH=ON \
        -DVORLAK_BUILD_TESTS=OFF >/dev/null
fi
if ! log=$(cmake --build "$build" --target vorlak bench_mapgen 2>&1); then
    echo "$log" >&2
    exit 1
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$build/bench/bench_mapgen" "$work" "$build/src/main/vorlak"
