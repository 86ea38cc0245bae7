# Shared by the bench/run_*.sh scripts; source it after setting `root`.
#   bench_build BUILD_DIR "TARGETS" [CMAKE_ARGS...]  configures (Release, benchmarks on) when
#                                                     needed and builds the targets; then $vorlak
#                                                     is the built program and $work a temporary
#                                                     folder, removed when the script ends
#   median CMD...  median of 5 wall-clock runs in seconds; the caller's `prepare` runs untimed
#                  before each (`timed CMD...` is one such run, `middle` the median of numbers)
#   in_turns CMD... -- ANCHOR...  the job and its anchor in turns, 5 times each (`prepare`
#                  before each), and their medians "JOB ANCHOR": a change of load on the machine
#                  weighs on both alike
#   line LABEL JOB ANCHOR ANCHOR_LABEL   prints a job's and its anchor's time and their ratio
#   ratio A B      A / B
#   bench_world BUILD_DIR FOLDER   the whole default world in FOLDER: about 1,000,000 statics
#                  (bench_make_statics, built), random terrain and radar colours
# Every job is timed beside its anchor, the least a program must do to touch the same files, in
# the same run and in the same way (a program of its own, warm page cache), so that the ratio
# holds on a busy machine too; `uptime` shows how busy it was.
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
    # shellcheck disable=SC2034  # for the scripts that source this
    vorlak=$build/src/main/vorlak
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
}

prepare() { :; }

# The wall-clock seconds of one run of "$@", after `prepare`.
timed() {
    local t0 t1
    prepare
    t0=$(date +%s.%N)
    "$@" >/dev/null
    t1=$(date +%s.%N)
    echo "$t1 - $t0" | bc -l
}

# The median of its arguments (an odd number of them).
middle() { printf '%s\n' "$@" | sort -g | sed -n "$((($# + 1) / 2))p"; }

median() {
    local times=()
    for _ in 1 2 3 4 5; do times+=("$(timed "$@")"); done
    middle "${times[@]}"
}

in_turns() {
    local job=() job_times=() anchor_times=()
    while [[ $1 != -- ]]; do
        job+=("$1")
        shift
    done
    shift
    for _ in 1 2 3 4 5; do
        job_times+=("$(timed "${job[@]}")")
        anchor_times+=("$(timed "$@")")
    done
    echo "$(middle "${job_times[@]}") $(middle "${anchor_times[@]}")"
}

ratio() { echo "$1 / $2" | bc -l; }

line() {
    printf '%-28s %8.4f s  %6.2fx %s (%.4f s)\n' "$1" "$2" "$(ratio "$2" "$3")" "$4" "$3"
}

echo "load: $(uptime | sed 's/.*load average: //')" >&2

bench_world() {
    "$1/bench/bench_make_statics" "$2/statics0.mul" "$2/staidx0.mul" 1000000 1
    head -c 77070336 /dev/urandom >"$2/map0.mul" # random tiles and heights
    head -c $((2 * 0x14000)) /dev/urandom >"$2/radarcol.mul"
}
