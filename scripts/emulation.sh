#!/usr/bin/env bash
# qemu's user-mode emulation of 32-bit programs, for kernels that refuse them
# ("Exec format error"; the kernel log says "32-bit emulation disabled"), so
# that 32-bit Wine runs there.
#
#   scripts/emulation.sh status   what is set up, and whether setup did it
#   scripts/emulation.sh setup    makes the 32-bit Wine loader run (scripts/deps.sh calls it)
#   scripts/emulation.sh undo     puts back what setup changed, as its record says
#
# setup changes nothing where the 32-bit Wine loader runs already: natively,
# or under a binfmt_misc handler, whoever registered it. Elsewhere it makes
# only the changes that are missing of:
#   - source: bookworm-backports, in a file of its own beside the machine's
#     Debian 12 source and signed by Debian's archive keyring (never a third
#     party's source of bookworm); removed again when apt-get update fails.
#   - package: qemu-user-static 10 from there. Debian 12's own qemu (7.2) needs
#     about 53 s to start each 32-bit Wine process (the loader's address-space
#     reservation makes some 130,000 mmap calls, each slow under it); qemu 10
#     about 1.3 s.
#   - mount: binfmt_misc, when it is not mounted.
#   - binfmt: its handler qemu-i386 for i386 ELF programs. A handler of that
#     name that does not run the loader is saved whole, then replaced; it is
#     put back when the new one cannot be registered.
# Each change is written to the record before it is made; undo puts the
# changes back last first and then removes the record.
#
# It uses dpkg-query, dpkg, apt-get, env, id, sudo, mount, umount, tee, mkdir,
# rm, rmdir, awk and dirname from PATH, and the system's files under DEPS_ROOT (default
# /); the tests in scripts/deps_test.sh put stand-ins for both there.
set -uo pipefail
me=emulation
# shellcheck source=lib/root.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib/root.sh"
# shellcheck source=lib/constants.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib/constants.sh"

suite=bookworm
backports=$suite-backports
debian_keyring=/usr/share/keyrings/debian-archive-keyring.gpg
qemu_package="qemu-user-static"
qemu_min_version=1:10~
qemu=/usr/bin/qemu-i386-static
binfmt_name=$tiermo_binfmt_handler
# i386 ELF executables and shared objects. "F" opens the interpreter when the
# handler is registered: it keeps running that qemu after an upgrade, so setup
# registers the handler after it installs qemu.
binfmt_rule=":$binfmt_name:M::\\x7fELF\\x01\\x01\\x01\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x02\\x00\\x03\\x00:\\xff\\xff\\xff\\xff\\xff\\xfe\\xfe\\x00\\xff\\xff\\xff\\xff\\xff\\xff\\xff\\xff\\xfe\\xff\\xff\\xff:$qemu:F"

apt_dir=$sys/etc/apt
backports_sources=$apt_dir/sources.list.d/$backports.sources
binfmt_dir=$sys$tiermo_binfmt_dir
entry=$binfmt_dir/$binfmt_name
wine32_loader=$sys$tiermo_wine32_loader
record=$sys/var/lib/tiermo/emulation.record

runs_32bit() { "$wine32_loader" --version >/dev/null 2>&1; }
# Why the loader does not start: the last line it wrote.
loader_error() { local out; out=$("$wine32_loader" --version 2>&1); echo "${out##*$'\n'}"; }

# The handler's entry into `handler` (state, interpreter, flags, and offset,
# magic and mask or extension); false when there is none.
declare -A handler
read_entry() {
    local line key
    handler=()
    [[ -r $entry ]] || return 1
    {
        IFS= read -r 'handler[state]'
        while IFS= read -r line; do
            key=${line%% *}
            handler[${key%:}]=${line#* }
        done
    } <"$entry"
}

# The registration that makes the entry in `handler` again.
hex_escaped() { local hex=$1 out=""; while [[ -n $hex ]]; do out+="\\x${hex:0:2}" hex=${hex:2}; done; echo "$out"; }
entry_rule() {
    local tail=${handler[interpreter]}:${handler[flags]}
    if [[ -n ${handler[extension]:-} ]]; then
        echo ":$binfmt_name:E::${handler[extension]#.}::$tail"
    else
        echo ":$binfmt_name:M:${handler[offset]}:$(hex_escaped "${handler[magic]}"):$(hex_escaped "${handler[mask]:-}"):$tail"
    fi
}

# The installed version of qemu; false when it is not installed.
qemu_version() {
    local line
    line=$(dpkg-query -W -f='${db:Status-Abbrev}=${Version}' "$qemu_package" 2>/dev/null) &&
        [[ $line == ii* ]] && echo "${line#*=}"
}
qemu_is_current() {
    local version
    version=$(qemu_version) && [[ -n $version ]] &&
        dpkg --compare-versions "$version" ge "$qemu_min_version"
}

# "FILE URI" of the first apt source of suite $1 that Debian's archive keyring
# signs: one that names the keyring, or one without a key on a debian.org host
# in Debian's own files (sources.list, debian.sources). Third parties' sources
# of the same suite are passed over.
debian_source() {
    local f own found
    for f in "$apt_dir/sources.list" "$apt_dir"/sources.list.d/*.list \
        "$apt_dir"/sources.list.d/*.sources; do
        [[ -f $f ]] || continue
        own=0
        [[ $f == "$apt_dir/sources.list" || $f == */debian.sources ]] && own=1
        found=$(awk -v suite="$1" -v own=$own -v keyring="$debian_keyring" -v file="$f" '
            function found(uri, key) {
                if (key == keyring || (key == "" && own && uri ~ /^https?:\/\/([^\/]*\.)?debian\.org\//)) {
                    print file, uri; done = 1; exit
                }
            }
            function stanza_end() {
                if (deb && ours && on) found(uri, key)
                deb = ours = 0; on = 1; uri = key = ""
            }
            BEGIN { on = 1; deb822 = file ~ /\.sources$/ }
            !deb822 && $1 == "deb" {
                i = 2; key = ""
                if ($i ~ /^\[/) {
                    for (; i <= NF; i++) {
                        if ($i ~ /signed-by=/) { key = $i; sub(/.*signed-by=/, "", key); sub(/\]$/, "", key) }
                        if ($i ~ /\]$/) { i++; break }
                    }
                }
                if ($(i + 1) == suite) found($i, key)
            }
            !deb822 { next }
            /^[[:space:]]*$/ { stanza_end(); next }
            /^#/ { next }
            tolower($1) == "types:" { for (i = 2; i <= NF; i++) if ($i == "deb") deb = 1 }
            tolower($1) == "uris:" { uri = $2 }
            tolower($1) == "suites:" { for (i = 2; i <= NF; i++) if ($i == suite) ours = 1 }
            tolower($1) == "signed-by:" { key = $2 }
            tolower($1) == "enabled:" && tolower($2) == "no" { on = 0 }
            END { if (!done && deb822) stanza_end() }' "$f")
        [[ -n $found ]] && echo "$found" && return
    done
}

# The record: one change a line, "KIND DETAILS", in the order they were made.
recorded() { [[ -f $record && $'\n'$(<"$record")$'\n' == *$'\n'"$1"$'\n'* ]]; }
record_add() {
    local text=""
    if [[ -s $record ]]; then text=$(<"$record")$'\n'; else run_or_fail mkdir -p "${record%/*}"; fi
    write_or_fail "$record" "$text$1"$'\n'
}
# Drops the last line (a change undone, or not made after all); the record
# and its directory go with the last one.
record_drop() {
    local -a lines
    mapfile -t lines <"$record"
    if [[ ${#lines[@]} -gt 1 ]]; then
        write_or_fail "$record" "$(printf '%s\n' "${lines[@]:0:${#lines[@]}-1}")"$'\n'
    else
        run_or_fail rm -f "$record"
        run_or_fail rmdir --ignore-fail-on-non-empty "${record%/*}"
    fi
}

unregister() { write_or_fail "$entry" -1; }
# Registers rule $1 in state $2 (enabled or disabled); false when the kernel refuses it.
register() {
    printf '%s' "$1" | run_quiet tee "$binfmt_dir/register" || return 1
    [[ ${2:-enabled} == enabled ]] || write_or_fail "$entry" 0
}
# Whether the handler in `handler` is the one setup registered.
ours() { [[ ${handler[interpreter]:-} == "$qemu" ]] && recorded binfmt-registered; }

add_backports() {
    local file uri
    read -r file uri < <(debian_source "$suite")
    if [[ -z ${uri:-} ]]; then
        say "no Debian $suite source (signed by $debian_keyring) in $apt_dir to add $backports beside; add $backports yourself"
        exit 1
    fi
    if [[ -e $backports_sources ]]; then
        say "$backports_sources exists but is no Debian source of $backports: mend or remove it"
        exit 1
    fi
    record_add "source $backports_sources"
    write_or_fail "$backports_sources" "# Added by Tiermo's scripts/emulation.sh, beside $file; its undo removes it.
Types: deb
URIs: $uri
Suites: $backports
Components: main
Signed-By: $debian_keyring
"
    if ! apt_get update; then
        say "apt-get update fails with $backports_sources: removed it again"
        run_or_fail rm -f "$backports_sources"
        record_drop
        exit 1
    fi
}

setup() {
    if [[ ! -e $wine32_loader ]]; then
        say "no 32-bit Wine ($wine32_loader): install wine32:i386 first (scripts/deps.sh does)"
        exit 1
    fi
    runs_32bit && return
    if read_entry; then
        say "32-bit programs do not run under the binfmt_misc handler $binfmt_name (${handler[state]}, ${handler[interpreter]}): setting up $qemu_package from $backports as their handler"
    else
        say "this kernel cannot run 32-bit programs: setting up $qemu_package from $backports as their binfmt_misc handler"
    fi
    need_root "32-bit programs need $qemu_package set up"
    if ! qemu_is_current; then
        if [[ -z $(debian_source "$backports") ]]; then
            add_backports
        else
            apt_get update || exit 1
        fi
        record_add "package $qemu_package $(qemu_version || echo none)"
        apt_get install -y --no-install-recommends -t "$backports" "$qemu_package" || exit 1
    fi
    if [[ ! -e $binfmt_dir/register ]]; then
        record_add "mount $binfmt_dir"
        run_or_fail mount -t binfmt_misc binfmt_misc "$binfmt_dir"
    fi
    local saved="" new=binfmt-registered state rule
    if read_entry; then
        if ! ours; then
            if runs_32bit; then
                say "done: 32-bit programs run under ${handler[interpreter]}, the handler $binfmt_name as it was"
                return
            fi
            saved="binfmt-saved ${handler[state]} $(entry_rule)"
            say "saving the handler $binfmt_name (${handler[interpreter]}) in $record before replacing it"
            record_add "$saved"
        fi
        unregister
    fi
    recorded $new && new=""
    [[ -n $new ]] && record_add "$new"
    if ! register "$binfmt_rule"; then
        [[ -n $new ]] && record_drop
        if [[ -n $saved ]]; then
            read -r _ state rule <<<"$saved"
            register "$rule" "$state" && say "the handler $binfmt_name is back as it was"
            record_drop
        fi
        exit 1
    fi
    if ! runs_32bit; then
        say "32-bit programs still do not run: $(loader_error)"
        say "(bash scripts/emulation.sh undo puts back what was changed)"
        exit 1
    fi
    say "done: 32-bit programs run under $qemu; bash scripts/emulation.sh undo puts back what was changed"
}

# Puts back the change of record line "$1 $2".
undo_change() {
    local kind=$1 details=$2 name version state rule
    case $kind in
    source)
        run_or_fail rm -f "$details"
        apt_get update
        ;;
    package)
        read -r name version <<<"$details"
        if [[ $version == none ]]; then
            apt_get remove -y "$name"
        else
            apt_get install -y --no-install-recommends --allow-downgrades "$name=$version"
        fi
        ;;
    mount)
        # Only when no handler is left in it (there was none when it was mounted).
        local f
        for f in "$details"/*; do
            [[ ${f##*/} == register || ${f##*/} == status ]] || return 0
        done
        run_quiet umount "$details"
        ;;
    binfmt-registered)
        if read_entry && ours; then unregister; fi
        ;;
    binfmt-saved)
        read -r state rule <<<"$details"
        if read_entry && ours; then unregister; fi
        read_entry || register "$rule" "$state"
        ;;
    *)
        say "$record: unknown change '$kind $details'"
        return 1
        ;;
    esac
}

undo() {
    if [[ ! -f $record ]]; then
        say "no record ($record): setup has changed nothing here"
        return
    fi
    need_root "undoing what $record lists"
    local -a lines
    local kind details
    while [[ -f $record ]]; do
        mapfile -t lines <"$record"
        read -r kind details <<<"${lines[-1]}"
        undo_change "$kind" "$details" || exit 1
        say "put back: $kind $details"
        record_drop
    done
    say "done: all recorded changes put back, the record removed"
}

status() {
    local file uri version how kind details
    if runs_32bit; then
        echo "32-bit programs: run ($wine32_loader starts)"
    else
        echo "32-bit programs: do not run ($(loader_error))"
    fi
    how="not in the record: set up by someone else"
    if read_entry; then
        ours && how="registered by setup (recorded)"
        echo "binfmt_misc handler $binfmt_name: ${handler[state]}, ${handler[interpreter]}, flags ${handler[flags]}; $how"
    else
        echo "binfmt_misc handler $binfmt_name: none"
    fi
    how="not in the record"
    version=$(qemu_version) || version="not installed"
    [[ -f $record ]] && while read -r kind details; do
        [[ $kind == package ]] && how="installed by setup over ${details#* } (recorded)"
    done <"$record"
    echo "$qemu_package: ${version:-not installed}; $how"
    read -r file uri < <(debian_source "$backports")
    if [[ -n ${file:-} ]]; then
        how="not in the record"
        recorded "source $file" && how="added by setup (recorded)"
        echo "$backports: $uri in $file; $how"
    else
        echo "$backports: no Debian source"
    fi
    if [[ -f $record ]]; then
        echo "record: $record (bash scripts/emulation.sh undo puts back what it lists)"
    else
        echo "record: none ($record)"
    fi
}

case ${1:-} in
status | setup | undo) "$1" ;;
*)
    echo "usage: scripts/emulation.sh status|setup|undo" >&2
    exit 2
    ;;
esac
