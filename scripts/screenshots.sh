#!/usr/bin/env bash
# Takes a picture of each page of the window and saves them as
# docs/screenshots/page-1.png .. page-7.png, then of the map window over the example island
# (examples/make_views.py and bmp2map) as map-1.png (Clear) and map-2.png (Bmp->Map).
#   scripts/screenshots.sh [BUILD_DIR]   (default build/release, built when needed)
# Runs the real window on a virtual X display (Xvfb), with a fresh settings store, so the pages
# show their initial values; the Bmp->Map page has an example picture chosen and the Clear page a
# rectangle on the example island, which the map windows show.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/setup.sh"
build=$(realpath -m "${1:-$root/build/release}")

vorlak_install_packages xvfb
vorlak_build "$build" -DCMAKE_BUILD_TYPE=Release -DVORLAK_BUILD_TESTS=OFF
# The screenshot tool is the window with a timer that takes the pictures; it is not shipped.
cmake --build "$build" --target vorlak-screenshots vorlak vorlak-picture >&2

work=$(mktemp -d)
xvfb_pid=""
cleanup() {
    if [[ -n $xvfb_pid ]]; then kill "$xvfb_pid" 2>/dev/null || true; fi
    rm -rf "$work"
}
trap cleanup EXIT

# A free display number.
display=90
while [[ -e /tmp/.X11-unix/X$display || -e /tmp/.X$display-lock ]]; do display=$((display + 1)); done
Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 50); do
    [[ -e /tmp/.X11-unix/X$display ]] && break
    sleep 0.1
done

mkdir -p "$work/config"
cp "$root/examples/island.bmp" "$root/examples/colors.gif" "$work/"
(cd "$work" && python3 "$root/examples/make_views.py" >/dev/null &&
    "$build/src/main/vorlak" bmp2map --bitmap island.bmp --seed 1 >/dev/null)
cat >"$work/config/Ostrand.conf" <<CONF
[Vorlak]
txtBitmap=island.bmp
txtClearX1=104
txtClearY1=64
txtClearX2=191
txtClearY2=127
CONF

out="$root/docs/screenshots"
mkdir -p "$out"
(cd "$work" && DISPLAY=":$display" XDG_CONFIG_HOME="$work/config" QT_QPA_PLATFORM=xcb \
    XDG_RUNTIME_DIR="$work" timeout 60 "$build/tools/screenshots/vorlak-screenshots" "$out")
ls "$out"/page-*.png "$out"/map-*.png
