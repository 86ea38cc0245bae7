#!/usr/bin/env bash
# Installs what Vorlak needs, builds it (Release) when needed, and runs `vorlak ARGS`.
set -euo pipefail
root=$(cd "$(dirname "$0")" && pwd)
source "$root/scripts/setup.sh"
vorlak_install_packages
vorlak_build "$root/build/release" -DCMAKE_BUILD_TYPE=Release -DVORLAK_BUILD_TESTS=OFF
exec "$root/build/release/src/main/vorlak" "$@"
