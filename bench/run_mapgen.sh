#!/usr/bin/env bash
# Times the Bmp->Map job on a full-map picture (6144 x 4096) against copying a complete terrain
# file (77,070,336 bytes) in the same run (warm page cache), and reports the job's peak memory,
# for the core job and for `vorlak bmp2map` on a BMP file.
# Usage: bench/run_mapgen.sh [BUILD_DIR]   (default build/bench, configured here when missing)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/bench}
source "$root/bench/common.sh"
bench_build "$build" "vorlak bench_mapgen"
"$build/bench/bench_mapgen" "$work" "$build/src/main/vorlak"
