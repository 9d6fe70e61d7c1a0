# shellcheck shell=bash
# Wine sessions for the test wrapper, the desktop test, the rig's self-test and,
# through scripts/lib/build.sh, the run, benchmark and picture scripts: a
# private Xvfb, a private Wine prefix that runs everything in one virtual
# desktop, and the clean-up of both. Source it; it sets the RIG_* constants
# below and defines the rig_* functions, and sources constants.sh and
# remove.sh beside it.

here_rig=$(dirname "${BASH_SOURCE[0]}")
# shellcheck source=constants.sh
source "$here_rig/constants.sh"
# shellcheck source=remove.sh
source "$here_rig/remove.sh"

RIG_DESKTOP_NAME=Tiermo
RIG_DESKTOP_SIZE=1024x768
RIG_XVFB_SCREEN=${RIG_DESKTOP_SIZE}x24
RIG_READY_MARK=.tiermo-ready
# Bumped whenever rig_create_prefix changes, so that older prefixes are remade.
# The stamp also records whether 32-bit programs ran when the prefix was made:
# a prefix made while they could not (no 32-bit Wine, or a kernel that
# refuses them before scripts/deps.sh set up their emulation) starts no
# 32-bit program once they can ("could not load kernel32.dll", or the process
# just ends), and the reverse.
RIG_PREFIX_VERSION=4
RIG_WINE32_LOADER=${RIG_WINE32_LOADER:-$tiermo_wine32_loader}
RIG_WINE64_LOADER=${RIG_WINE64_LOADER:-/usr/lib/wine/wine64}
# Exit code of a test that cannot run on this machine; CTest reports it as skipped.
RIG_SKIP_CODE=77
RIG_WINE_FONTS_DIR=/usr/share/wine/fonts
RIG_PRISTINE_DIR=.tiermo-pristine
RIG_REGISTRY_FILES=(system.reg user.reg userdef.reg)

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
# shellcheck disable=SC2034 # for tests/rig/wine_test.sh
RIG_SESSION_SETUP_SECONDS=15

# Prints the first of Wine's set-up errors in the file $1, without the thread
# ID, or fails when there is none.
rig_broken_session() {
    local line
    line=$(tr -d '\r' <"$1" 2>/dev/null | grep -m 1 -E "$RIG_SESSION_SETUP_ERRORS") || return 1
    echo "${line#"${line%%err:*}"}"
}

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

# Ends the calling test as skipped (RIG_SKIP_CODE, with the reason) when
# programs of architecture $1 cannot run here.
rig_skip_unless_runs() {
    local why=""
    [[ $1 == i686 ]] && why=$(rig_wine32_unavailable)
    [[ -z $why ]] && return 0
    echo "SKIPPED ($1): $why"
    exit "$RIG_SKIP_CODE"
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

# The directory where the PIDs of the Xvfb servers of prefix $1 are recorded.
rig_xvfb_record() { echo "$1.xvfb"; }

rig_end_session() {
    local status=$? hook=0
    trap - EXIT INT TERM
    if [[ ${#RIG_EXIT_HOOK[@]} -gt 0 ]]; then "${RIG_EXIT_HOOK[@]}" || hook=$?; fi
    rig_stop_wineserver
    rig_stop_xvfb
    [[ $status -ne 0 || $hook -eq 0 ]] || exit "$hook"
}

# The stamp a prefix made now gets (see RIG_PREFIX_VERSION), with the time of
# Wine's wine.inf, by which Wine tells that it must update a prefix (as it
# writes in .update-timestamp): a prefix of an older Wine is made anew.
RIG_WINE_INF=/usr/share/wine/wine.inf
rig_prefix_stamp() {
    local wine32=yes
    [[ -n $(rig_wine32_unavailable) ]] && wine32=no
    echo "$RIG_PREFIX_VERSION wine32-runs=$wine32 wine.inf=$(stat -c %Y "$RIG_WINE_INF" 2>/dev/null)"
}

# Kills every Wine process of the prefix in $WINEPREFIX and waits for its server.
rig_stop_wineserver() {
    [[ -n ${WINEPREFIX:-} && -d $WINEPREFIX ]] || return 0
    timeout 10 wineserver -k >/dev/null 2>&1 || true
    timeout 10 wineserver -w >/dev/null 2>&1 || true
}

# Starts Xvfb on a free display. Sets RIG_XVFB_PID and exports DISPLAY.
# $1: optional directory in which to record the PID (for outer clean-up).
rig_start_xvfb() {
    local piddir=${1:-}
    local fdfile
    fdfile=$(mktemp "${TMPDIR:-/tmp}/rig-xvfb.XXXXXX")
    Xvfb -displayfd 3 -screen 0 "$RIG_XVFB_SCREEN" -nolisten tcp -noreset \
        3>"$fdfile" >/dev/null 2>&1 &
    RIG_XVFB_PID=$!
    if [[ -n $piddir ]]; then
        mkdir -p "$piddir" && echo "$RIG_XVFB_PID" >"$piddir/$RIG_XVFB_PID"
        RIG_XVFB_PIDFILE="$piddir/$RIG_XVFB_PID"
    fi
    local i display=""
    for ((i = 0; i < 200; i++)); do
        if [[ $(wc -l <"$fdfile") -ge 1 ]]; then
            display=$(head -n1 "$fdfile")
            break
        fi
        kill -0 "$RIG_XVFB_PID" 2>/dev/null || break
        sleep 0.05
    done
    rm -f "$fdfile"
    if [[ -z $display ]]; then
        rig_log "Xvfb did not start"
        rig_stop_xvfb
        return 1
    fi
    export DISPLAY=":$display"
}

rig_stop_xvfb() {
    [[ -n ${RIG_XVFB_PID:-} ]] || return 0
    if kill -0 "$RIG_XVFB_PID" 2>/dev/null; then
        kill "$RIG_XVFB_PID" 2>/dev/null || true
        local i
        for ((i = 0; i < 50; i++)); do
            kill -0 "$RIG_XVFB_PID" 2>/dev/null || break
            sleep 0.1
        done
        kill -9 "$RIG_XVFB_PID" 2>/dev/null || true
    fi
    wait "$RIG_XVFB_PID" 2>/dev/null || true
    [[ -n ${RIG_XVFB_PIDFILE:-} ]] && rm -f "$RIG_XVFB_PIDFILE"
    RIG_XVFB_PID=""
}

# Kills the Xvfb servers whose PIDs were recorded in $1 by rig_start_xvfb.
rig_kill_recorded_xvfb() {
    local dir=$1 f pid
    [[ -d $dir ]] || return 0
    for f in "$dir"/*; do
        [[ -f $f ]] || continue
        pid=$(basename "$f")
        if [[ $pid =~ ^[0-9]+$ && $(cat "/proc/$pid/comm" 2>/dev/null) == Xvfb ]]; then
            kill "$pid" 2>/dev/null || true
        fi
        rm -f "$f"
    done
}

# Tests run side by side (ctest -j), each in a Wine prefix of its own, its
# "slot": slot N of the build tree's prefix BASE is the prefix BASE-N, made as
# a copy of BASE, which itself runs no test (so nothing changes in it while it
# is copied). A test holds the lock BASE-N.slot while it runs and takes the
# first slot that is free, so a tree has as many slots as tests ever ran in it
# at once; what the test starts (the wrapper, under the rig's self-test) stays
# in its slot. Sets and exports RIG_SLOT_BASE and RIG_SLOT_PREFIX, the slot's
# prefix.
RIG_MAX_SLOTS=32
rig_take_slot() {
    local base=$1 n prefix fd
    [[ ${RIG_SLOT_BASE:-} == "$base" && -n ${RIG_SLOT_PREFIX:-} ]] && return 0
    mkdir -p "$(dirname "$base")" || return 1
    for ((n = 1; n <= RIG_MAX_SLOTS; n++)); do
        prefix=$base-$n
        exec {fd}>"$prefix.slot" || return 1
        if flock -n "$fd"; then
            export RIG_SLOT_BASE=$base RIG_SLOT_PREFIX=$prefix
            return 0
        fi
        exec {fd}>&-
    done
    rig_log "all $RIG_MAX_SLOTS slots of $base are in use"
    return 1
}

# The number of tests to run at once (scripts/test.sh): TIERMO_TEST_JOBS, else
# two per core, never more than a tree's slots, as each test takes one (and
# all may be of one tree). Fails, saying why, on a number it cannot use.
rig_test_jobs() {
    local cores jobs=${TIERMO_TEST_JOBS:-}
    if [[ -z $jobs ]]; then
        cores=$(nproc) || return 1
        jobs=$((cores * 2 < RIG_MAX_SLOTS ? cores * 2 : RIG_MAX_SLOTS))
    fi
    if ! [[ $jobs =~ ^[1-9][0-9]{0,2}$ ]] || ((jobs > RIG_MAX_SLOTS)); then
        echo "TIERMO_TEST_JOBS must be a whole number from 1 to $RIG_MAX_SLOTS (the slots of a build tree), not '$jobs'" >&2
        return 1
    fi
    echo "$jobs"
}

# The prefixes of the slots of BASE that exist.
rig_slot_prefixes() {
    local p
    for p in "$1"-*; do
        [[ ${p#"$1"-} =~ ^[0-9]+$ && -d $p ]] && echo "$p"
    done
}

# Makes the prefix $WINEPREFIX ready once (under a lock): a slot's prefix as a
# copy of its base (made first when needed), any other as a new prefix
# (rig_create_prefix). Needs DISPLAY.
rig_ensure_prefix() {
    if [[ -n ${RIG_SLOT_BASE:-} && $WINEPREFIX == "${RIG_SLOT_PREFIX:-}" && $WINEPREFIX != "$RIG_SLOT_BASE" ]]; then
        WINEPREFIX=$RIG_SLOT_BASE rig_make_once rig_create_prefix &&
            rig_make_once rig_copy_prefix "$RIG_SLOT_BASE"
    else
        rig_make_once rig_create_prefix
    fi
}

# Runs "$@" to make the prefix $WINEPREFIX unless it bears the current stamp,
# under the prefix's lock.
rig_make_once() {
    local prefix=$WINEPREFIX lockfd
    mkdir -p "$(dirname "$prefix")"
    exec {lockfd}>"$prefix.lock"
    if ! flock -w 300 "$lockfd"; then
        rig_log "timed out waiting for the lock on $prefix"
        exec {lockfd}>&-
        return 1
    fi
    local rc=0
    if [[ $(cat "$prefix/$RIG_READY_MARK" 2>/dev/null) != "$(rig_prefix_stamp)" ]]; then
        "$@" || rc=$?
    fi
    exec {lockfd}>&-
    return $rc
}

# Makes $WINEPREFIX a copy of the ready prefix $1, stamp and pristine registry
# included: a copy of a prefix runs as the prefix does. Wine's own DLLs, 1.3
# of its 1.35 GB, are hard links to those of $1, as their copies cost as many
# seconds as there were tests under way (disk and CPU): Wine writes them only
# when it updates a prefix made by an older Wine, which the stamp rules out
# (see rig_prefix_stamp). Every other file, the registry among them, is the
# copy's own.
RIG_SHARED_DIRS=(drive_c/windows/system32 drive_c/windows/syswow64 drive_c/windows/winsxs)
rig_copy_prefix() {
    local prefix=$WINEPREFIX from=$1 start=$SECONDS new=$WINEPREFIX.new dir
    rig_log "copying Wine prefix $from to $prefix"
    tiermo_remove_own "$(tiermo_build_tree_of "$prefix")" "$prefix" "$new" || return 1
    local own=()
    for dir in "${RIG_SHARED_DIRS[@]}"; do own+=(-path "./$dir" -prune -o); done
    # Into a directory stamped first: all of it but the stamp as hard links,
    # then each file outside the shared folders replaced by a copy, and the
    # stamp of $from last.
    if ! tiermo_make_own "$new" ||
        ! find "$from" -mindepth 1 -maxdepth 1 ! -name "$RIG_READY_MARK" -exec cp -al -t "$new" {} + ||
        ! (cd "$new" && find . "${own[@]}" -type f -print0 |
            while IFS= read -r -d '' f; do cp -p "$f" "$f.copy" && mv "$f.copy" "$f" || exit 1; done) ||
        ! cp -p "$from/$RIG_READY_MARK" "$new/" || ! mv "$new" "$prefix"; then
        rig_log "could not copy $from to $prefix"
        return 1
    fi
    rig_log "prefix ready in $((SECONDS - start)) s"
}

rig_create_prefix() {
    local prefix=$WINEPREFIX start=$SECONDS
    rig_log "creating Wine prefix $prefix (once per build tree)"
    tiermo_remove_own "$(tiermo_build_tree_of "$prefix")" "$prefix" && tiermo_make_own "$prefix" || return 1
    if ! timeout 300 "$RIG_WINE" wineboot.exe -i >/dev/null 2>&1; then
        rig_log "wineboot failed"
        return 1
    fi
    timeout 60 wineserver -w >/dev/null 2>&1 || true
    # Debian's Wine loads none of its own fonts (package fonts-wine) unless
    # they are in the prefix: not the TrueType ones (Marlett for the caption
    # buttons, Tahoma), and not the bitmap ones, among them sserife.fon, "MS
    # Sans Serif", the font of every dialog template (without it fontconfig
    # gives DejaVu Sans, and dialogs grow: 7x13 dialog base units for 6x13).
    if [[ ! -f $RIG_WINE_FONTS_DIR/sserife.fon ]]; then
        rig_log "Wine's fonts are missing from $RIG_WINE_FONTS_DIR (package fonts-wine)"
        return 1
    fi
    find "$RIG_WINE_FONTS_DIR" -maxdepth 1 -type f \( -name '*.ttf' -o -name '*.fon' \) \
        -exec cp -t "$prefix/drive_c/windows/Fonts/" {} + || return 1
    local reg="$prefix/drive_c/rig-settings.reg"
    cat >"$reg" <<REG
REGEDIT4

[HKEY_CURRENT_USER\\Software\\Wine\\Explorer]
"Desktop"="$RIG_DESKTOP_NAME"

[HKEY_CURRENT_USER\\Software\\Wine\\Explorer\\Desktops]
"$RIG_DESKTOP_NAME"="$RIG_DESKTOP_SIZE"

[HKEY_CURRENT_USER\\Software\\Wine\\WineDbg]
"ShowCrashDialog"=dword:00000000

REG
    if ! timeout 60 "$RIG_WINE" regedit.exe /S 'C:\rig-settings.reg' >/dev/null 2>&1; then
        rig_log "could not import the prefix settings"
        return 1
    fi
    rm -f "$reg"
    rig_stop_wineserver
    if ! grep -q "\"$RIG_DESKTOP_NAME\"=\"$RIG_DESKTOP_SIZE\"" "$prefix/user.reg"; then
        rig_log "virtual desktop settings missing from $prefix/user.reg"
        return 1
    fi
    mkdir -p "$prefix/$RIG_PRISTINE_DIR"
    local f
    for f in "${RIG_REGISTRY_FILES[@]}"; do
        cp -p "$prefix/$f" "$prefix/$RIG_PRISTINE_DIR/$f"
    done
    rig_prefix_stamp >"$prefix/$RIG_READY_MARK"
    rig_log "prefix ready in $((SECONDS - start)) s"
}

# Puts back the registry as it was right after the prefix was made, so that no
# test sees what an earlier one wrote. The server of the prefix must be stopped.
rig_restore_registry() {
    local f
    for f in "${RIG_REGISTRY_FILES[@]}"; do
        cp -p "$WINEPREFIX/$RIG_PRISTINE_DIR/$f" "$WINEPREFIX/$f"
    done
}
