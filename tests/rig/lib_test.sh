#!/usr/bin/env bash
# Checks of the rig's shell library that run natively: the removal rule
# (tiermo_remove_own) on the Wine prefixes it makes anew, the clean-up at a
# session's end, and the number of tests run at once.
# shellcheck disable=SC2016 # the stand-ins' text expands when they run
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
lib=$root/scripts/lib
bash=$(command -v bash)
work=$(mktemp -d) || exit 1
trap 'rm -rf "$work"' EXIT
# shellcheck source=../support/checks.sh
source "$root/tests/support/checks.sh"
# shellcheck source=../../scripts/lib/constants.sh
source "$lib/constants.sh"
mark=$tiermo_ready_mark

# A Wine prefix is made anew only where the directory is the rig's own (the
# stamp, empty, or inside the Tiermo build tree that made it); a user's folder,
# also through a link in a build tree, is refused by name and left whole.
remade() { # prefix: "removed" (made anew: only the new stamp in it, as Wine itself fails at once) or "kept"
    (source "$lib/wine_session.sh" && WINEPREFIX=$1 RIG_WINE=false rig_create_prefix) 2>"$work/err"
    if [[ $(ls -A "$1") == "$mark" ]]; then echo removed; else echo kept; fi
}
home=$work/home/u
mkdir -p "$home/docs" "$work/tree/wineprefix/drive_c" "$work/stamped/drive_c" "$work/empty"
echo thesis >"$home/docs/thesis.odt"
echo "CMAKE_PROJECT_NAME:STATIC=Tiermo" >"$work/tree/CMakeCache.txt"
echo 4 >"$work/stamped/$mark"
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
echo 4 >"$work/nl/a/$mark"
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

checks_done "rig library"
