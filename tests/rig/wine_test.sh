#!/usr/bin/env bash
# Runs one Windows test program under Wine: its own Xvfb, a free slot of the
# build tree's private prefix DIR (rig_take_slot: the prefix made on first use,
# then copied for each slot) in a 1024x768 virtual desktop, a registry
# reset to the pristine one, and the program's exit code passed through. A
# program whose first run failed early, with Wine's own error that it could not
# set up the session (see rig_run_again), runs once more in a new one;
# with TIERMO_SECOND_RUN_LOG set, a line for it is added to that file (named
# by TIERMO_TEST_NAME, which tests/CMakeLists.txt sets for every test).
#
#   wine_test.sh --prefix DIR [--arch x86_64|i686] [--timeout SECONDS] [--] PROGRAM [ARGS...]
#   wine_test.sh --prefix DIR [--arch ...] --prepare
#
# With --arch i686, on a machine that cannot run 32-bit programs the wrapper
# prints why and exits with tiermo_skip_code, which CTest counts as skipped.
#
# Everything started here is ended on exit: the Xvfb by PID, the prefix's
# Wine processes with `wineserver -k`.
set -uo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=../../scripts/lib/wine_session.sh
source "$here/../../scripts/lib/wine_session.sh"

# The program's time limit in seconds without --timeout (tests/CMakeLists.txt
# reads this line for the tests' default).
RIG_DEFAULT_TIMEOUT=52
prefix=""
timeout_s=$RIG_DEFAULT_TIMEOUT
prepare_only=0
arch=${tiermo_arches[0]}
while [[ $# -gt 0 ]]; do
    case $1 in
    --prefix) prefix=$2; shift 2 ;;
    --timeout) timeout_s=$2; shift 2 ;;
    --arch) arch=$2; shift 2 ;;
    --prepare) prepare_only=1; shift ;;
    --) shift; break ;;
    -*) rig_log "unknown option $1"; exit 2 ;;
    *) break ;;
    esac
done
if [[ -z $prefix ]]; then
    rig_log "usage: wine_test.sh --prefix DIR [--timeout S] [--] PROGRAM [ARGS...]"
    exit 2
fi
if [[ $prepare_only -eq 0 && $# -eq 0 ]]; then
    rig_log "no program to run"
    exit 2
fi
if ! [[ $timeout_s =~ ^[0-9]+$ ]] || [[ $timeout_s -eq 0 ]]; then
    rig_log "bad timeout '$timeout_s'"
    exit 2
fi

rig_skip_unless_runs "$arch"
# A prefix of its own, so that tests run side by side.
rig_take_slot "$prefix" || exit 1
rig_wine_env "$RIG_SLOT_PREFIX"
# Wine's own errors too, to tell why a session failed.
export WINEDEBUG=-all,err+all
child=""
wine_err=""
# Wine's messages, and the program's own on stderr, go to a file first so that
# a session Wine could not set up can be told from a failing program; they are
# shown once the program has ended, also when the test is stopped from outside.
show_wine_err() {
    [[ -n $wine_err && -f $wine_err ]] || return 0
    cat "$wine_err" >&2
    rm -f "$wine_err"
}
stop_child() {
    [[ -z $child ]] || kill "$child" 2>/dev/null
    show_wine_err
}
rig_start_session stop_child || exit 1
[[ $prepare_only -eq 1 ]] && exit 0
rig_restore_registry

program=("$@")
start=$SECONDS
run_program() { # seconds
    wine_err=$(mktemp "${TMPDIR:-/tmp}/rig-wine-err.XXXXXX")
    run_start=$SECONDS
    timeout -k 5 "$1" "$RIG_WINE" "${program[@]}" 2>"$wine_err" &
    child=$!
    wait "$child"
    rc=$?
    child=""
}
run_program "$timeout_s"
took=$((SECONDS - run_start))
# Seen once in a full run: a unit test's first CreateWindowEx failed 53 ms in,
# as it does (in 36 ms, "failed to start explorer", "nodrv_CreateWindow") when
# explorer.exe, which makes the desktop window, does not start. The program
# runs once more, in a new session and from the same registry, only as
# rig_run_again says; any other failure stands.
if why=$(rig_run_again "$rc" "$took" "$wine_err"); then
    show_wine_err
    name=${TIERMO_TEST_NAME:-$(basename "${program[0]}")}
    rig_log "Wine could not set up the session ($why), $took s into the run;" \
        "running $name once more in a new one"
    rig_new_session || exit 1
    rig_restore_registry
    # The time left, counted now that the new session is ready.
    left=$((timeout_s - (SECONDS - start)))
    if [[ $left -ge 5 ]]; then
        first_rc=$rc
        timeout_s=$left
        run_program "$timeout_s"
        outcome="passed on its second run"
        [[ $rc -eq 0 ]] || outcome="failed again (exit code $rc)"
        rig_log "$name $outcome (first run: exit code $first_rc)"
    else
        outcome="not run again: $left s left"
        rig_log "$name $outcome"
    fi
    rig_log_second_run "$name: $outcome; first run: $why"
fi
show_wine_err
if [[ $rc -eq 124 ]]; then
    rig_log "$(basename "${program[0]}") timed out after $timeout_s s"
fi
exit $rc
