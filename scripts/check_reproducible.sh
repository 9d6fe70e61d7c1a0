#!/usr/bin/env bash
# Checks that the release zips are reproducible: builds them twice from the
# same sources in two fresh build trees and compares the bytes. Each build
# checks its Tiermo.exe before packing it (the `dist` target), so a program
# that fails that check stops this one too.
#
#   scripts/check_reproducible.sh [--keep]
#
# Exit status 0 when both builds give identical zips for both architectures.
# The scratch build roots, repro-a and repro-b under the build root
# (TIERMO_BUILD_DIR, else build/ in the source tree), are removed afterwards
# unless --keep is given.
set -uo pipefail

# shellcheck source=lib/build.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib/build.sh"
keep=0
[[ ${1:-} == --keep ]] && keep=1
a=$tiermo_build/repro-a
b=$tiermo_build/repro-b

# shellcheck disable=SC2317 # run by the trap
cleanup() { [[ $keep -eq 1 ]] || tiermo_remove_own "" "$a" "$b" || exit 1; }

# Each scratch root gets the scripts' stamp first (tiermo_make_own), which
# makes it theirs to remove (tiermo_remove_own): never a directory of the
# same name that they did not make.
tiermo_remove_own "" "$a" "$b" || exit 1
trap cleanup EXIT
for dir in "$a" "$b"; do
    tiermo_make_own "$dir" || exit 1
    if ! bash "$tiermo_root/scripts/dist.sh" --build-dir "$dir" >"$dir.log" 2>&1; then
        cat "$dir.log" >&2
        echo "check_reproducible: the build in $dir failed" >&2
        exit 1
    fi
    rm -f "$dir.log"
done

status=0
for arch in "${tiermo_arches[@]}"; do
    za=$(ls "$a"/Tiermo-*-"$arch".zip 2>/dev/null)
    zb=$(ls "$b"/Tiermo-*-"$arch".zip 2>/dev/null)
    if [[ -z $za || -z $zb ]]; then
        echo "check_reproducible: no $arch zip" >&2
        status=1
        continue
    fi
    if cmp -s "$za" "$zb"; then
        echo "$arch: identical  $(sha256sum "$za" | cut -d' ' -f1)  $(basename "$za")"
    else
        echo "$arch: DIFFERENT" >&2
        cmp "$za" "$zb" >&2
        status=1
    fi
done
exit $status
