#!/usr/bin/env bash
# Takes the README's pictures from the real program under Wine: the main
# dialog, the About box and the Help window, on a private Xvfb in a 1024x768
# virtual desktop, saved as docs/images/{main,about,help}.png. Rerun it when
# the look of a window changes.
#
#   scripts/screenshots.sh [--build-dir DIR]
#
# DIR is a build root (default build/release/ in the source tree); its x86-64
# tree DIR/x86_64 is configured and built. The pictures are cut to each
# window's rectangle by the program bench/shot.cpp and converted with
# ImageMagick.
set -uo pipefail

# shellcheck source=lib/build.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib/build.sh"
build=$tiermo_build/release
while [[ $# -gt 0 ]]; do
    case $1 in
    --build-dir) build=$2; shift 2 ;;
    *) echo "usage: scripts/screenshots.sh [--build-dir DIR]" >&2; exit 2 ;;
    esac
done
tree=$build/x86_64
images=$tiermo_root/docs/images
shots=$tree/shots

tiermo_configure_and_build "$tree" x86_64 -DTIERMO_BUILD_TESTS=OFF Tiermo tiermo_shot || exit 1
tiermo_remove_own "$tree" "$shots" && tiermo_make_own "$shots" || exit 1
tiermo_private_desktop "$tree/shots-wineprefix" || exit 1

if ! timeout -k 5 120 "$RIG_WINE" "$tree/bench/tiermo_shot.exe" "$shots" "$tree/app/Tiermo.exe"; then
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
