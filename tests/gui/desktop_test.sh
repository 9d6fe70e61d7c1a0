#!/usr/bin/env bash
# Tiermo on a Linux desktop: Xvfb with an EWMH window manager (openbox) and
# Wine without its virtual desktop, so that Tiermo's and notepad's windows are
# windows of that desktop. Real X input (xdotool) drags the icons onto
# notepad; the window manager's own view, read with xprop, tells the result:
#   - "Top" gives notepad _NET_WM_STATE_ABOVE,
#   - which it keeps when Tiermo is activated (notepad stays above Tiermo);
#   - "Normal" takes it away;
#   - "Bottom", on notepad kept above, takes that away and puts notepad lowest
#     in _NET_CLIENT_LIST_STACKING.
# Every step waits, within $limit, for the state it needs (the window manager's
# hints, the active window, where a window is), never for a fixed time.
#
#   desktop_test.sh PREFIX ARCH NAME TIERMO_EXE ARRANGE_EXE RESOURCE_H
#
# NAME is the program's name, its main dialog's caption; the About box's is
# "About NAME".
# ARRANGE_EXE (tests/driver/arrange.cpp) places the two windows side by side
# and says where the icons are; RESOURCE_H gives the icons' control IDs.
set -uo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=../../scripts/lib/wine_session.sh
source "$here/../../scripts/lib/wine_session.sh"
# shellcheck source=../rig/checks.sh
source "$here/../rig/checks.sh"

if [[ $# -ne 6 ]]; then
    echo "usage: desktop_test.sh PREFIX ARCH NAME TIERMO_EXE ARRANGE_EXE RESOURCE_H" >&2
    exit 2
fi
prefix=$1 arch=$2 name=$3 tiermo=$4 arrange=$5 resource_h=$6
# Window names as xdotool matches them.
main_name="^$name\$" about_name="^About $name\$"
# Seconds to wait for a window or a change.
limit=30

rig_skip_unless_runs "$arch"
rig_take_slot "$prefix" || exit 1
rig_wine_env "$RIG_SLOT_PREFIX"
# Wine's own errors are kept, one file per program, and shown on a failure.
export WINEDEBUG=-all,err+all
wm=""
logs=$(mktemp -d "${TMPDIR:-/tmp}/tiermo-desktop.XXXXXX") || exit 1
end_test() {
    [[ -z $wm ]] || { kill "$wm" 2>/dev/null && wait "$wm" 2>/dev/null; }
    rm -f -- "$logs"/*.err && rmdir -- "$logs"
}

fail() {
    local log
    echo "FAILED: $*"
    for log in "$logs"/*.err; do
        [[ -s $log ]] && { echo "-- Wine's errors, $(basename "$log" .err):"; tr -d '\r' <"$log"; }
    done
    exit 1
}

# Polls a command until it succeeds, for at most $1 seconds.
poll() {
    local deadline=$((SECONDS + $1))
    shift
    until "$@"; do
        ((SECONDS < deadline)) || return 1
        sleep 0.1
    done
}
# The same for at most $limit seconds.
wait_until() { poll "$limit" "$@"; }

window_named() { xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1; }
has_window() { [[ -n $(window_named "$1") ]]; }
no_window() { [[ -z $(window_named "$1") ]]; }
hex() { printf '0x%x' "$1"; }
# What the window manager sets on the root window: the supporting-WM check and
# the hints it supports once it runs; the active window once it has focused a
# window (openbox sets none before).
wm_running() {
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' &&
        xprop -root _NET_SUPPORTED 2>/dev/null | grep -q '_NET_ACTIVE_WINDOW'
}
wm_has_active_window() { xprop -root _NET_ACTIVE_WINDOW 2>/dev/null | grep -q 'window id'; }
is_active() { [[ $(xprop -root _NET_ACTIVE_WINDOW | sed -n 's/.*window id # //p') == "$(hex "$1")" ]]; }
# Asks the window manager to activate window $1 until it is the active one.
activate() {
    local deadline=$((SECONDS + limit))
    until is_active "$1"; do
        ((SECONDS < deadline)) || return 1
        xdotool windowactivate "$1" 2>/dev/null
        poll 2 is_active "$1"
    done
}
# Activates the About box and presses Esc until the box is gone.
close_about() {
    local deadline=$((SECONDS + limit)) box
    while box=$(window_named "$about_name") && [[ -n $box ]]; do
        ((SECONDS < deadline)) || return 1
        xdotool windowactivate "$box" 2>/dev/null
        poll 2 is_active "$box" && xdotool key Escape
        poll 2 no_window "$about_name"
    done
}
# Whether window $1, where the window manager has placed it, holds the point
# $2,$3 (on the screen).
holds_point() {
    local geometry
    geometry=$(xwininfo -id "$1" 2>/dev/null | awk '/Absolute upper-left X:/ { x = $4 }
        /Absolute upper-left Y:/ { y = $4 } /^ *Width:/ { w = $2 } /^ *Height:/ { h = $2 }
        END { print x, y, w, h }')
    local x y w h
    read -r x y w h <<<"$geometry"
    [[ -n $h ]] && (($2 >= x && $2 < x + w && $3 >= y && $3 < y + h))
}
# The managed windows, lowest first.
stacking() { xprop -root _NET_CLIENT_LIST_STACKING | sed 's/^[^#]*# //; s/,//g'; }
notepad_above() { xprop -id "$notepad" _NET_WM_STATE | grep -q _NET_WM_STATE_ABOVE; }
notepad_normal() { ! notepad_above; }
notepad_lowest() { [[ $(stacking | cut -d' ' -f1) == "$(hex "$notepad")" ]]; }
notepad_at_bottom() { notepad_lowest && notepad_normal; }
# Whether window $1 is above window $2 in the stacking order.
stacked_above() {
    local above
    above=" $(stacking) "
    [[ $above == *" $(hex "$2") "* ]] || return 1
    above=" ${above#*" $(hex "$2") "}"
    [[ $above == *" $(hex "$1") "* ]]
}

# Presses on the icon, moves to notepad's middle in steps and releases there,
# each once the window manager has put the window there where Wine says it
# is; the press activates Tiermo (openbox focuses the window clicked).
drag_to_notepad() { # "icon-x icon-y"
    local x y i steps=6
    read -r x y <<<"$1"
    xdotool mousemove --sync "$x" "$y"
    poll "$limit" holds_point "$tiermo_window" "$x" "$y" || fail "Tiermo's window is not at $x,$y"
    xdotool mousedown 1
    activate "$tiermo_window" || fail "pressing on Tiermo did not activate it"
    for ((i = 1; i <= steps; i++)); do
        xdotool mousemove --sync $((x + (target_x - x) * i / steps)) $((y + (target_y - y) * i / steps))
    done
    poll "$limit" holds_point "$notepad" "$target_x" "$target_y" || fail "notepad is not at $target_x,$target_y"
    xdotool mouseup 1
}

# Starts notepad and waits for its window. Wine may fail to set up the
# session of a process it starts (the wrapper's second run, and the
# second-run log, are for the same errors): notepad is started once more only
# when it ended that way, early, and that is said and logged.
start_notepad() {
    local try pid started
    for try in 1 2; do
        started=$SECONDS
        rig_wine notepad >/dev/null 2>"$logs/notepad.err" &
        pid=$!
        poll "$limit" notepad_shown_or_ended "$pid" || return 1
        has_window Notepad && return 0
        wait "$pid"
        local why
        if ((try == 2 || SECONDS - started > RIG_SESSION_SETUP_SECONDS)) ||
            ! why=$(rig_broken_session "$logs/notepad.err"); then
            return 1
        fi
        rig_log "Wine could not set up notepad's session ($why); starting it once more"
        [[ -n ${TIERMO_SECOND_RUN_LOG:-} ]] &&
            echo "desktop ($arch), notepad: started a second time; first start: $why" >>"$TIERMO_SECOND_RUN_LOG"
    done
}
notepad_shown_or_ended() { has_window Notepad || ! kill -0 "$1" 2>/dev/null; }

rig_start_session end_test || exit 1
rig_restore_registry
# No virtual desktop: every window of Wine is one of the window manager's.
sed -i "/^\"Desktop\"=\"$RIG_DESKTOP_NAME\"\$/d" "$WINEPREFIX/user.reg"
openbox --sm-disable >/dev/null 2>&1 &
wm=$!
wait_until wm_running || fail "openbox did not start"

# One program at a time: Tiermo starts in a session that notepad has set up.
start_notepad || fail "notepad's window did not appear"
(cd "$(dirname "$tiermo")" && rig_wine "$tiermo") >/dev/null 2>"$logs/Tiermo.err" &
# A first run opens the About box by itself; Esc closes it.
wait_until has_window "$about_name" || fail "Tiermo's About box did not appear"
wait_until wm_has_active_window || fail "openbox set no active window"
close_about || fail "Esc did not close the About box"

ids=()
for id_name in IDC_TOP IDC_NORMAL IDC_BOTTOM; do
    ids+=("$(awk -v n="$id_name" '$1 == "#define" && $2 == n { print $3 }' "$resource_h")")
done
layout=$(rig_wine "$arrange" "$name" Notepad $((limit * 1000)) "${ids[@]}" | tr -d '\r') ||
    fail "could not place Tiermo and notepad: $layout"
echo "$layout"
read -r target_x target_y < <(awk '/^Notepad:/ { split($2, p, ","); split($3, s, "x");
    print int(p[1] + s[1] / 2), int(p[2] + s[2] / 2) }' <<<"$layout")
icon() { awk -v id="$1" '$1 == "control" && $2 == id ":" { split($3, p, ","); print p[1], p[2] }' <<<"$layout"; }
tiermo_window=$(window_named "$main_name")
notepad=$(window_named 'Notepad')
[[ -n $tiermo_window && -n $notepad && -n $target_x ]] || fail "windows not found"

drag_to_notepad "$(icon "${ids[0]}")"
wait_until notepad_above
check "Top: notepad is kept above" yes "$(notepad_above && echo yes)"
# Activation raises Tiermo before the window manager reports it active.
activate "$tiermo_window" || fail "Tiermo could not be activated"
check "Top: still above, and above Tiermo, once Tiermo is active" yes \
    "$(notepad_above && stacked_above "$notepad" "$tiermo_window" && echo yes)"

drag_to_notepad "$(icon "${ids[1]}")"
wait_until notepad_normal
check "Normal: notepad is no longer kept above" yes "$(notepad_normal && echo yes)"

# "Bottom" on a window kept above: no longer above, and the lowest.
drag_to_notepad "$(icon "${ids[0]}")"
wait_until notepad_above
check "Bottom: notepad is above before" yes "$(notepad_above && ! notepad_lowest && echo yes)"
drag_to_notepad "$(icon "${ids[2]}")"
wait_until notepad_at_bottom
check "Bottom: notepad is the lowest window and no longer above" "$(hex "$notepad") no" \
    "$(stacking | cut -d' ' -f1) $(notepad_above && echo yes || echo no)"

checks_done "desktop ($arch)"
