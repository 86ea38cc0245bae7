#!/usr/bin/env bash
# Shared set-up for run.sh and test.sh: install missing Debian packages, configure and build.
# Usage: source scripts/setup.sh; vorlak_build BUILD_DIR [extra cmake args...]
set -euo pipefail

VORLAK_PACKAGES=(cmake ninja-build g++ pkg-config libcli11-dev libgtest-dev qt6-base-dev dpkg-dev
                 libgl-dev)

vorlak_install_packages() {
    local missing=()
    for p in "${VORLAK_PACKAGES[@]}" "$@"; do
        if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
            missing+=("$p")
        fi
    done
    if ((${#missing[@]})); then
        echo "Installing: ${missing[*]}" >&2
        local sudo=""
        if [[ $(id -u) -ne 0 ]]; then sudo="sudo"; fi
        $sudo apt-get update -qq
        DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >&2
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
