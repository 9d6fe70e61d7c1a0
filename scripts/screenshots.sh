#!/usr/bin/env bash
# Takes the README's pictures from the real program under Wine: the main
# dialog, the About box and the Help window, on a private Xvfb in a 1024x768
# virtual desktop, saved as docs/images/{main,about,help}.png. Rerun it when
# the look of a window changes.
#
#   scripts/screenshots.sh [--build-dir DIR]
#
# DIR is an x86-64 build tree (default build-rel-x64, configured and built
# when needed). The pictures are cut to each window's rectangle by the
# program bench/shot.cpp and converted with ImageMagick.
set -uo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$root/build-rel-x64
while [[ $# -gt 0 ]]; do
    case $1 in
    --build-dir) build=$2; shift 2 ;;
    *) echo "usage: scripts/screenshots.sh [--build-dir DIR]" >&2; exit 2 ;;
    esac
done
images=$root/docs/images
# shellcheck source=../tests/rig/winelib.sh
source "$root/tests/rig/winelib.sh"

if [[ ! -f $build/CMakeCache.txt ]]; then
    cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DTIERMO_BUILD_TESTS=OFF \
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-x86_64-w64-mingw32.cmake" >/dev/null || exit 1
fi
cmake --build "$build" -j2 --target Tiermo tiermo_shot >/dev/null || exit 1

shots=$(mktemp -d)
cleanup() {
    rig_stop_wineserver
    rig_stop_xvfb
    rm -rf "$shots"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

rig_wine_env "$build/shots-wineprefix"
rig_stop_wineserver
rig_start_xvfb || exit 1
rig_ensure_prefix || exit 1
rig_restore_registry

if ! timeout -k 5 120 "$RIG_WINE" "$build/bench/tiermo_shot.exe" "$shots" "$build/app/Tiermo.exe"; then
    echo "screenshots: taking the pictures failed" >&2
    exit 1
fi
mkdir -p "$images"
for name in main about help; do
    # No time stamps or other metadata, so that an unchanged look gives the same file.
    convert "$shots/$name.bmp" -strip -define png:exclude-chunks=date,time "$images/$name.png" ||
        exit 1
    echo "$images/$name.png ($(identify -format '%wx%h' "$images/$name.png"))"
done
