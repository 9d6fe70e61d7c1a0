#!/usr/bin/env bash
# Installs the build and test tools that are missing (Debian 12), including
# 32-bit Wine for the i686 program. Where the kernel cannot run 32-bit
# programs, it sets up qemu's user-mode emulation for them (see below). Quiet
# and quick when everything is there; otherwise it says what it does, and a
# failing step is reported with its own message and a non-zero exit.
#
# It uses only dpkg-query, dpkg, apt-get, id, sudo, mount and tee from PATH,
# and reads and writes the system's files under DEPS_ROOT (default: /). The
# tests in tests/rig/deps_test.sh put stand-ins for both there.
set -uo pipefail

packages=(
    cmake make
    g++-mingw-w64-x86-64-win32 g++-mingw-w64-i686-win32
    binutils-mingw-w64-x86-64 binutils-mingw-w64-i686
    wine wine64 fonts-wine
    xvfb xauth x11-utils
    openbox xdotool
    googletest
    imagemagick
    zip unzip
    python3
    util-linux coreutils procps
)
# 32-bit Wine, and FreeType for it (without it 32-bit Wine has bitmap fonts only).
packages_i386=(wine32:i386 libfreetype6:i386)

# 32-bit programs where the kernel refuses them ("Exec format error"; its log
# says "32-bit emulation disabled"): qemu's user-mode emulation, registered
# with binfmt_misc for i386 ELF programs, runs the 32-bit Wine loader. Debian
# 12's own qemu (7.2) needs about 53 s to start each 32-bit Wine process (the
# loader's address-space reservation makes some 130,000 mmap calls, each slow
# under it); qemu 10 from bookworm-backports needs about 1.3 s.
suite=bookworm
backports=$suite-backports
qemu_package=qemu-user-static
qemu_min_version=1:10~
qemu=/usr/bin/qemu-i386-static
binfmt_name=qemu-i386
# i386 ELF executables and shared objects. "F" opens the interpreter when the
# handler is registered, so a handler registered before qemu was upgraded
# keeps running the old qemu: it is registered anew whenever qemu changes.
binfmt_rule=":$binfmt_name:M::\\x7fELF\\x01\\x01\\x01\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x02\\x00\\x03\\x00:\\xff\\xff\\xff\\xff\\xff\\xfe\\xfe\\x00\\xff\\xff\\xff\\xff\\xff\\xff\\xff\\xff\\xfe\\xff\\xff\\xff:$qemu:F"

sys=${DEPS_ROOT:-}
apt_dir=$sys/etc/apt
backports_sources=$apt_dir/sources.list.d/$backports.sources
binfmt_dir=$sys/proc/sys/fs/binfmt_misc
wine32_loader=$sys/usr/lib/wine/wine

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

# Sets `sudo` to what runs a command as root, or ends the script saying why
# it needs root ($1).
sudo=()
need_root() {
    [[ $(id -u) == 0 ]] && return
    if ! command -v sudo >/dev/null; then
        say "$1"
        say "not root and no sudo: run this script as root"
        exit 1
    fi
    sudo=(sudo)
}

# Runs a command as root quietly; on failure shows its output and ends the script.
run_or_fail() {
    local output
    if ! output=$("${sudo[@]}" "$@" 2>&1); then
        printf '%s\n' "$output" >&2
        say "failed: $*"
        exit 1
    fi
}

# Writes text $2 to file $1 as root.
write_or_fail() {
    printf '%s' "$2" | run_or_fail tee "$1" || exit 1
}

export DEBIAN_FRONTEND=noninteractive

install_missing() {
    find_missing
    [[ ${#missing[@]} -eq 0 ]] && return
    need_root "missing packages: ${missing[*]}"
    say "installing ${missing[*]}"
    local foreign=$'\n'$(dpkg --print-foreign-architectures 2>/dev/null)$'\n'
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
}

runs_32bit() { "$wine32_loader" --version >/dev/null 2>&1; }

# The interpreter of the enabled i386 handler, or nothing.
handler_interpreter() {
    local entry=$binfmt_dir/$binfmt_name state
    [[ -r $entry ]] || return 0
    IFS= read -r state <"$entry"
    [[ $state == enabled ]] && sed -n 's/^interpreter //p' "$entry"
}

qemu_is_current() {
    local version
    version=$(dpkg-query -W -f='${Version}' "$qemu_package" 2>/dev/null) &&
        [[ -n $version ]] && dpkg --compare-versions "$version" ge "$qemu_min_version"
}

backports_configured() {
    grep -Eqs "^[^#]*[[:space:]]$backports([[:space:]]|\$)" "$apt_dir/sources.list" \
        "$apt_dir"/sources.list.d/*.list "$apt_dir"/sources.list.d/*.sources
}

# "URI [KEYRING]" of the machine's own source of $suite, from the one-line
# lists or the deb822 .sources files.
debian_source() {
    local f
    for f in "$apt_dir/sources.list" "$apt_dir"/sources.list.d/*.list; do
        [[ -f $f ]] || continue
        awk -v suite="$suite" '
            $1 == "deb" {
                i = 2; key = ""
                if ($i ~ /^\[/) {
                    for (; i <= NF; i++) {
                        if ($i ~ /signed-by=/) { key = $i; sub(/.*signed-by=/, "", key); sub(/\]$/, "", key) }
                        if ($i ~ /\]$/) { i++; break }
                    }
                }
                if ($(i + 1) == suite) { print $i, key; exit }
            }' "$f"
    done
    for f in "$apt_dir"/sources.list.d/*.sources; do
        [[ -f $f ]] || continue
        awk -v suite="$suite" '
            function stanza_end() {
                if (deb && ours && uri != "") { print uri, key; done = 1; exit }
                deb = ours = 0; uri = key = ""
            }
            /^[[:space:]]*$/ { stanza_end(); next }
            /^#/ { next }
            tolower($1) == "types:" { for (i = 2; i <= NF; i++) if ($i == "deb") deb = 1 }
            tolower($1) == "uris:" { uri = $2 }
            tolower($1) == "suites:" { for (i = 2; i <= NF; i++) if ($i == suite) ours = 1 }
            tolower($1) == "signed-by:" { key = $2 }
            END { if (!done) stanza_end() }' "$f"
    done
}

add_backports() {
    local uri key
    read -r uri key < <(debian_source)
    if [[ -z ${uri:-} ]]; then
        say "no $suite source in $apt_dir to add $backports beside; add $backports yourself"
        exit 1
    fi
    write_or_fail "$backports_sources" "# Added by Tiermo's scripts/deps.sh for $qemu_package.
Types: deb
URIs: $uri
Suites: $backports
Components: main
${key:+Signed-By: $key
}"
}

# Where the kernel cannot run 32-bit programs (or they go to another
# interpreter), makes them run under qemu 10.
emulate_32bit() {
    [[ $native == amd64 && -e $wine32_loader ]] || return 0
    local interpreter
    interpreter=$(handler_interpreter)
    if [[ -z $interpreter ]]; then
        runs_32bit && return
        say "this kernel cannot run 32-bit programs: setting up $qemu_package from $backports as their binfmt_misc handler"
    elif [[ $interpreter == "$qemu" ]] && qemu_is_current && runs_32bit; then
        return
    else
        say "32-bit programs go to $interpreter: setting up $qemu_package from $backports as their binfmt_misc handler instead"
    fi
    need_root "32-bit programs need $qemu_package set up"
    if ! qemu_is_current; then
        backports_configured || add_backports
        run_or_fail apt-get update -q
        run_or_fail apt-get install -y -q --no-install-recommends -t "$backports" "$qemu_package"
    fi
    if [[ ! -e $binfmt_dir/register ]]; then
        run_or_fail mount -t binfmt_misc binfmt_misc "$binfmt_dir"
    fi
    [[ -e $binfmt_dir/$binfmt_name ]] && write_or_fail "$binfmt_dir/$binfmt_name" -1
    write_or_fail "$binfmt_dir/register" "$binfmt_rule"
    if ! runs_32bit; then
        say "32-bit programs still do not run: $("$wine32_loader" --version 2>&1 | tail -n 1)"
        exit 1
    fi
    say "done: 32-bit programs run under $qemu"
}

install_missing
emulate_32bit
exit 0
