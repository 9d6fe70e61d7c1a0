#!/usr/bin/env bash
# Checks of scripts/deps.sh and scripts/emulation.sh that touch nothing on the
# system: stand-ins for dpkg-query, dpkg, apt-get, id, mount, umount and tee
# come first on PATH, and record how they were called; after them only the
# usual tools, so there is no sudo unless a check adds the stand-in for it
# (which drops the environment, as sudo does). The system's files are a tree
# of the test's own (DEPS_ROOT), with a stand-in 32-bit Wine loader that runs
# where the kernel is "native" or under an enabled i386 handler whose
# interpreter runs it.
# shellcheck disable=SC2016 # the stand-ins' text expands when they run
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
here=$root/scripts lib=$root/scripts/lib
deps=$here/deps.sh
emulation=$here/emulation.sh
bash=$(command -v bash)
dpkg=$(command -v dpkg)
work=$(mktemp -d) || exit 1
trap 'rm -rf "$work"' EXIT
# shellcheck source=../support/checks.sh
source "$root/tests/support/checks.sh"
# shellcheck source=../../scripts/lib/constants.sh
source "$here/lib/constants.sh"

# The stand-ins. State: $work/installed (one "name:arch" a line),
# $work/versions ("name version"), $work/foreign (foreign architectures),
# $work/calls (one call a line), $work/counted (the same, each after the
# number of lines the record had then), $work/uid, $work/kernel ("native" or
# "refuses"), $work/runs-under (the interpreters that run the 32-bit loader),
# $work/apt-fails (when present, apt-get fails with its text), $work/offline
# (apt-get update only warns, unless told to fail), $work/dependents (what
# apt-get -s would change besides), $work/dpkg-stops (dpkg stops inside an
# install, the package left half-installed: its name in $work/half),
# $work/register-fails (binfmt_misc refuses a handler with an interpreter
# listed there), $work/disk-full (writes under /var fail) and
# $work/mount-fails, $work/umount-fails.
mkdir -p "$work/bin" "$work/sudo"
stub() {
    printf '#!%s\nW=%q\n%s\n%s\n' "$bash" "$work" 'log() {
    local n=0 r=$W/root/var/lib/tiermo/emulation.record
    [[ -f $r ]] && n=$(wc -l <"$r")
    echo "$*" >>"$W/calls"; echo "$n $*" >>"$W/counted"
}' "$2" >"$1" && chmod +x "$1"
}
stub "$work/bin/dpkg-query" '
if [[ $2 == *Version* ]]; then
    s=ii
    [[ $(cat "$W/half" 2>/dev/null) == "$3" ]] && s=iU
    sed -n "s/^$3 /$s =/p" "$W/versions" | grep .
    exit
fi
# -W -f=FORMAT PACKAGE...: one "name:arch=ii " line per installed package.
shift 2
status=0
for p in "$@"; do
    n=${p%%:*} a=amd64 found=""
    [[ $p == *:* ]] && a=${p#*:}
    while IFS= read -r line; do
        [[ $line == "$n:$a" || ( $p != *:* && $line == "$n:all" ) ]] && found=$line
    done <"$W/installed"
    if [[ -n $found ]]; then echo "$found=ii "; else echo "dpkg-query: no packages found matching $p" >&2; status=1; fi
done
exit $status'
stub "$work/bin/dpkg" '
case $1 in --compare-versions) exec '"$dpkg"' "$@" ;; esac
log "dpkg $*"
case $1 in
--print-architecture) echo amd64 ;;
--print-foreign-architectures) cat "$W/foreign" ;;
--add-architecture) echo "$2" >>"$W/foreign" ;;
esac'
# install NAME[=VERSION] (version 10 with -t) and remove NAME.
stub "$work/bin/apt-get" '
log "apt-get $*"
if [[ ${DEBIAN_FRONTEND:-} != noninteractive ]]; then echo "debconf would ask, unseen" >&2; exit 1; fi
if [[ -f $W/apt-fails ]]; then cat "$W/apt-fails" >&2; exit 100; fi
if [[ -f $W/offline ]]; then
    [[ ${*: -1} == update ]] || { echo "E: Unable to locate package ${*: -1}" >&2; exit 100; }
    echo "W: Failed to fetch http://mirror.invalid/debian/dists/bookworm-backports/InRelease  Temporary failure resolving" >&2
    [[ " $* " == *" APT::Update::Error-Mode=any "* ]] && { echo "E: Some index files failed to download." >&2; exit 100; }
    exit 0
fi
[[ $1 == -q ]] && shift
if [[ $1 == -s ]]; then
    p=${*: -1}
    [[ $2 == remove ]] && echo "Remv ${p%%=*}" || echo "Inst ${p%%=*}"
    cat "$W/dependents" 2>/dev/null
    exit 0
fi
[[ $1 == install || $1 == remove ]] || exit 0
for p in "${@:2}"; do
    [[ $p == -* || $p == *-backports ]] && continue
    n=${p%%=*} v=""
    [[ $n == *:* ]] || n+=:amd64
    grep -vxF "$n" "$W/installed" >"$W/new"; mv "$W/new" "$W/installed"
    grep -v "^${n%:*} " "$W/versions" >"$W/new"; mv "$W/new" "$W/versions"
    [[ $1 == remove ]] && continue
    echo "$n" >>"$W/installed"
    [[ $p == *=* ]] && v=${p#*=}
    [[ " $* " == *" -t "* ]] && v=1:10.0.2+ds-2~bpo12+1
    [[ -n $v ]] && echo "${n%:*} $v" >>"$W/versions"
    if [[ -f $W/dpkg-stops ]]; then
        echo "${n%:*}" >"$W/half"
        echo "E: Sub-process /usr/bin/dpkg returned an error code (1)" >&2
        exit 100
    fi
done
rm -f "$W/half"
exit 0'
stub "$work/bin/id" 'cat "$W/uid"'
stub "$work/bin/mount" 'log "mount $*"; [[ ! -f $W/mount-fails ]] || exit 32; : >"$4/register"'
stub "$work/bin/umount" 'log "umount $*"; [[ ! -f $W/umount-fails ]] || exit 32; rm "$1/register"'
stub "$work/sudo/sudo" 'log "sudo $1"; exec env -i PATH="$PATH" "$@"'
# The kernel's side of binfmt_misc: a rule written to "register" makes an
# enabled entry; -1 written to an entry removes it, 0 disables it.
stub "$work/bin/tee" '
append=""
[[ $1 == -a ]] && append=1 && shift
text=$(cat; echo .) text=${text%.}
case $1 in
*/binfmt_misc/register)
    IFS=: read -r _ name _ offset magic mask interpreter flags <<<"$text"
    grep -qsxF -- "$interpreter" "$W/register-fails" && { echo "tee: $1: No such file or directory" >&2; exit 1; }
    log "register $name $interpreter"
    printf "enabled\ninterpreter %s\nflags: %s\noffset %s\nmagic %s\nmask %s\n" \
        "$interpreter" "$flags" "${offset:-0}" "${magic//\\x/}" "${mask//\\x/}" >"${1%/register}/$name" ;;
*/binfmt_misc/*)
    log "binfmt $(basename "$1") $text"
    case $text in -1) rm "$1" ;; 0) sed -i 1s/.*/disabled/ "$1" ;; esac ;;
*)
    log "write $1"
    # A full disk: tee empties the file it opens, then cannot write.
    if [[ -f $W/disk-full && $1 == */var/* ]]; then
        [[ -n $append ]] || : >"$1"
        echo "tee: $1: No space left on device" >&2
        exit 1
    fi
    if [[ -n $append ]]; then printf "%s" "$text" >>"$1"; else printf "%s" "$text" >"$1"; fi
    ;;
esac'
binfmt=$work/root$tiermo_binfmt_dir
sources=$work/root/etc/apt/sources.list.d
record=$work/root/var/lib/tiermo/emulation.record
mkdir -p "$sources" "$binfmt" "$(dirname "$work/root$tiermo_wine32_loader")" "$work/root/var/lib" \
    "$work/root/proc/sys/kernel/random"
stub "$work/root$tiermo_wine32_loader" '
[[ $(<"$W/kernel") == native ]] && exit 0
entry=$W/root'"$tiermo_binfmt_dir/$tiermo_binfmt_handler"'
if [[ -f $entry ]] && { read -r state; read -r _ interpreter; } <"$entry" &&
    [[ $state == enabled ]] && grep -qxF "$interpreter" "$W/runs-under"; then exit 0; fi
echo "$0: cannot execute binary file: Exec format error" >&2
exit 126'
mkdir -p "$work/tools"
for tool in cat sed tr grep head tail cut sort wc env awk basename dirname rm rmdir mkdir mv; do
    ln -s "$(command -v $tool)" "$work/tools/$tool"
done
path=$work/bin:$work/tools
strict_update="apt-get -q -o APT::Update::Error-Mode=any update"

reset_state() { # uid [kernel]
    : >"$work/installed"
    : >"$work/versions"
    : >"$work/foreign"
    : >"$work/calls"
    : >"$work/counted"
    echo "$1" >"$work/uid"
    echo "${2:-native}" >"$work/kernel"
    echo /usr/bin/qemu-i386-static >"$work/runs-under"
    rm -f "$work/apt-fails" "$work/register-fails" "${binfmt:?}"/* "$work/root/etc/apt/sources.list" \
        "${sources:?}"/* "$work/offline" "$work/dependents" "$work/mount-fails" "$work/umount-fails" \
        "$work/dpkg-stops" "$work/half" "$work/disk-full"
    echo first-boot >"$work/root/proc/sys/kernel/random/boot_id"
    printf 'PRETTY_NAME="Debian GNU/Linux 12 (bookworm)"\nID=debian\nVERSION_CODENAME=bookworm\n' >"$work/root/etc/os-release"
    rm -rf "$work/root/var/lib/tiermo"
    printf 'Types: deb\nURIs: http://mirror.invalid/debian\nSuites: bookworm bookworm-updates\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' \
        >"$sources/debian.sources"
}
run() { DEPS_ROOT=$work/root PATH=$path "$bash" "$@" 2>"$work/err"; }
run_deps() { run "$deps"; }
install_all() { for p in $all; do [[ $p == *:* ]] && echo "$p" || echo "$p:amd64"; done >>"$work/installed"; }
backports_files() { local f; for f in "$sources"/*backports*; do [[ -e $f ]] && echo "${f##*/}"; done; }
calls_of() { local line out=""; while IFS= read -r line; do [[ $line == "$1"* ]] && out+="$line;"; done <"$work/calls"; echo "$out"; }
# The system as the stand-ins see it: files, their text, the packages.
snapshot() { (cd "$work" && find root installed versions && grep -r '' root installed versions) | sort; }
# A machine with all packages whose kernel refuses 32-bit programs.
refusing_machine() { # uid
    reset_state "$1" refuses
    install_all
    echo i386 >"$work/foreign"
}
# Debian 12's own qemu, and a handler of its that runs 32-bit programs when $1 is "runs".
debian_qemu() {
    echo qemu-user-static:amd64 >>"$work/installed"
    echo "qemu-user-static 1:7.2+dfsg-7+deb12u18" >>"$work/versions"
    : >"$binfmt/register"
    printf 'enabled\ninterpreter %s\nflags: POCF\noffset 0\nmagic 7f454c4601010100000000000000000002000300\nmask fffffffffffefe00fffffffffffffffffeffffff\n' \
        /usr/libexec/qemu-binfmt/i386-binfmt-P >"$binfmt/qemu-i386"
    [[ ${1:-} == runs ]] && echo /usr/libexec/qemu-binfmt/i386-binfmt-P >>"$work/runs-under"
}

# All packages, learnt from a root run on an empty system.
reset_state 0
run_deps
all=$(calls_of "apt-get -q install")
all=${all#apt-get -q install -y --no-install-recommends }
all=${all%;}
check "an empty system gets i386 added, one update, one install" \
    "dpkg --add-architecture i386;|apt-get -q update;|1" \
    "$(calls_of "dpkg --add")|$(calls_of "apt-get -q update")|$([[ $all == *wine32:i386* && $all == *cmake* ]] && echo 1)"

# One package missing: one update, then an install of exactly that package.
reset_state 0
install_all
sed -i '/^zip:/d' "$work/installed"
echo i386 >"$work/foreign"
run_deps
rc=$?
check "one missing package: exit code, apt-get calls, no architecture added, says what it installs" \
    "0|apt-get -q update;apt-get -q install -y --no-install-recommends zip;||1" \
    "$rc|$(calls_of apt-get)|$(calls_of "dpkg --add")|$(grep -c 'installing zip' "$work/err")"

# Nothing missing: no apt-get, no output, exit 0.
: >"$work/calls"
run_deps
rc=$?
check "nothing missing: exit code, no apt-get call, silent" "0||" "$rc|$(calls_of apt-get)|$(<"$work/err")"
check "native kernel: no backports, no qemu, no handler, no record" "||" \
    "$(backports_files)|$(calls_of mount)$(calls_of register)|$(ls "$work/root/var/lib")"

# A kernel that refuses 32-bit programs, set up through sudo: the backports
# source beside the machine's own, qemu from it, binfmt_misc mounted and the
# i386 handler, each recorded before it is made, each once.
refusing_machine 1000
before=$(snapshot)
path+=:$work/sudo
run_deps
rc=$?
check "refusing kernel: exit code, says why" "0|1" "$rc|$(grep -c 'this kernel cannot run 32-bit programs' "$work/err")"
check "refusing kernel: qemu from backports, through sudo" \
    "$strict_update;apt-get -q install -y --no-install-recommends -t bookworm-backports qemu-user-static;|2" \
    "$(calls_of apt-get)|$(grep -c '^sudo env' "$work/calls")"
check "refusing kernel: the source" \
    "URIs: http://mirror.invalid/debian|Suites: bookworm-backports|Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg|" \
    "$(grep -E '^(URIs|Suites|Signed-By):' "$sources/bookworm-backports.sources" | tr '\n' '|')"
check "refusing kernel: binfmt_misc mounted, the handler registered" \
    "mount -t binfmt_misc binfmt_misc $binfmt;|register qemu-i386 /usr/bin/qemu-i386-static;" \
    "$(calls_of mount)|$(calls_of register)"
check "refusing kernel: each change made once the record holds it (the record's lines at each)" \
    "1 write $sources/bookworm-backports.sources;2 apt-get -q install -y --no-install-recommends -t bookworm-backports qemu-user-static;3 mount -t binfmt_misc binfmt_misc $binfmt;4 register qemu-i386 /usr/bin/qemu-i386-static;" \
    "$(grep -E '^[0-9]+ (write .*backports|apt-get -q install|mount|register)' "$work/counted" | tr '\n' ';')"
check "refusing kernel: the record" \
    "source $sources/bookworm-backports.sources|package qemu-user-static none|mount boot=first-boot $binfmt|binfmt-registered boot=first-boot|" \
    "$(tr '\n' '|' <"$record")"

# Set up already: nothing at all.
: >"$work/calls"
run_deps
rc=$?
check "set up already: exit code, no calls, silent" "0||" "$rc|$(grep -v '^dpkg --print' "$work/calls")|$(<"$work/err")"
check "set up already: status names the record" 2 "$(run "$emulation" status | grep -c 'by setup (recorded)')"

# undo, through sudo: everything as before, last change first, each line
# dropped once its change is back.
: >"$work/calls"
: >"$work/counted"
run "$emulation" undo
rc=$?
check "refusing kernel, undo: all as before" "0|$before" "$rc|$(snapshot)"
check "refusing kernel, undo: each line dropped once put back (the record's lines at each change)" \
    "4 binfmt qemu-i386 -1;3 umount $binfmt;2 apt-get -q remove -y qemu-user-static;" \
    "$(grep -E '^[0-9]+ (binfmt|umount|apt-get -q remove)' "$work/counted" | tr '\n' ';')"
check "refusing kernel, undo: the calls" \
    "binfmt qemu-i386 -1;|umount $binfmt;|apt-get -q -s remove -y qemu-user-static;apt-get -q remove -y qemu-user-static;apt-get -q update;" \
    "$(calls_of binfmt)|$(calls_of umount)|$(calls_of apt-get)"
path=$work/bin:$work/tools

# A third party's source of bookworm comes first, and the update with the new
# source fails: the source is removed again, the error shown. Then the
# source is Debian's mirror with Debian's key; undo puts all back.
refusing_machine 0
printf 'deb [arch=amd64 signed-by=/etc/apt/keyrings/docker.asc] https://download.docker.invalid/linux/debian bookworm stable\ndeb https://third.party.invalid/debian bookworm main\n' \
    >"$sources/docker.list"
before=$(snapshot)
echo "E: The repository 'http://mirror.invalid/debian bookworm-backports Release' does not have a Release file." >"$work/apt-fails"
run_deps
rc=$?
check "failed update: non-zero exit, apt's error shown, all as before" "1|1|$before" \
    "$((rc != 0))|$(grep -c 'does not have a Release file' "$work/err")|$(snapshot)"
rm "$work/apt-fails"
run_deps
check "foreign source first: the backports source is Debian's" \
    "URIs: http://mirror.invalid/debian|Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg|" \
    "$(grep -E '^(URIs|Signed-By):' "$sources/bookworm-backports.sources" | tr '\n' '|')"
run "$emulation" undo
check "foreign source first, undo: all as before" "$before" "$(snapshot)"

# A handler of someone else's that runs 32-bit programs: left alone, even on
# Debian 12's own qemu; nothing to undo.
refusing_machine 0
debian_qemu runs
before=$(snapshot)
run_deps
rc=$?
check "working foreign handler: exit code, no calls, silent" "0||" "$rc|$(grep -v '^dpkg --print' "$work/calls")|$(<"$work/err")"
check "working foreign handler: status says whose" 1 "$(run "$emulation" status | grep -c 'qemu-i386: .*by someone else')"
run "$emulation" undo
check "working foreign handler, undo: nothing to do" "1|$before" "$(grep -c 'no record' "$work/err")|$(snapshot)"

# A handler of someone else's that does not run them, Debian 12's own qemu,
# backports configured already: no second source, qemu from backports; the
# handler is saved whole, put back when ours cannot be registered, replaced
# when it can. undo puts back both qemu 7.2 and the handler.
refusing_machine 0
debian_qemu
echo "deb http://deb.debian.org/debian bookworm-backports main" >"$work/root/etc/apt/sources.list"
before=$(snapshot)
handler=$(<"$binfmt/qemu-i386")
echo /usr/bin/qemu-i386-static >"$work/register-fails"
run_deps
rc=$?
check "broken foreign handler, ours refused: non-zero exit, the handler put back" "1|$handler" \
    "$((rc != 0))|$(<"$binfmt/qemu-i386")"
check "broken foreign handler: qemu from backports, no second source" \
    "$strict_update;apt-get -q install -y --no-install-recommends -t bookworm-backports qemu-user-static;|" \
    "$(calls_of apt-get)|$(backports_files)"
rm "$work/register-fails"
: >"$work/calls"
run_deps
rc=$?
check "broken foreign handler: replaced" \
    "0|binfmt qemu-i386 -1;register qemu-i386 /usr/bin/qemu-i386-static;" \
    "$rc|$(calls_of binfmt)$(calls_of register)"
: >"$work/calls"
run "$emulation" undo
check "broken foreign handler, undo: all as before, qemu 7.2 by its version" \
    "$before|apt-get -q -s install -y --no-install-recommends --allow-downgrades qemu-user-static=1:7.2+dfsg-7+deb12u18;apt-get -q install -y --no-install-recommends --allow-downgrades qemu-user-static=1:7.2+dfsg-7+deb12u18;" \
    "$(snapshot)|$(calls_of apt-get)"

# apt-get failing: non-zero exit, apt-get's own message and what failed.
reset_state 0
echo "E: Unable to locate package zip" >"$work/apt-fails"
run_deps
rc=$?
check "apt-get failing: non-zero exit, its message shown, stops after the failed call" \
    "1|1|apt-get -q update;" \
    "$((rc != 0))|$(grep -c 'E: Unable to locate package zip' "$work/err")|$(calls_of apt-get)"

# Not root and no sudo: a clear message, nothing run.
reset_state 1000
run_deps
rc=$?
check "not root: non-zero exit, says to run as root, no apt-get call" "1|1|" \
    "$((rc != 0))|$(grep -c 'not root and no sudo' "$work/err")|$(calls_of apt-get)"
refusing_machine 1000
run_deps
rc=$?
check "not root, refusing kernel: a clear message, nothing done" "1|1|" \
    "$((rc != 0))|$(grep -c 'not root and no sudo' "$work/err")|$(calls_of apt-get)$(calls_of mount)$(calls_of register)"

# Offline, apt-get update only warns and exits 0: with the backports source
# that is an error (the source is removed again, all as before); for the
# packages it stays a warning, shown when the install then fails.
refusing_machine 0
before=$(snapshot)
: >"$work/offline"
run_deps
rc=$?
check "offline: non-zero exit, apt's warning shown, all as before" "1|1|$before" \
    "$((rc != 0))|$(grep -c '^W: Failed to fetch' "$work/err")|$(snapshot)"
reset_state 0
: >"$work/offline"
run_deps
check "offline, packages missing: the failed install shows the update's warning" "1|1" \
    "$(grep -c 'E: Unable to locate' "$work/err")|$(grep -c '^W: Failed to fetch' "$work/err")"

# A setup stopped by a failed mount, run again, goes on where it stopped, each
# change recorded once. An undo whose umount fails goes on with the lines
# before and keeps that one; run again, it puts back the rest.
refusing_machine 0
before=$(snapshot)
: >"$work/mount-fails"
run_deps
rc=$?
check "failed mount: non-zero exit, the record up to it, status shows both" \
    "1|source $sources/bookworm-backports.sources|package qemu-user-static none|mount boot=first-boot $binfmt||2" \
    "$((rc != 0))|$(tr '\n' '|' <"$record")|$(run "$emulation" status | grep -c -e '^binfmt_misc: not mounted' -e '^  mount boot=first-boot')"
rm "$work/mount-fails"
run_deps
rc=$?
check "failed mount, run again: done, each change recorded once" "0|4 4" \
    "$rc|$(wc -l <"$record") $(sort -u "$record" | wc -l)"
: >"$work/umount-fails"
run "$emulation" undo
rc=$?
check "failed umount: non-zero exit, the lines before it put back, its line kept" \
    "1|mount boot=first-boot $binfmt|" "$((rc != 0))|$(tr '\n' '|' <"$record")$(backports_files)"
rm "$work/umount-fails"
run "$emulation" undo
check "failed umount, undo again: all as before" "$before" "$(snapshot)"

# A full /var: the write of a line fails, in setup (after a reboot, which
# ended the mount and the handler) and in undo; the record stays whole.
refusing_machine 0
run_deps
whole=$(<"$record")
echo second-boot >"$work/root/proc/sys/kernel/random/boot_id"
rm "$binfmt"/*
: >"$work/disk-full"
run_deps
rc=$?
run "$emulation" undo
check "full disk: setup and undo fail, the record whole" "1|1|$whole" "$((rc != 0))|$(($? != 0))|$(<"$record")"

# setup run again with the handler, the source and qemu gone (removed by
# hand), offline: the source it adds once more is removed again, and its line
# stays, as do the others (the record had them all before).
refusing_machine 0
run_deps
whole=$(<"$record")
rm "$binfmt/qemu-i386" "$sources/bookworm-backports.sources"
sed -i '/^qemu-user-static/d' "$work/installed" "$work/versions"
: >"$work/offline"
run_deps
check "offline, set up before: the source removed again, the record as it was" "|$whole" \
    "$(backports_files)|$(<"$record")"

# dpkg stopped inside the install of qemu 10 over Debian's own qemu, then
# setup run again: qemu 7.2 recorded once, and undo puts it back.
refusing_machine 0
echo qemu-user-static:amd64 >>"$work/installed"
echo "qemu-user-static 1:7.2+dfsg-7+deb12u18" >>"$work/versions"
before=$(snapshot)
: >"$work/dpkg-stops"
run_deps
rm "$work/dpkg-stops"
run_deps
rc=$?
check "dpkg stopped, run again: done, the user's qemu recorded once" "0|package qemu-user-static 1:7.2+dfsg-7+deb12u18" \
    "$rc|$(grep '^package ' "$record" | paste -sd '|')"
run "$emulation" undo
check "dpkg stopped, undo: all as before" "$before" "$(snapshot)"

# A handler of someone else's that does not run the loader, and neither ours
# nor it can be registered: its saved line stays, and undo puts it back.
refusing_machine 0
debian_qemu
before=$(snapshot)
printf '%s\n' /usr/bin/qemu-i386-static /usr/libexec/qemu-binfmt/i386-binfmt-P >"$work/register-fails"
run_deps
rc=$?
check "foreign handler not put back: non-zero exit, its line kept" "1|1" \
    "$((rc != 0))|$(grep -c '^binfmt-saved boot=first-boot enabled :qemu-i386:M:' "$record")"
rm "$work/register-fails"
run "$emulation" undo
check "foreign handler not put back, undo: all as before" "$before" "$(snapshot)"

# After a reboot (the handler and the mount gone, binfmt_misc mounted since by
# someone else), with a package that has come to need qemu: undo leaves that
# mount alone, and qemu with its line, saying why; the source goes.
refusing_machine 0
run_deps
echo second-boot >"$work/root/proc/sys/kernel/random/boot_id"
rm "$binfmt"/*
: >"$binfmt/register"
echo "Remv qemu-helper [1.0]" >"$work/dependents"
check "after a reboot: status shows what it ended" 2 "$(run "$emulation" status | grep -c 'ended with a reboot')"
: >"$work/calls"
run "$emulation" undo
rc=$?
check "after a reboot, qemu needed: non-zero exit, no umount, qemu and its line kept, says why, the source gone" \
    "1||1|package qemu-user-static none|1|" \
    "$((rc != 0))|$(calls_of umount)|$(grep -c '^qemu-user-static:' "$work/installed")|$(<"$record")|$(grep -c 'would also remove or downgrade: qemu-helper' "$work/err")|$(backports_files)"

# A machine set up by the previous deps.sh, which kept no record: its marked
# source, qemu 10 from backports and the handler. status names them, undo
# takes them back.
refusing_machine 0
: >"$binfmt/register"
before=$(snapshot)
printf "# Added by Tiermo's scripts/deps.sh for qemu-user-static.\nTypes: deb\nURIs: http://mirror.invalid/debian\nSuites: bookworm-backports\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n" \
    >"$sources/bookworm-backports.sources"
echo qemu-user-static:amd64 >>"$work/installed"
echo "qemu-user-static 1:10.0.2+ds-2~bpo12+1" >>"$work/versions"
printf ':qemu-i386:M::\\x7fELF:\\xff\\xff\\xff\\xff:/usr/bin/qemu-i386-static:F' | PATH=$path tee "$binfmt/register" >/dev/null
check "previous deps.sh: status names it" 2 "$(run "$emulation" status | grep -c 'previous scripts/deps.sh')"
run "$emulation" undo
rc=$?
check "previous deps.sh, undo: all as before" "0|$before" "$rc|$(snapshot)"

# Bad record lines (empty, unknown, a package without a version) after a good
# one: the good one is put back, the bad ones kept, each with what to do.
refusing_machine 0
: >"$sources/bookworm-backports.sources"
mkdir -p "${record%/*}"
printf 'source %s\n\nswap /swapfile\npackage qemu-user-static\n' "$sources/bookworm-backports.sources" >"$record"
run "$emulation" undo
rc=$?
check "bad record lines: non-zero exit, the line before put back, they stay with what to do, no install" \
    "1||swap /swapfile|package qemu-user-static||2|" \
    "$((rc != 0))|$(backports_files)|$(tr '\n' '|' <"$record")|$(grep -c "and remove the line from $record" "$work/err")|$(calls_of "apt-get -q install")"

# Not Debian 12: says what is supported, changes nothing.
refusing_machine 0
printf 'PRETTY_NAME="Ubuntu 22.04.4 LTS"\nID=ubuntu\nVERSION_CODENAME=jammy\n' >"$work/root/etc/os-release"
before=$(snapshot)
run_deps
rc=$?
check "Ubuntu: non-zero exit, says what is supported, nothing done" "1|1|$before" \
    "$((rc != 0))|$(grep -c 'supports Debian 12 (bookworm) only, and this is Ubuntu 22.04.4 LTS' "$work/err")|$(snapshot)"

# A Wine prefix is made anew only where the directory is the rig's own (the
# stamp, empty, or inside the Tiermo build tree that made it); a user's folder,
# also through a link in a build tree, is refused by name and left whole.
remade() { # prefix: "removed" (made anew: only the new stamp in it, as Wine itself fails at once) or "kept"
    (source "$lib/wine_session.sh" && WINEPREFIX=$1 RIG_WINE=false rig_create_prefix) 2>"$work/err"
    if [[ $(ls -A "$1") == .tiermo-ready ]]; then echo removed; else echo kept; fi
}
home=$work/home/u
mkdir -p "$home/docs" "$work/tree/wineprefix/drive_c" "$work/stamped/drive_c" "$work/empty"
echo thesis >"$home/docs/thesis.odt"
echo "CMAKE_PROJECT_NAME:STATIC=Tiermo" >"$work/tree/CMakeCache.txt"
echo 4 >"$work/stamped/.tiermo-ready"
ln -s "$home" "$work/tree/linked"
check "prefixes: a user's folder refused by name and whole; in a build tree, stamped or empty, remade; a link out refused" \
    "kept|1|thesis|removed|removed|removed|kept" \
    "$(remade "$home")|$(grep -c "refusing to remove '$home'" "$work/err")|$(<"$home/docs/thesis.odt")|$(remade "$work/tree/wineprefix")|$(remade "$work/stamped")|$(remade "$work/empty")|$(remade "$work/tree/linked")"

# A creation of a prefix, or a copy of one for a slot, that stopped part-way
# (wineboot or cp ended early, as on Ctrl-C), outside a build tree: the next
# run makes it anew.
mkdir -p "$work/stops"
printf '#!%s\nmkdir -p "$WINEPREFIX/drive_c"; exit 1\n' "$bash" >"$work/stops/wineboot"
# cp: into the directory after -t, else the last argument.
printf '#!%s\nd=${*: -1}\nwhile [[ $# -gt 0 ]]; do [[ $1 == -t ]] && d=$2; shift; done\nmkdir -p "$d/drive_c"; exit 1\n' \
    "$bash" >"$work/stops/cp"
chmod +x "$work/stops/wineboot" "$work/stops/cp"
stopped() { # create|copy prefix
    (
        source "$lib/wine_session.sh"
        export WINEPREFIX=$2
        if [[ $1 == create ]]; then
            RIG_WINE=$work/stops/wineboot rig_create_prefix
        else
            PATH=$work/stops:$PATH rig_copy_prefix "$work/stamped"
        fi
    ) 2>"$work/err"
}
made_again() { # create|copy prefix: "remade", or "refused"
    stopped "$@"
    stopped "$@"
    if grep -q refusing "$work/err"; then echo refused; else echo remade; fi
}
check "prefixes: a creation and a copy stopped part-way are made anew" "remade|remade" \
    "$(made_again create "$work/out/run-prefix")|$(made_again copy "$work/out/wineprefix-1")"

# The path removed is the one checked: not a sibling whose name lacks the
# newline at the end, nor a directory that CDPATH finds first.
mkdir -p "$work/nl/a" "$work/nl/a"$'\n' "$work/tree/w" "$work/cwd/w"
echo 4 >"$work/nl/a/.tiermo-ready"
echo thesis >"$work/nl/a"$'\n'/thesis.odt
echo thesis >"$work/cwd/w/thesis.odt"
(source "$lib/wine_session.sh" && tiermo_remove_own "" "$work/nl/a"$'\n') 2>/dev/null
newline=$?
(cd "$work/cwd" && export CDPATH=$work/tree && source "$lib/wine_session.sh" &&
    tiermo_remove_own "$work/tree" w) >/dev/null 2>&1
check "removal: a name that ends in a newline, CDPATH: refused, the user's folder kept" "1|1|thesis|thesis" \
    "$newline|$?|$(cat "$work/nl/a"$'\n'/thesis.odt 2>&1)|$(cat "$work/cwd/w/thesis.odt" 2>&1)"

# A clean-up hook that refuses to remove a folder: said, and the session
# still ended (a stand-in for its Xvfb stopped); a run that passed fails.
(
    source "$lib/wine_session.sh"
    sleep 600 &
    RIG_XVFB_PID=$!
    echo "$RIG_XVFB_PID" >"$work/xvfb.pid"
    rig_end_on_exit tiermo_remove_own "" "$home"
    exit 0
) 2>"$work/err"
rc=$?
pid=$(<"$work/xvfb.pid")
left=no
kill -0 "$pid" 2>/dev/null && left=yes && kill "$pid"
check "a refusal in the clean-up hook: said, the folder kept, the session ended, exit code 1" "1|thesis|no|1" \
    "$(grep -c "refusing to remove '$home'" "$work/err")|$(<"$home/docs/thesis.odt")|$left|$rc"

# Tests at once: two per core, never more than a tree's slots (each test
# takes one); a number beyond them refused.
mkdir -p "$work/cores"
printf '#!%s\ncat %q\n' "$bash" "$work/cores.n" >"$work/cores/nproc"
chmod +x "$work/cores/nproc"
test_jobs() { # cores [TIERMO_TEST_JOBS]
    echo "$1" >"$work/cores.n"
    (source "$lib/wine_session.sh" && PATH=$work/cores:$PATH TIERMO_TEST_JOBS=${2:-} rig_test_jobs) 2>/dev/null ||
        echo refused
}
check "tests at once: two per core, at most the slots, more refused" "4|32|refused" \
    "$(test_jobs 2)|$(test_jobs 17)|$(test_jobs 2 33)"

checks_done "set-up"
