#!/usr/bin/env bash
# Installs the build and test tools that are missing (Debian 12), including
# 32-bit Wine for the i686 program. Where the kernel cannot run 32-bit
# programs, scripts/emulation.sh setup sets up qemu's user-mode emulation for
# them (and records what it changes, for its undo). Quiet and quick when
# everything is there; otherwise it says what it does, and a failing step is
# reported with its own message and a non-zero exit.
#
# Itself it uses only dpkg-query, dpkg, apt-get, env, id, sudo, grep and dirname
# from PATH; emulation.sh also uses the system's files under DEPS_ROOT
# (default: /). The tests in tests/setup/ put stand-ins for both there.
set -uo pipefail
me=deps
# shellcheck source=lib/root.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib/root.sh"

packages=(
    cmake make
    g++-mingw-w64-x86-64-win32 g++-mingw-w64-i686-win32
    binutils-mingw-w64-x86-64 binutils-mingw-w64-i686
    gcc-12-source dpkg-dev # the i686 run-time for a 486 (scripts/i486_runtime.sh)
    wine wine64 fonts-wine
    # Wine's preloader reserves the fixed addresses Wine needs before anything
    # else is mapped. Without it, the kernel puts the 64-bit loader's heap
    # anywhere in the 1 GB above the loader (0x7d000000), seen from
    # 0x7d13d000 to 0xbc9f4000, and about one 64-bit Wine process in a few
    # thousand then ends with "failed to map the shared user data" (the page
    # at 0x7ffe0000), a test failing for no fault of its own. The 32-bit
    # loader's heap lies within 32 MB of it and never reaches that page.
    wine64-preloader
    xvfb xauth x11-utils
    openbox xfwm4 dbus-daemon xdotool # dbus-run-session, for xfwm4 in the desktop test
    googletest
    imagemagick
    zip unzip
    python3
    shellcheck
    util-linux coreutils procps
)
# 32-bit Wine, and FreeType for it (without it 32-bit Wine has bitmap fonts only).
packages_i386=(wine32:i386 libfreetype6:i386)

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

install_missing() {
    find_missing
    [[ ${#missing[@]} -eq 0 ]] && return
    need_root "missing packages: ${missing[*]}"
    say "installing ${missing[*]}"
    local foreign
    foreign=$'\n'$(dpkg --print-foreign-architectures 2>/dev/null)$'\n'
    if [[ " ${missing[*]}" == *:i386* && $foreign != *$'\n'i386$'\n'* ]]; then
        run_or_fail dpkg --add-architecture i386
    fi
    # shellcheck disable=SC2119 # no options: an unreadable source stays a warning
    apt_update || exit 1
    apt_get install -y --no-install-recommends "${missing[@]}" || exit 1
    find_missing
    if [[ ${#missing[@]} -ne 0 ]]; then
        say "still missing after apt-get: ${missing[*]}"
        exit 1
    fi
    say "done"
}

# 32-bit Wine where the kernel refuses 32-bit programs: emulation.sh's setup
# does nothing where the 32-bit Wine loader runs already.
emulate_32bit() {
    [[ $native == amd64 ]] || return 0
    "$BASH" "$(dirname "${BASH_SOURCE[0]}")/emulation.sh" setup
}

install_missing
emulate_32bit || exit 1
exit 0
