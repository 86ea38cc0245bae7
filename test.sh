#!/usr/bin/env bash
# Installs what Vorlak needs, builds it with its tests and runs the whole suite headless.
#   ./test.sh             Release build in build/test
#   ./test.sh --sanitize  AddressSanitizer + UndefinedBehaviorSanitizer build in build/sanitize
#   ./test.sh --fuzz N    also builds the fuzz targets with clang and runs each for N seconds
set -euo pipefail
root=$(cd "$(dirname "$0")" && pwd)
source "$root/scripts/setup.sh"

mode=release
fuzz_seconds=""
while (($#)); do
    case $1 in
        --sanitize) mode=sanitize ;;
        --fuzz) fuzz_seconds=$2; shift ;;
        *) echo "unknown option: $1" >&2; exit 2 ;;
    esac
    shift
done

vorlak_install_packages
export QT_QPA_PLATFORM=offscreen
export XDG_CONFIG_HOME
XDG_CONFIG_HOME=$(mktemp -d)
trap 'rm -rf "$XDG_CONFIG_HOME"' EXIT

if [[ $mode == sanitize ]]; then
    dir="$root/build/sanitize"
    vorlak_build "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVORLAK_SANITIZE=ON
    export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1
    export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
else
    dir="$root/build/test"
    vorlak_build "$dir" -DCMAKE_BUILD_TYPE=Release
fi
ctest --test-dir "$dir" --output-on-failure -j "$(nproc)" --timeout 600

if [[ -n $fuzz_seconds ]]; then
    vorlak_install_packages clang libclang-rt-14-dev
    fdir="$root/build/fuzz"
    CXX=clang++ vorlak_build "$fdir" -DVORLAK_BUILD_FUZZ=ON -DVORLAK_BUILD_TESTS=OFF \
        -DVORLAK_BUILD_APP=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo
    "$root/fuzz/run.sh" "$fdir" "$fuzz_seconds"
fi
