#!/usr/bin/env bash
# Builds the Debian package, installs it on this machine with dpkg -i (fetching missing
# dependencies with apt-get), and runs the installed program in a temporary folder: --version,
# clear into a new pair and check it (with no Qt library loaded), then a picture job. Removes the
# package afterwards unless it was installed before.
#   scripts/package-check.sh              builds in build/package (Release, tests off)
#   scripts/package-check.sh BUILD_DIR    packages an existing Release build (CI reuses its own)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/setup.sh"

vorlak_install_packages
dir=${1:-$root/build/package}
vorlak_build "$dir" -DCMAKE_BUILD_TYPE=Release -DVORLAK_BUILD_TESTS=OFF
if ! grep -q '^CMAKE_BUILD_TYPE:STRING=Release$' "$dir/CMakeCache.txt"; then
    echo "package-check: $dir is not a Release build" >&2
    exit 1
fi

rm -f "$dir"/vorlak_*.deb
(cd "$dir" && cpack -G DEB >&2)
deb=$(ls "$dir"/vorlak_*.deb)
echo "Built $deb" >&2
dpkg-deb --info "$deb" | grep -E '^ (Package|Version|Depends):' >&2
# The views' PNG writer compresses with libisal and zlib.
for library in zlib1g libisal2; do
    dpkg-deb --field "$deb" Depends | grep -q "$library" || {
        echo "package-check: the package does not depend on $library" >&2
        exit 1
    }
done

sudo=""
if [[ $(id -u) -ne 0 ]]; then sudo="sudo"; fi
was_installed=$(dpkg-query -W -f='${Status}' vorlak 2>/dev/null | grep -c "install ok installed" || true)
work=$(mktemp -d)
cleanup() {
    rm -rf "$work"
    if [[ $was_installed == 0 ]]; then $sudo dpkg -r vorlak >/dev/null 2>&1 || true; fi
}
trap cleanup EXIT

if ! $sudo dpkg -i "$deb" >&2; then
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -f -y -qq >&2
fi

fail() {
    echo "package-check: $*" >&2
    exit 1
}
for f in /usr/bin/vorlak /usr/libexec/vorlak/vorlak-window /usr/libexec/vorlak/vorlak-picture.so \
    /usr/share/applications/vorlak.desktop \
    /usr/share/icons/hicolor/scalable/apps/vorlak.svg /usr/share/man/man1/vorlak.1.gz; do
    [[ -e $f ]] || fail "the package did not install $f"
done
[[ $(command -v vorlak) == /usr/bin/vorlak ]] || fail "vorlak on the PATH is $(command -v vorlak)"

export QT_QPA_PLATFORM=offscreen
version=$(/usr/bin/vorlak --version)
expected="Vorlak $(sed -n 's/^project(Vorlak VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")"
[[ $version == "$expected" ]] || fail "vorlak --version printed '$version'"
cd "$work"
/usr/bin/vorlak clear --x1 10 --y1 10 --x2 20 --y2 20 >&2 || fail "vorlak clear failed"
/usr/bin/vorlak check >&2 || fail "vorlak check failed on the pair made by clear"
# The jobs without pictures never load Qt; picture jobs load it through the picture module.
qt=$(LD_DEBUG=libs /usr/bin/vorlak check 2>&1 >/dev/null | grep -c 'calling init:.*libQt' || true)
[[ $qt == 0 ]] || fail "vorlak check initialised $qt Qt libraries"
# The views write PNG themselves: a render needs no Qt either. (An empty terrain file reads as
# blocks of tile 0; an empty radar colour file draws black.)
: >map0.mul
: >radarcol.mul
qt=$(LD_DEBUG=libs /usr/bin/vorlak render --out corner.png --x2 63 --y2 63 --no-statics 2>&1 \
    >/dev/null | grep -c 'calling init:.*libQt' || true)
[[ $qt == 0 && -s corner.png ]] || fail "vorlak render to PNG failed or initialised Qt"
/usr/bin/vorlak art import --bitmap /usr/share/icons/hicolor/256x256/apps/vorlak.png \
    --number 3 >&2 || fail "vorlak art import failed (the picture module)"
echo "package-check: $deb installs and runs ($version)" >&2
