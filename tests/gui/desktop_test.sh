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
#
#   desktop_test.sh PREFIX ARCH TIERMO_EXE ARRANGE_EXE RESOURCE_H
#
# ARRANGE_EXE (tests/driver/arrange.cpp) places the two windows side by side
# and says where the icons are; RESOURCE_H gives the icons' control IDs.
set -uo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=../rig/winelib.sh
source "$here/../rig/winelib.sh"
# shellcheck source=../rig/checks.sh
source "$here/../rig/checks.sh"

if [[ $# -ne 5 ]]; then
    echo "usage: desktop_test.sh PREFIX ARCH TIERMO_EXE ARRANGE_EXE RESOURCE_H" >&2
    exit 2
fi
prefix=$1 arch=$2 tiermo=$3 arrange=$4 resource_h=$5
# Seconds to wait for a window or a change.
limit=30

rig_wine_env "$prefix"
rig_skip_unless_runs "$arch"
wm=""
stop_wm() { [[ -z $wm ]] || { kill "$wm" 2>/dev/null && wait "$wm" 2>/dev/null; }; }

fail() { echo "FAILED: $*"; exit 1; }

# Polls a command until it succeeds, for at most $limit seconds.
wait_until() {
    local deadline=$((SECONDS + limit))
    until "$@"; do
        ((SECONDS < deadline)) || return 1
        sleep 0.1
    done
}

window_named() { xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1; }
has_window() { [[ -n $(window_named "$1") ]]; }
no_window() { [[ -z $(window_named "$1") ]]; }
hex() { printf '0x%x' "$1"; }
# The managed windows, lowest first.
stacking() { xprop -root _NET_CLIENT_LIST_STACKING | sed 's/^[^#]*# //; s/,//g'; }
notepad_above() { xprop -id "$notepad" _NET_WM_STATE | grep -q _NET_WM_STATE_ABOVE; }
notepad_normal() { ! notepad_above; }
notepad_lowest() { [[ $(stacking | cut -d' ' -f1) == "$(hex "$notepad")" ]]; }
notepad_at_bottom() { notepad_lowest && notepad_normal; }
# Whether window $1 is above window $2 in the stacking order.
stacked_above() {
    local above=" $(stacking) "
    [[ $above == *" $(hex "$2") "* ]] || return 1
    above=" ${above#*" $(hex "$2") "}"
    [[ $above == *" $(hex "$1") "* ]]
}

# Presses on the icon, moves to notepad's middle in steps and releases there.
drag_to_notepad() { # icon x, icon y
    local x=$1 y=$2 i steps=6
    xdotool mousemove "$x" "$y"
    sleep 0.3
    xdotool mousedown 1
    sleep 0.3
    for ((i = 1; i <= steps; i++)); do
        xdotool mousemove $((x + (target_x - x) * i / steps)) $((y + (target_y - y) * i / steps))
        sleep 0.05
    done
    xdotool mouseup 1
}

rig_start_session stop_wm || exit 1
rig_restore_registry
# No virtual desktop: every window of Wine is one of the window manager's.
sed -i "/^\"Desktop\"=\"$RIG_DESKTOP_NAME\"\$/d" "$WINEPREFIX/user.reg"
openbox --sm-disable >/dev/null 2>&1 &
wm=$!
wait_until eval 'xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id"' ||
    fail "openbox did not start"

rig_wine notepad >/dev/null 2>&1 &
(cd "$(dirname "$tiermo")" && rig_wine "$tiermo") >/dev/null 2>&1 &
# A first run opens the About box by itself; Esc closes it.
wait_until has_window '^About Tiermo$' || fail "Tiermo's About box did not appear"
xdotool windowactivate --sync "$(window_named '^About Tiermo$')" key Escape
wait_until no_window '^About Tiermo$' || fail "Esc did not close the About box"

ids=()
for name in IDC_TOP IDC_NORMAL IDC_BOTTOM; do
    ids+=("$(awk -v n="$name" '$1 == "#define" && $2 == n { print $3 }' "$resource_h")")
done
layout=$(rig_wine "$arrange" Tiermo Notepad $((limit * 1000)) "${ids[@]}" | tr -d '\r') ||
    fail "could not place Tiermo and notepad: $layout"
echo "$layout"
read -r target_x target_y < <(awk '/^Notepad:/ { split($2, p, ","); split($3, s, "x");
    print int(p[1] + s[1] / 2), int(p[2] + s[2] / 2) }' <<<"$layout")
icon() { awk -v id="$1" '$1 == "control" && $2 == id ":" { split($3, p, ","); print p[1], p[2] }' <<<"$layout"; }
tiermo_window=$(window_named '^Tiermo$')
notepad=$(window_named 'Notepad')
[[ -n $tiermo_window && -n $notepad && -n $target_x ]] || fail "windows not found"

drag_to_notepad $(icon "${ids[0]}")
wait_until notepad_above
check "Top: notepad is kept above" yes "$(notepad_above && echo yes)"
xdotool windowactivate --sync "$tiermo_window"
sleep 1 # time for Wine and the window manager to restack, if they would
check "Top: still above, and above Tiermo, once Tiermo is active" yes \
    "$(notepad_above && stacked_above "$notepad" "$tiermo_window" && echo yes)"

drag_to_notepad $(icon "${ids[1]}")
wait_until notepad_normal
check "Normal: notepad is no longer kept above" yes "$(notepad_normal && echo yes)"

# "Bottom" on a window kept above: no longer above, and the lowest.
drag_to_notepad $(icon "${ids[0]}")
wait_until notepad_above
check "Bottom: notepad is above before" yes "$(notepad_above && ! notepad_lowest && echo yes)"
drag_to_notepad $(icon "${ids[2]}")
wait_until notepad_at_bottom
check "Bottom: notepad is the lowest window and no longer above" "$(hex "$notepad") no" \
    "$(stacking | cut -d' ' -f1) $(notepad_above && echo yes || echo no)"

checks_done "desktop ($arch)"
