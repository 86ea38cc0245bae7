#!/usr/bin/env bash
# Runs every built fuzz target for the given number of seconds, starting from its seed corpus.
# Usage: fuzz/run.sh BUILD_DIR SECONDS
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
dir=$1
seconds=$2
shopt -s nullglob
for bin in "$dir"/fuzz/fuzz_*; do
    [[ -x $bin && -f $bin ]] || continue
    name=$(basename "$bin")
    name=${name#fuzz_}
    name=${name%_portable}  # a portable path shares the seeds of its target
    work=$(mktemp -d)
    seeds=()
    [[ -d "$here/corpus/$name" ]] && seeds+=("$here/corpus/$name")
    echo "fuzzing $name for ${seconds}s" >&2
    "$bin" -max_total_time="$seconds" -max_len=65536 -timeout=10 -rss_limit_mb=2048 \
        -artifact_prefix="$work/" "$work" "${seeds[@]}" >"$work/log" 2>&1 || {
        tail -50 "$work/log" >&2
        echo "fuzz target $name found a problem; artifacts in $work" >&2
        exit 1
    }
    tail -1 "$work/log" >&2
    rm -rf "$work"
done
