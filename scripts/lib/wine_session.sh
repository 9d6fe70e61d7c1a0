# shellcheck shell=bash
# Wine sessions for the test wrapper, the desktop test, the rig's self-test and,
# through scripts/lib/build.sh, the run, benchmark and picture scripts: a
# private Xvfb (xvfb.sh), a private Wine prefix that runs everything in one
# virtual desktop (wine_prefix.sh), a slot of its own for each test run side
# by side (wine_slots.sh), and the clean-up of all. Source it; it sets the
# RIG_* constants and defines the rig_* functions of those files and its own,
# and sources constants.sh and remove.sh (tiermo_remove_own).

here_rig=$(dirname "${BASH_SOURCE[0]}")
# shellcheck source=constants.sh
source "$here_rig/constants.sh"

RIG_DESKTOP_NAME=Tiermo
RIG_DESKTOP_SIZE=1024x768
RIG_WINE32_LOADER=${RIG_WINE32_LOADER:-$tiermo_wine32_loader}
RIG_WINE64_LOADER=${RIG_WINE64_LOADER:-$tiermo_wine64_loader}

rig_log() { echo "rig: $*" >&2; }

# Common Wine environment: quiet, no Mono/Gecko prompts, no menu entries.
# Debian's `wine` command starts the 32-bit loader whenever wine32 is
# installed, also where the kernel cannot run it; everything here goes through
# the 64-bit loader (rig_wine), which hands 32-bit programs to the 32-bit one
# by itself (WINELOADER without its "64").
rig_wine_env() {
    export WINEPREFIX="$1"
    export WINEDEBUG=-all
    export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
    export WINEARCH=win64
    if [[ -x $RIG_WINE64_LOADER ]]; then
        export WINELOADER=$RIG_WINE64_LOADER
        RIG_WINE=$RIG_WINE64_LOADER
    else
        RIG_WINE=$(command -v wine64 || command -v wine || echo wine)
    fi
}

rig_wine() { "$RIG_WINE" "$@"; }

# Wine's own error lines that say it could not set up a session, as Wine
# writes them (thread ID, class, channel, function): no display driver for the
# process (winediag:nodrv_CreateWindow), or no desktop window because
# explorer.exe, which makes it, did not start (win:get_desktop_window, "failed
# to start explorer" or "failed to create desktop window").
RIG_SESSION_SETUP_ERRORS='^([0-9a-f]{4,8}:)+err:(winediag:nodrv_CreateWindow|win:get_desktop_window) '
# Wine sets up a process's session before the program's own code runs; it
# waits at most 10 s for explorer.exe. A run that ends later did not end in
# the set-up.
RIG_SESSION_SETUP_SECONDS=15

# Prints the first of Wine's set-up errors in the file $1, without the thread
# ID, or fails when there is none.
rig_broken_session() {
    local line
    line=$(tr -d '\r' <"$1" 2>/dev/null | grep -m 1 -E "$RIG_SESSION_SETUP_ERRORS") || return 1
    echo "${line#"${line%%err:*}"}"
}

# The one reason to run a program once more, in a new session: its run failed
# (exit code $1, neither 0 nor the time limit's 124) within Wine's set-up time
# (ended $2 s after it started), and Wine itself wrote that it could not set
# up the session (file $3 holds Wine's errors). Prints that error when the
# run is to be run again; any other failure stands.
rig_run_again() {
    (($1 != 0 && $1 != 124 && $2 <= RIG_SESSION_SETUP_SECONDS)) && rig_broken_session "$3"
}

# Adds line $1 to the log of second runs that scripts/test.sh lists
# (TIERMO_SECOND_RUN_LOG), when there is one.
rig_log_second_run() { [[ -z ${TIERMO_SECOND_RUN_LOG:-} ]] || echo "$1" >>"$TIERMO_SECOND_RUN_LOG"; }

# Why 32-bit Windows programs cannot run here, or nothing when they can: 32-bit
# Wine must be installed and its loader, a small 32-bit program, must run,
# natively or under the emulation that scripts/deps.sh sets up where the
# kernel refuses them.
rig_wine32_unavailable() {
    if [[ ! -x $RIG_WINE32_LOADER ]]; then
        echo "32-bit Wine is not installed (wine32:i386; scripts/deps.sh installs it)"
        return
    fi
    local out
    if ! out=$("$RIG_WINE32_LOADER" --version 2>&1); then
        echo "this machine cannot run 32-bit programs ($RIG_WINE32_LOADER: ${out##*: }; scripts/deps.sh sets up their emulation)"
    fi
}

# Whether 32-bit programs run under the binfmt_misc handler of qemu's
# emulation that scripts/emulation.sh sets up.
rig_wine32_emulated() { grep -qsx enabled "$tiermo_binfmt_dir/$tiermo_binfmt_handler"; }

# Ends the calling test as skipped (tiermo_skip_code, with the reason) when
# programs of architecture $1 cannot run here.
rig_skip_unless_runs() {
    local why=""
    [[ $1 == i686 ]] && why=$(rig_wine32_unavailable)
    [[ -z $why ]] && return 0
    echo "SKIPPED ($1): $why"
    exit "$tiermo_skip_code"
}

# Starts a session in the prefix $WINEPREFIX (rig_new_session), with the
# prefix made when needed; it ends on exit (rig_end_on_exit "$@").
rig_start_session() {
    rig_end_on_exit "$@"
    rig_new_session && rig_ensure_prefix
}

# On exit, signals included, runs the command "$@" first, then ends the
# session: the prefix's Wine processes, and the Xvfb if one was started. When
# the command fails (a folder it would not remove), the session is still
# ended, and a run that would have passed fails with the command's status.
rig_end_on_exit() {
    RIG_EXIT_HOOK=("$@")
    trap rig_end_session EXIT
    trap 'exit 130' INT
    trap 'exit 143' TERM
}

# A new session in the prefix $WINEPREFIX: its server stopped (a test killed
# from outside may have left it behind), and a private Xvfb, the one started
# before ended, whose PID is recorded beside the prefix.
rig_new_session() {
    rig_stop_wineserver
    rig_stop_xvfb
    rig_start_xvfb "$(rig_xvfb_record "$WINEPREFIX")"
}

rig_end_session() {
    local status=$? hook=0
    trap - EXIT INT TERM
    if [[ ${#RIG_EXIT_HOOK[@]} -gt 0 ]]; then "${RIG_EXIT_HOOK[@]}" || hook=$?; fi
    rig_stop_wineserver
    rig_stop_xvfb
    [[ $status -ne 0 || $hook -eq 0 ]] || exit "$hook"
}

# Kills every Wine process of the prefix in $WINEPREFIX and waits for its server.
rig_stop_wineserver() {
    [[ -n ${WINEPREFIX:-} && -d $WINEPREFIX ]] || return 0
    timeout 10 wineserver -k >/dev/null 2>&1 || true
    timeout 10 wineserver -w >/dev/null 2>&1 || true
}

# shellcheck source=xvfb.sh
source "$here_rig/xvfb.sh"
# shellcheck source=wine_prefix.sh
source "$here_rig/wine_prefix.sh"
# shellcheck source=wine_slots.sh
source "$here_rig/wine_slots.sh"
