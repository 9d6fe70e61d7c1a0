#!/usr/bin/env bash
# Checks of scripts/deps.sh that touch nothing on the system: stand-ins for
# dpkg-query, dpkg, apt-get and id come first on PATH, and record how they were
# called; after them only the usual text tools, so there is no sudo.
#   deps_test.sh DEPS_SH
set -uo pipefail
deps=$1
bash=$(command -v bash)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# shellcheck source=checks.sh
source "$(dirname "${BASH_SOURCE[0]}")/checks.sh"

# The stand-ins. State: $work/installed (one "name:arch" a line), $work/foreign
# (foreign architectures), $work/calls (one call a line), $work/uid, and
# $work/apt-fails (when present, apt-get fails with its text).
mkdir -p "$work/bin"
stub() { printf '#!%s\n%s\n' "$bash" "$2" >"$work/bin/$1" && chmod +x "$work/bin/$1"; }
stub dpkg-query '
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
stub dpkg '
echo "dpkg $*" >>"$W/calls"
case $1 in
--print-architecture) echo amd64 ;;
--print-foreign-architectures) cat "$W/foreign" ;;
--add-architecture) echo "$2" >>"$W/foreign" ;;
esac'
stub apt-get '
echo "apt-get $*" >>"$W/calls"
if [[ -f $W/apt-fails ]]; then cat "$W/apt-fails" >&2; exit 100; fi
if [[ $1 == install ]]; then
    for p in "$@"; do
        [[ $p == -* || $p == install ]] && continue
        [[ $p == *:* ]] && echo "$p" >>"$W/installed" || echo "$p:amd64" >>"$W/installed"
    done
fi'
stub id 'cat "$W/uid"'
mkdir -p "$work/tools"
for tool in cat sed tr grep head tail cut sort wc env; do
    ln -s "$(command -v $tool)" "$work/tools/$tool"
done

reset_state() { # uid
    : >"$work/installed"
    : >"$work/foreign"
    : >"$work/calls"
    echo "$1" >"$work/uid"
    rm -f "$work/apt-fails"
}
run_deps() { W=$work PATH=$work/bin:$work/tools "$bash" "$deps" 2>"$work/err"; }
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
for p in $all; do [[ $p == zip ]] || { [[ $p == *:* ]] && echo "$p" || echo "$p:amd64"; } >>"$work/installed"; done
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

checks_done deps.sh
