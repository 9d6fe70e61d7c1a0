#!/usr/bin/env bash
# qemu's user-mode emulation of 32-bit programs, for kernels that refuse them
# ("Exec format error"; the kernel log says "32-bit emulation disabled"), so
# that 32-bit Wine runs there.
#
#   scripts/emulation.sh status   what is set up, and whether setup did it
#   scripts/emulation.sh setup    makes the 32-bit Wine loader run (scripts/deps.sh calls it)
#   scripts/emulation.sh undo     puts back what setup changed, as its record says
#
# setup changes nothing where the 32-bit Wine loader runs already (natively, or
# under anyone's binfmt_misc handler), nor on any system but Debian 12.
# Elsewhere it makes those that are missing of these changes: a
# bookworm-backports source and qemu-user-static 10 from it
# (scripts/lib/backports.sh), binfmt_misc's mount and the i386 handler
# (binfmt.sh), each written to the record before it is made
# (emulation_record.sh). undo puts them back last first; a line it cannot put
# back stays in the record, with a message of what to do, and the lines of a
# boot since ended are passed over. docs/building.md ("Where the kernel
# refuses 32-bit programs") says what each change is and how undo puts it back.
#
# It uses dpkg-query, dpkg, apt-get, env, id, sudo, mount, umount, tee, mkdir,
# rm, rmdir, mv, tail, awk, grep and dirname from PATH, and the system's files
# under DEPS_ROOT (default /); the tests in tests/setup/ put stand-ins
# for both there.
set -uo pipefail
me=emulation
# The handler, Debian 12's sources and qemu, and the record.
# shellcheck source=lib/binfmt.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib/binfmt.sh"
# shellcheck source=lib/backports.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib/backports.sh"
# shellcheck source=lib/emulation_record.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib/emulation_record.sh"

wine32_loader=$sys$tiermo_wine32_loader
boot_id=$sys/proc/sys/kernel/random/boot_id
boot=boot=$(cat "$boot_id" 2>/dev/null || echo unknown)

runs_32bit() { "$wine32_loader" --version >/dev/null 2>&1; }
# Why the loader does not start: the last line it wrote.
loader_error() { local out; out=$("$wine32_loader" --version 2>&1); echo "${out##*$'\n'}"; }

# Whether the handler in `handler` is the one setup registered (in this boot;
# a line without a boot's id comes from before they were kept).
ours() {
    [[ ${handler[interpreter]:-} == "$qemu" ]] &&
        { recorded "binfmt-registered $boot" || recorded binfmt-registered; }
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
    supported_system
    need_root "32-bit programs need $qemu_package set up"
    if ! qemu_is_current; then
        if [[ -z $(debian_source "$backports") ]]; then
            add_backports
        else
            apt_update -o APT::Update::Error-Mode=any || exit 1
        fi
        # The version before setup, once: run again after dpkg stopped, qemu
        # is half-installed (not a version of the user's).
        recorded "package $qemu_package " start ||
            record_add "package $qemu_package $(qemu_version || echo none)"
        apt_get install -y --no-install-recommends -t "$backports" "$qemu_package" || exit 1
    fi
    if [[ ! -e $binfmt_dir/register ]]; then
        record_add "mount $boot $binfmt_dir"
        run_or_fail mount -t binfmt_misc binfmt_misc "$binfmt_dir"
    fi
    # The lines this run adds, each dropped again when its change is not made.
    local saved="" saved_added="" new="binfmt-registered $boot" new_added="" state rule
    if read_entry; then
        if ! ours; then
            if runs_32bit; then
                say "done: 32-bit programs run under ${handler[interpreter]}, the handler $binfmt_name as it was"
                return
            fi
            saved="binfmt-saved $boot ${handler[state]} $(entry_rule)"
            say "saving the handler $binfmt_name (${handler[interpreter]}) in $record before replacing it"
            record_add "$saved" && saved_added=1
        fi
        unregister
    fi
    record_add "$new" && new_added=1
    if ! register "$binfmt_rule"; then
        [[ -z $new_added ]] || record_drop "$new"
        if [[ -n $saved ]]; then
            read -r _ _ state rule <<<"$saved"
            if register "$rule" "$state"; then
                say "the handler $binfmt_name is back as it was"
                [[ -z $saved_added ]] || record_drop "$saved"
            else
                say "could not put the handler $binfmt_name back: its line stays in $record (undo puts it back)"
            fi
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

# A record line that undo cannot put back ($1), why ($2) and what to do ($3).
cannot_undo() {
    say "cannot put back '$1': $2"
    say "  $3"
    return 1
}

# Puts back the change of record line "$1 $2", and says so; false, with a
# message of what to do, when it cannot.
undo_change() {
    local kind=$1 details=$2 line="$1 $2" name version state rule f others
    local drop="remove the line from $record"
    if [[ $details == boot=* ]]; then
        if [[ ${details%% *} != "$boot" ]]; then
            say "ended with a reboot: $line"
            return
        fi
        details=${details#"$boot"} details=${details# }
    fi
    case $kind in
    "") return ;;
    source)
        [[ -n $details ]] || cannot_undo "$line" "no file named" "$drop" || return
        run_quiet rm -f "$details" || return
        apt_update || say "the package lists still hold $backports: run apt-get update once the mirror is in reach"
        ;;
    package)
        read -r name version <<<"$details"
        [[ $name == "$qemu_package" && -n $version ]] ||
            cannot_undo "$line" "no version of $qemu_package named" \
                "install the $qemu_package you want with apt-get, and $drop" || return
        if [[ $version == none ]]; then
            set -- remove -y "$name"
        else
            set -- install -y --no-install-recommends --allow-downgrades "$name=$version"
        fi
        # apt-get would also remove or downgrade what has come to need qemu
        # since: only what changes qemu alone is done.
        if [[ $(qemu_version) != "${version#none}" ]]; then
            apt_get -s "$@" || return
            others=$(awk -v name="$name" '$1 ~ /^(Inst|Remv|Purg)$/ && $2 != name { printf " %s", $2 }' <<<"$run_output")
            [[ -z $others ]] || cannot_undo "$line" "apt-get would also remove or downgrade:$others" \
                "remove those yourself and run undo again, or $drop to keep $qemu_package as it is" || return
            apt_get "$@" || return
        fi
        ;;
    mount)
        [[ -n $details ]] || cannot_undo "$line" "no directory named" "$drop" || return
        # Only when no handler is left in it (there was none when it was mounted).
        for f in "$details"/*; do
            [[ ${f##*/} == register || ${f##*/} == status || ! -e $f ]] && continue
            say "left $details mounted: it holds handlers registered since"
            return
        done
        if [[ -e $details/register ]]; then
            run_quiet umount "$details" || cannot_undo "$line" "umount failed" \
                "unmount it yourself and run undo again, or $drop to leave it mounted" || return
        fi
        ;;
    binfmt-registered)
        if read_entry && ours; then unregister; fi
        ;;
    binfmt-saved)
        read -r state rule <<<"$details"
        [[ -n $rule ]] || cannot_undo "$line" "no handler saved" "$drop" || return
        if read_entry && ours; then unregister; fi
        read_entry || register "$rule" "$state"
        ;;
    *)
        cannot_undo "$line" "not a change that setup makes" \
            "put back by hand what it names, if it is yours, and $drop"
        ;;
    esac || return
    say "put back: $line"
}

undo() {
    read_record
    if [[ ${#lines[@]} -eq 0 ]]; then
        say "no record ($record): setup has changed nothing here"
        return
    fi
    need_root "undoing what $record lists"
    local i kind details kept=0
    for ((i = ${#lines[@]} - 1; i >= 0; i--)); do
        read -r kind details <<<"${lines[i]}"
        if undo_change "$kind" "$details"; then
            unset "lines[i]"
            record_write
        else
            kept=$((kept + 1))
        fi
    done
    if [[ $kept -gt 0 ]]; then
        say "$kept change(s) not put back, as said above: they stay in $record, and undo goes on from them when run again"
        exit 1
    fi
    say "done: all recorded changes put back, the record removed"
}

status() {
    local file uri version how line
    if runs_32bit; then
        echo "32-bit programs: run ($wine32_loader starts)"
    else
        echo "32-bit programs: do not run ($(loader_error))"
    fi
    if [[ ! -e $binfmt_dir/register ]]; then
        echo "binfmt_misc: not mounted ($binfmt_dir)"
    elif read_entry; then
        how="not in the record: set up by someone else"
        ours && how="registered by setup (recorded)"
        echo "binfmt_misc handler $binfmt_name: ${handler[state]}, ${handler[interpreter]}, flags ${handler[flags]}; $how"
    else
        echo "binfmt_misc handler $binfmt_name: none"
    fi
    how="not in the record"
    version=$(qemu_version) || version="not installed"
    read_record
    for line in "${lines[@]}"; do
        [[ $line == "package $qemu_package "* ]] || continue
        how="setup's install did not complete (recorded; undo puts back ${line##* })"
        qemu_is_current && how="installed by setup over ${line##* } (recorded)"
    done
    echo "$qemu_package: ${version:-not installed}; $how"
    read -r file uri < <(debian_source "$backports")
    if [[ -n ${file:-} ]]; then
        how="not in the record"
        recorded "source $file" && how="added by setup (recorded)"
        echo "$backports: $uri in $file; $how"
    else
        echo "$backports: no Debian source"
    fi
    read_record
    if [[ ${#lines[@]} -eq 0 ]]; then
        echo "record: none ($record)"
        return
    fi
    echo "record: $record (bash scripts/emulation.sh undo puts back what it lists, last first)"
    for line in "${lines[@]}"; do
        how=""
        [[ $line == *" boot="* && $line != *" $boot"* ]] && how=" (ended with a reboot)"
        echo "  $line$how"
    done
}

case ${1:-} in
status | setup | undo) "$1" ;;
*)
    echo "usage: scripts/emulation.sh status|setup|undo" >&2
    exit 2
    ;;
esac
