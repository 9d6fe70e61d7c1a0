#!/usr/bin/env bash
# Installs the build and test tools that are missing (Debian 12), including
# 32-bit Wine for the i686 program. Quiet and quick when everything is there;
# otherwise it says what it installs, and a failing apt-get is reported with
# its own message and a non-zero exit.
#
# It uses only dpkg-query, dpkg, apt-get, id and sudo from PATH (the tests in
# tests/rig/deps_test.sh put stand-ins for them there).
set -uo pipefail

packages=(
    cmake make
    g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix
    binutils-mingw-w64-x86-64 binutils-mingw-w64-i686
    wine wine64 fonts-wine
    xvfb xauth x11-utils
    googletest
    imagemagick
    zip unzip
    python3
    util-linux coreutils procps
)
# 32-bit Wine, and FreeType for it (without it 32-bit Wine has bitmap fonts only).
packages_i386=(wine32:i386 libfreetype6:i386)

say() { echo "deps: $*" >&2; }

native=$(dpkg --print-architecture 2>/dev/null) || native=""
[[ $native == amd64 ]] && packages+=("${packages_i386[@]}")

# The packages of "${packages[@]}" that are not installed, into `missing`.
# dpkg-query exits non-zero as soon as one named package is unknown, so its
# status is not used: the listing of the installed ones is what counts.
find_missing() {
    local -A installed=()
    local line name arch status package want
    while IFS= read -r line; do
        name=${line%%:*} line=${line#*:}
        arch=${line%%=*} status=${line#*=}
        [[ $status == ii* ]] && installed[$name:$arch]=1
    done < <(dpkg-query -W -f='${Package}:${Architecture}=${db:Status-Abbrev}\n' \
        "${packages[@]}" 2>/dev/null)
    missing=()
    for package in "${packages[@]}"; do
        if [[ $package == *:* ]]; then
            [[ -n ${installed[$package]:-} ]] && continue
        else
            for want in "$native" all; do
                [[ -n ${installed[$package:$want]:-} ]] && continue 2
            done
        fi
        missing+=("$package")
    done
}

find_missing
[[ ${#missing[@]} -eq 0 ]] && exit 0

sudo=()
if [[ $(id -u) != 0 ]]; then
    if ! command -v sudo >/dev/null; then
        say "missing packages: ${missing[*]}"
        say "not root and no sudo: run this script as root to install them"
        exit 1
    fi
    sudo=(sudo)
fi

# Runs a command quietly; on failure shows its output and ends the script.
run_or_fail() {
    local output
    if ! output=$("${sudo[@]}" "$@" 2>&1); then
        printf '%s\n' "$output" >&2
        say "failed: $*"
        exit 1
    fi
}

say "installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
foreign=$'\n'$(dpkg --print-foreign-architectures 2>/dev/null)$'\n'
if [[ " ${missing[*]}" == *:i386* && $foreign != *$'\n'i386$'\n'* ]]; then
    run_or_fail dpkg --add-architecture i386
fi
run_or_fail apt-get update -q
run_or_fail apt-get install -y -q --no-install-recommends "${missing[@]}"

find_missing
if [[ ${#missing[@]} -ne 0 ]]; then
    say "still missing after apt-get: ${missing[*]}"
    exit 1
fi
say "done"
