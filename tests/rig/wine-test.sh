#!/usr/bin/env bash
# Runs one Windows test program under Wine: its own Xvfb, the build tree's
# private prefix (made on first use) in a 1024x768 virtual desktop, a registry
# reset to the pristine one, and the program's exit code passed through. A
# program that failed because Wine could not set up its session (see
# rig_broken_session) runs once more in a new one.
#
#   wine-test.sh --prefix DIR [--arch x86_64|i686] [--timeout SECONDS] [--keep-registry]
#                [--] PROGRAM [ARGS...]
#   wine-test.sh --prefix DIR [--arch ...] --prepare
#
# With --arch i686, on a machine that cannot run 32-bit programs the wrapper
# prints why and exits with RIG_SKIP_CODE, which CTest counts as skipped.
#
# Everything started here is ended on exit: the Xvfb by PID, the prefix's
# Wine processes with `wineserver -k`.
set -uo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=winelib.sh
source "$here/winelib.sh"

# The program's time limit in seconds without --timeout (tests/CMakeLists.txt
# reads this line for the tests' default).
RIG_DEFAULT_TIMEOUT=52
prefix=""
timeout_s=${TIERMO_TEST_TIMEOUT:-$RIG_DEFAULT_TIMEOUT}
prepare_only=0
restore=1
arch=x86_64
while [[ $# -gt 0 ]]; do
    case $1 in
    --prefix) prefix=$2; shift 2 ;;
    --timeout) timeout_s=$2; shift 2 ;;
    --arch) arch=$2; shift 2 ;;
    --prepare) prepare_only=1; shift ;;
    --keep-registry) restore=0; shift ;;
    --) shift; break ;;
    -*) rig_log "unknown option $1"; exit 2 ;;
    *) break ;;
    esac
done
if [[ -z $prefix ]]; then
    rig_log "usage: wine-test.sh --prefix DIR [--timeout S] [--] PROGRAM [ARGS...]"
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

rig_wine_env "$prefix"
# Wine's own errors too, to tell why a session failed.
export WINEDEBUG=-all,err+all
rig_skip_unless_runs "$arch"
child=""
wine_err=""
# Wine's messages, and the program's own on stderr, go to a file first so that
# a session Wine could not set up can be told from a failing program; they are
# shown once the program has ended, also when the test is stopped from outside.
show_wine_err() { [[ -n $wine_err && -f $wine_err ]] && cat "$wine_err" >&2 && rm -f "$wine_err"; }
stop_child() {
    [[ -z $child ]] || kill "$child" 2>/dev/null
    show_wine_err
}
rig_start_session stop_child || exit 1
[[ $prepare_only -eq 1 ]] && exit 0
[[ $restore -eq 1 ]] && rig_restore_registry

program=("$@")
start=$SECONDS
run_program() { # seconds
    wine_err=$(mktemp "${TMPDIR:-/tmp}/rig-wine-err.XXXXXX")
    timeout -k 5 "$1" "$RIG_WINE" "${program[@]}" 2>"$wine_err" &
    child=$!
    wait "$child"
    rc=$?
    child=""
}
run_program "$timeout_s"
# Seen once in a full run: a unit test's first CreateWindowEx failed 53 ms in,
# as it does (in 36 ms, "failed to start explorer", "nodrv_CreateWindow") when
# explorer.exe, which makes the desktop window, does not start. Only when Wine
# itself says that it could not set up the session does the program run once
# more, in a new session, from the same registry and in the time left.
left=$((timeout_s - (SECONDS - start)))
if [[ $rc -ne 0 && $rc -ne 124 && $restore -eq 1 && $left -ge 5 ]] &&
    why=$(rig_broken_session "$wine_err"); then
    show_wine_err
    rig_log "Wine could not set up the session ($why); running $(basename "${program[0]}") once more in a new one"
    rig_stop_wineserver
    rig_stop_xvfb
    rig_start_xvfb "$WINEPREFIX.xvfb" || exit 1
    rig_restore_registry
    timeout_s=$left
    run_program "$timeout_s"
fi
show_wine_err
if [[ $rc -eq 124 ]]; then
    rig_log "$(basename "${program[0]}") timed out after $timeout_s s"
fi
exit $rc
