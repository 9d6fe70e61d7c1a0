#!/usr/bin/env bash
# Checks of scripts/deps.sh that touch nothing on the system: stand-ins for
# dpkg-query, dpkg, apt-get, id, mount and tee come first on PATH, and record
# how they were called; after them only the usual text tools, so there is no
# sudo. The system's files are a tree of the test's own (DEPS_ROOT), with a
# stand-in 32-bit Wine loader that runs where the kernel is "native" or where
# qemu is the enabled i386 handler.
#   deps_test.sh DEPS_SH
set -uo pipefail
deps=$1
bash=$(command -v bash)
dpkg=$(command -v dpkg)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# shellcheck source=checks.sh
source "$(dirname "${BASH_SOURCE[0]}")/checks.sh"

# The stand-ins. State: $work/installed (one "name:arch" a line),
# $work/versions ("name version"), $work/foreign (foreign architectures),
# $work/calls (one call a line), $work/uid, $work/kernel ("native" or
# "refuses"), and $work/apt-fails (when present, apt-get fails with its text).
mkdir -p "$work/bin"
stub() { printf '#!%s\n%s\n' "$bash" "$2" >"$1" && chmod +x "$1"; }
stub "$work/bin/dpkg-query" '
if [[ $2 == *Version* ]]; then sed -n "s/^$3 //p" "$W/versions" | grep .; exit; fi
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
echo "dpkg $*" >>"$W/calls"
case $1 in
--print-architecture) echo amd64 ;;
--print-foreign-architectures) cat "$W/foreign" ;;
--add-architecture) echo "$2" >>"$W/foreign" ;;
esac'
stub "$work/bin/apt-get" '
echo "apt-get $*" >>"$W/calls"
if [[ -f $W/apt-fails ]]; then cat "$W/apt-fails" >&2; exit 100; fi
if [[ $1 == install ]]; then
    for p in "$@"; do
        [[ $p == -* || $p == install || $p == *-backports ]] && continue
        [[ $p == *:* ]] && echo "$p" >>"$W/installed" || echo "$p:amd64" >>"$W/installed"
        [[ " $* " == *" -t "* ]] && echo "$p 1:10.0.2+ds-2~bpo12+1" >>"$W/versions"
    done
fi
exit 0'
stub "$work/bin/id" 'cat "$W/uid"'
stub "$work/bin/mount" 'echo "mount $*" >>"$W/calls"; : >"$4/register"'
# The kernel's side of binfmt_misc: a rule written to "register" makes an
# enabled entry; -1 written to an entry removes it.
stub "$work/bin/tee" '
text=$(cat)
case $1 in
*/binfmt_misc/register)
    IFS=: read -r _ name _ _ _ _ interpreter _ <<<"$text"
    echo "register $name $interpreter" >>"$W/calls"
    printf "enabled\ninterpreter %s\nflags: F\n" "$interpreter" >"${1%/register}/$name" ;;
*/binfmt_misc/*) echo "binfmt $(basename "$1") $text" >>"$W/calls"; [[ $text == -1 ]] && rm "$1" ;;
*) printf "%s" "$text" >"$1" ;;
esac'
binfmt=$work/root/proc/sys/fs/binfmt_misc
mkdir -p "$work/root/etc/apt/sources.list.d" "$binfmt" "$work/root/usr/lib/wine"
stub "$work/root/usr/lib/wine/wine" '
[[ $(<"$W/kernel") == native ]] && exit 0
entry=$W/root/proc/sys/fs/binfmt_misc/qemu-i386
grep -qx enabled "$entry" 2>/dev/null && grep -qx "interpreter /usr/bin/qemu-i386-static" "$entry" && exit 0
echo "$0: cannot execute binary file: Exec format error" >&2
exit 126'
mkdir -p "$work/tools"
for tool in cat sed tr grep head tail cut sort wc env awk basename rm; do
    ln -s "$(command -v $tool)" "$work/tools/$tool"
done

reset_state() { # uid [kernel]
    : >"$work/installed"
    : >"$work/versions"
    : >"$work/foreign"
    : >"$work/calls"
    echo "$1" >"$work/uid"
    echo "${2:-native}" >"$work/kernel"
    rm -f "$work/apt-fails" "$binfmt"/* "$work/root/etc/apt/sources.list" "$work/root/etc/apt/sources.list.d"/*
    printf 'Types: deb\nURIs: http://mirror.invalid/debian\nSuites: bookworm bookworm-updates\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' \
        >"$work/root/etc/apt/sources.list.d/debian.sources"
}
run_deps() { W=$work DEPS_ROOT=$work/root PATH=$work/bin:$work/tools "$bash" "$deps" 2>"$work/err"; }
install_all() { for p in $all; do [[ $p == *:* ]] && echo "$p" || echo "$p:amd64"; done >>"$work/installed"; }
calls_of() { local line out=""; while IFS= read -r line; do [[ $line == "$1"* ]] && out+="$line;"; done <"$work/calls"; echo "$out"; }

# All packages, learnt from a root run on an empty system.
reset_state 0
run_deps
all=$(calls_of "apt-get install")
all=${all#apt-get install -y -q --no-install-recommends }
all=${all%;}
check "an empty system gets i386 added, one update, one install" \
    "dpkg --add-architecture i386;|apt-get update -q;|1" \
    "$(calls_of "dpkg --add")|$(calls_of "apt-get update")|$([[ $all == *wine32:i386* && $all == *cmake* ]] && echo 1)"

# One package missing: one update, then an install of exactly that package.
reset_state 0
install_all
sed -i '/^zip:/d' "$work/installed"
echo i386 >"$work/foreign"
run_deps
rc=$?
check "one missing package: exit code" 0 $rc
check "one missing package: apt-get calls" \
    "apt-get update -q;apt-get install -y -q --no-install-recommends zip;" "$(calls_of apt-get)"
check "one missing package: no architecture added" "" "$(calls_of "dpkg --add")"
check "one missing package: says what it installs" 1 "$(grep -c 'installing zip' "$work/err")"

# Nothing missing: no apt-get, no output, exit 0.
: >"$work/calls"
run_deps
rc=$?
check "nothing missing: exit code" 0 $rc
check "nothing missing: no apt-get call" "" "$(calls_of apt-get)"
check "nothing missing: silent" "" "$(<"$work/err")"
check "native kernel: no backports, no qemu, no handler" "|" \
    "$(ls "$work/root/etc/apt/sources.list.d" | grep backports)|$(calls_of mount)$(calls_of register)"

# A kernel that refuses 32-bit programs: the backports source beside the
# machine's own, qemu from it and the i386 handler, each once.
reset_state 0 refuses
install_all
echo i386 >"$work/foreign"
run_deps
rc=$?
check "refusing kernel: exit code" 0 $rc
check "refusing kernel: says why" 1 "$(grep -c 'this kernel cannot run 32-bit programs' "$work/err")"
check "refusing kernel: qemu from backports" \
    "apt-get update -q;apt-get install -y -q --no-install-recommends -t bookworm-backports qemu-user-static;" \
    "$(calls_of apt-get)"
check "refusing kernel: the source" \
    "URIs: http://mirror.invalid/debian|Suites: bookworm-backports|Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg|" \
    "$(grep -E '^(URIs|Suites|Signed-By):' "$work/root/etc/apt/sources.list.d/bookworm-backports.sources" | tr '\n' '|')"
check "refusing kernel: binfmt_misc mounted, the handler registered" \
    "mount -t binfmt_misc binfmt_misc $binfmt;|register qemu-i386 /usr/bin/qemu-i386-static;" \
    "$(calls_of mount)|$(calls_of register)"

# Set up already: nothing at all.
: >"$work/calls"
run_deps
rc=$?
check "set up already: exit code, no calls, silent" "0||" "$rc|$(grep -v '^dpkg --print' "$work/calls")|$(<"$work/err")"

# Another interpreter for i386 and Debian 12's own qemu, backports already
# configured: no second source; qemu from backports, the handler replaced.
reset_state 0 refuses
install_all
echo i386 >"$work/foreign"
echo qemu-user-static:amd64 >>"$work/installed"
echo "qemu-user-static 1:7.2+dfsg-7+deb12u18" >>"$work/versions"
echo "deb http://mirror.invalid/debian bookworm-backports main" >"$work/root/etc/apt/sources.list"
: >"$binfmt/register"
printf 'enabled\ninterpreter /usr/libexec/qemu-binfmt/i386-binfmt-P\n' >"$binfmt/qemu-i386"
run_deps
rc=$?
check "another interpreter: exit code, no second source" "0|" \
    "$rc|$(ls "$work/root/etc/apt/sources.list.d" | grep backports)"
check "another interpreter: qemu from backports, the handler replaced" \
    "apt-get update -q;apt-get install -y -q --no-install-recommends -t bookworm-backports qemu-user-static;|binfmt qemu-i386 -1;register qemu-i386 /usr/bin/qemu-i386-static;" \
    "$(calls_of apt-get)|$(calls_of binfmt)$(calls_of register)"

# apt-get failing: non-zero exit, apt-get's own message and what failed.
reset_state 0
echo "E: Unable to locate package zip" >"$work/apt-fails"
run_deps
rc=$?
check "apt-get failing: non-zero exit" 1 $((rc != 0))
check "apt-get failing: its message is shown" 1 "$(grep -c 'E: Unable to locate package zip' "$work/err")"
check "apt-get failing: stops after the failed call" "apt-get update -q;" "$(calls_of apt-get)"

# Not root and no sudo: a clear message, nothing run.
reset_state 1000
run_deps
rc=$?
check "not root: non-zero exit" 1 $((rc != 0))
check "not root: says to run as root" 1 "$(grep -c 'not root and no sudo' "$work/err")"
check "not root: no apt-get call" "" "$(calls_of apt-get)"
reset_state 1000 refuses
install_all
run_deps
rc=$?
check "not root, refusing kernel: a clear message, nothing done" "1|1|" \
    "$((rc != 0))|$(grep -c 'not root and no sudo' "$work/err")|$(calls_of apt-get)$(calls_of mount)$(calls_of register)"

checks_done deps.sh
