# shellcheck shell=bash
# Stand-ins for the set-up tests (tests/setup/*_test.sh), which run
# scripts/deps.sh and scripts/emulation.sh and touch nothing on the system:
# stand-ins for dpkg-query, dpkg, apt-get, id, mount, umount and tee come
# first on PATH, and record how they were called; after them only the usual
# tools, so there is no sudo unless a check adds the stand-in for it (which
# drops the environment, as sudo does). The system's files are a tree of the
# test's own (DEPS_ROOT), with a stand-in 32-bit Wine loader that runs where
# the kernel is "native" or under an enabled i386 handler whose interpreter
# runs it. Source it; it also sources the checks (tests/support/checks.sh)
# and scripts/lib/constants.sh.
# shellcheck disable=SC2016 # the stand-ins' text expands when they run
# shellcheck disable=SC2034 # for the tests that source this
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
deps=$root/scripts/deps.sh
emulation=$root/scripts/emulation.sh
bash=$(command -v bash)
dpkg=$(command -v dpkg)
work=$(mktemp -d) || exit 1
trap 'rm -rf "$work"' EXIT
# shellcheck source=../support/checks.sh
source "$root/tests/support/checks.sh"
# shellcheck source=../../scripts/lib/constants.sh
source "$root/scripts/lib/constants.sh"

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
    local n=0 r=$W/root'"$tiermo_emulation_record"'
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
record=$work/root$tiermo_emulation_record
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
# Runs a script of the set-up against the stand-ins; its exit code is left in rc.
run() {
    DEPS_ROOT=$work/root PATH=$path "$bash" "$@" 2>"$work/err"
    rc=$?
    return $rc
}
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

# All packages (`all`), learnt from a root run of deps.sh on an empty system.
learn_packages() {
    reset_state 0
    run_deps
    all=$(calls_of "apt-get -q install")
    all=${all#apt-get -q install -y --no-install-recommends }
    all=${all%;}
}
