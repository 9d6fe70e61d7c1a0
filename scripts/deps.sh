#!/usr/bin/env bash
# Installs the build and test tools that are missing (Debian 12). Quiet and
# quick when everything is there; `apt-get update` only when something is not.
set -euo pipefail

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

installed=" $(dpkg-query -W -f='${Package}=${db:Status-Abbrev}\n' "${packages[@]}" 2>/dev/null |
    sed -n 's/=ii *$//p' | tr '\n' ' ') "
missing=()
for package in "${packages[@]}"; do
    [[ $installed == *" $package "* ]] || missing+=("$package")
done
# GoogleTest is built from its sources, which the package puts here.
[[ -f /usr/src/googletest/CMakeLists.txt ]] || missing+=(googletest)

if [[ ${#missing[@]} -eq 0 ]]; then
    exit 0
fi

sudo=()
if [[ $(id -u) -ne 0 ]]; then
    if ! command -v sudo >/dev/null; then
        echo "deps: missing packages (${missing[*]}) and not root: install them as root" >&2
        exit 1
    fi
    sudo=(sudo)
fi
echo "deps: installing ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
echo "deps: done" >&2
