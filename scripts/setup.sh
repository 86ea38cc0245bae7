#!/usr/bin/env bash
# Shared set-up for run.sh and test.sh: install missing Debian packages, configure and build.
# Usage: source scripts/setup.sh; vorlak_build BUILD_DIR [extra cmake args...]
set -euo pipefail

VORLAK_PACKAGES=(cmake ninja-build g++ pkg-config libcli11-dev libgtest-dev qt6-base-dev dpkg-dev
                 libgl-dev zlib1g-dev libisal-dev pngcheck)

vorlak_install_packages() {
    local missing=()
    for p in "${VORLAK_PACKAGES[@]}" "$@"; do
        if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
            missing+=("$p")
        fi
    done
    if ((${#missing[@]})); then
        # One line on the terminal; the package manager's own output goes to a log that is shown
        # only when the installation fails.
        local root log sudo=""
        root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
        mkdir -p "$root/build"
        log="$root/build/install.log"
        echo "Installing ${missing[*]} (log in $log) ..." >&2
        if [[ $(id -u) -ne 0 ]]; then sudo="sudo"; fi
        if ! { $sudo apt-get update -qq &&
            DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"; } \
            >"$log" 2>&1; then
            cat "$log" >&2
            echo "Installing ${missing[*]} failed; the log above is kept in $log" >&2
            return 1
        fi
    fi
}

vorlak_build() {
    local dir=$1
    shift
    local root
    root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
    if [[ ! -f "$dir/build.ninja" ]]; then
        cmake -S "$root" -B "$dir" -G Ninja "$@" >&2
    fi
    cmake --build "$dir" -j "$(nproc)" >&2
}
