#!/usr/bin/env bash
# Times the map window, offscreen, over the whole 6144 x 4096 world with about 1,000,000 statics:
# opening to the whole-world picture and to the sharp fitted picture, each zoom and pan step
# shown (the repaint after the event) and sharp, and the peak memory; beside an anchor in the
# same run: reading the terrain, statics and radar colour files once (cat), warm page cache.
# Usage: bench/run_map.sh [BUILD_DIR]   (default build/bench, configured here when missing)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "${1:-$root/build/bench}")
source "$root/bench/common.sh"
bench_build "$build" "bench_map_window bench_make_statics"
bench_world "$build" "$work"
cd "$work"
prepare() { cat map0.mul staidx0.mul statics0.mul radarcol.mul >/dev/null; }
prepare
anchor=$(median cat map0.mul staidx0.mul statics0.mul radarcol.mul)
echo "load: $(uptime | sed 's/.*load average: //')"
printf '%-28s %8.4f s\n' "anchor: cat the four files" "$anchor"
for run in 1 2 3; do
    echo "run $run:"
    "$build/bench/bench_map_window" map0.mul staidx0.mul statics0.mul radarcol.mul
done
