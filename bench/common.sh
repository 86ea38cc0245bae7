# Shared by the bench/run_*.sh scripts; source it after setting `root`.
#   bench_build BUILD_DIR "TARGETS" [CMAKE_ARGS...]  configures (Release, benchmarks on) when
#                                                     needed and builds the targets
#   best CMD...    best of 5 wall-clock runs in seconds; the caller's `prepare` runs untimed first
#   ratio A B      A / B
source "$root/scripts/setup.sh"
vorlak_install_packages bc

bench_build() {
    local build=$1 targets=$2
    shift 2
    if [[ ! -f $build/build.ninja ]]; then
        cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVORLAK_BUILD_BENCH=ON \
            -DVORLAK_BUILD_TESTS=OFF "$@" >/dev/null
    fi
    local log
    # shellcheck disable=SC2086  # the targets are a word list
    if ! log=$(cmake --build "$build" --target $targets 2>&1); then
        echo "$log" >&2
        exit 1
    fi
}

prepare() { :; }

best() {
    local b=999 t0 t1
    for _ in 1 2 3 4 5; do
        prepare
        t0=$(date +%s.%N)
        "$@" >/dev/null
        t1=$(date +%s.%N)
        b=$(echo "$t1 - $t0" | bc -l | awk -v b="$b" '{ print ($1 < b) ? $1 : b }')
    done
    echo "$b"
}

ratio() { echo "$1 / $2" | bc -l; }
