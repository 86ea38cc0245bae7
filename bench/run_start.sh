#!/usr/bin/env bash
# Times `vorlak --version` and `vorlak check` on a missing pair (start, parse, one message)
# against a C++ program that prints one line, each as 20 runs in a row, medians of 5.
# Usage: bench/run_start.sh [BUILD_DIR]   (default build/bench, configured here when missing)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/bench}
source "$root/bench/common.sh"
bench_build "$build" "vorlak bench_hello"

twenty() { for _ in $(seq 20); do "$@" >/dev/null 2>&1 || true; done; }
anchor=$(median twenty "$build/bench/bench_hello")
version=$(median twenty "$vorlak" --version)
check=$(median twenty "$vorlak" check --statics "$work/none.mul" --staidx "$work/none.idx")
printf '%-28s %8.4f ms\n' "anchor: print one line" "$(echo "$anchor * 50" | bc -l)"
printf '%-28s %8.4f ms  %6.2fx anchor\n' "vorlak --version" "$(echo "$version * 50" | bc -l)" \
    "$(ratio "$version" "$anchor")"
printf '%-28s %8.4f ms  %6.2fx anchor\n' "vorlak check, no files" "$(echo "$check * 50" | bc -l)" \
    "$(ratio "$check" "$anchor")"
qt=$(LD_DEBUG=libs "$vorlak" check --statics "$work/none.mul" --staidx "$work/none.idx" 2>&1 |
    grep -c 'calling init:.*libQt' || true)
echo "Qt libraries initialised by vorlak check: $qt"
