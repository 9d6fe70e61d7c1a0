#!/usr/bin/env bash
# Builds the release zips of both architectures: Tiermo-<version>-x86_64.zip
# and Tiermo-<version>-i686.zip, each with Tiermo.exe, README.md (and its
# pictures) and LICENSE. The same commit gives the same bytes: the build is
# dated by SOURCE_DATE_EPOCH, taken from the last commit when it is not set.
# The `dist` target checks each Tiermo.exe before packing it (what it imports
# and which instructions it holds, tests/imports/check_imports.sh) and makes
# no zip of one that fails.
#
#   scripts/dist.sh [--build-dir DIR] [--out DIR]
#
# DIR/x86_64 and DIR/i686 are the build trees (default build/release/ in the
# source tree); the zips are copied to --out (default DIR). TIERMO_JOBS sets the
# parallel build jobs (default: the number of cores).
set -euo pipefail

# shellcheck source=lib/build.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib/build.sh"
root=$tiermo_root
build=$tiermo_build/release
out=""
while [[ $# -gt 0 ]]; do
    case $1 in
    --build-dir) build=$2; shift 2 ;;
    --out) out=$2; shift 2 ;;
    *) echo "usage: scripts/dist.sh [--build-dir DIR] [--out DIR]" >&2; exit 2 ;;
    esac
done
out=${out:-$build}

if [[ -z ${SOURCE_DATE_EPOCH:-} ]]; then
    SOURCE_DATE_EPOCH=$(git -C "$root" log -1 --format=%ct 2>/dev/null || true)
    if [[ -z $SOURCE_DATE_EPOCH ]]; then
        echo "dist: not a git checkout; set SOURCE_DATE_EPOCH" >&2
        exit 1
    fi
fi
export SOURCE_DATE_EPOCH
if [[ -n $(git -C "$root" status --porcelain -- README.md LICENSE docs/images 2>/dev/null) ]]; then
    echo "dist: note: README.md, LICENSE or docs/images differ from the commit" >&2
fi

mkdir -p "$out"
for arch in "${tiermo_arches[@]}"; do
    dir=$build/$arch
    echo "== $arch ($dir)"
    # Configured every time, so that the tree takes this SOURCE_DATE_EPOCH.
    tiermo_configure_and_build "$dir" "$arch" -DTIERMO_BUILD_TESTS=OFF dist
    for zip in "$dir"/dist/Tiermo-*-"$arch".zip; do
        [[ $(cd "$(dirname "$zip")" && pwd) == $(cd "$out" && pwd) ]] || cp "$zip" "$out/"
        echo "$out/$(basename "$zip")"
    done
done
