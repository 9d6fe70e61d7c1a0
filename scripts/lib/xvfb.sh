# shellcheck shell=bash
# The rig's private X servers: an Xvfb on a free display for each session,
# its PID recorded beside the prefix so that a clean-up from outside can end
# it. wine_session.sh sources it.

RIG_XVFB_SCREEN=${RIG_DESKTOP_SIZE:?}x24


# The directory where the PIDs of the Xvfb servers of prefix $1 are recorded.
rig_xvfb_record() { echo "$1.xvfb"; }

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
