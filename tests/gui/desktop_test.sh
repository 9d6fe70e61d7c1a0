#!/usr/bin/env bash
# Tiermo on a Linux desktop: Xvfb with an EWMH window manager (openbox, or
# Xfce's xfwm4) and Wine without its virtual desktop, so that Tiermo's and
# notepad's windows are windows of that desktop and the window manager draws
# their title bars. Real X input (xdotool) drags the icons; the window
# manager's own view (xprop) and Wine's own order of the windows (ZORDER_EXE)
# tell the result:
#   - "Top" dropped on notepad's title bar, which lies over a third window's
#     contents (a cascade: Wine answers the third window there), gives
#     notepad, and only notepad, _NET_WM_STATE_ABOVE,
#   - which it keeps when Tiermo is activated (notepad stays above Tiermo);
#   - "Normal" on the title bar takes it away; both on Tiermo's own title bar
#     (over nothing of Wine's: Wine answers the desktop window) do the same to
#     Tiermo;
#   - "Bottom", on notepad kept above and above a third window, takes that
#     away and puts notepad last in Wine's order. Wine asks the window manager
#     for no lowering: where the window manager stacks notepad then is shown,
#     not checked.
# Every step waits, within $limit, for the state it needs (the window manager's
# hints, the active window, where a window is, Wine's order), never for a
# fixed time.
#
#   desktop_test.sh PREFIX ARCH NAME TIERMO_EXE ARRANGE_EXE RESOURCE_H WM ZORDER_EXE WINDOW_EXE
#
# NAME is the program's name, its main dialog's caption; the About box's is
# "About NAME".
# ARRANGE_EXE (tests/helpers/arrange.cpp) places the two windows side by side
# and says where they and the icons are; RESOURCE_H gives the icons' control
# IDs. WM is openbox or xfwm4. ZORDER_EXE (tests/helpers/zorder.cpp) prints
# Wine's order; WINDOW_EXE (tests/helpers/hung_window.cpp) shows the third
# window.
set -uo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=../../scripts/lib/wine_session.sh
source "$here/../../scripts/lib/wine_session.sh"
# shellcheck source=../support/checks.sh
source "$here/../support/checks.sh"

if [[ $# -ne 9 ]]; then
    echo "usage: desktop_test.sh PREFIX ARCH NAME TIERMO_EXE ARRANGE_EXE RESOURCE_H WM ZORDER_EXE WINDOW_EXE" >&2
    exit 2
fi
prefix=$1 arch=$2 name=$3 tiermo=$4 arrange=$5 resource_h=$6 wm=$7 zorder=$8 window_exe=$9
# Window names as xdotool matches them (without regard to case).
third="Third window"
main_name="^$name\$" about_name="^About $name\$" third_name="^$third\$"
# Seconds to wait for a window or a change.
limit=30

rig_skip_unless_runs "$arch"
rig_take_slot "$prefix" || exit 1
rig_wine_env "$RIG_SLOT_PREFIX"
# Wine's own errors are kept, one file per program, and shown on a failure.
export WINEDEBUG=-all,err+all
wm_pid=""
# Beside the prefix, stamped as the scripts' own, so that end_test removes it
# wherever the prefix is.
logs=$(mktemp -d "$prefix.desktop.XXXXXX") && tiermo_make_own "$logs" || exit 1
# xfwm4 runs under a D-Bus session of its own (dbus-run-session), which ends
# that bus, and with it xfwm4's settings daemon, when xfwm4 ends.
end_test() {
    if [[ -n $wm_pid ]]; then
        local child
        child=$(pgrep -P "$wm_pid" -x "$wm")
        kill "${child:-$wm_pid}" 2>/dev/null && wait "$wm_pid" 2>/dev/null
    fi
    tiermo_remove_own "$(tiermo_build_tree_of "$logs")" "$logs"
}
start_wm() {
    case $wm in
    openbox) openbox --sm-disable >/dev/null 2>&1 & ;;
    xfwm4)
        # Its settings and caches in the test's directory, not the user's.
        mkdir -m 700 "$logs/home" || return 1
        (
            export HOME=$logs/home XDG_RUNTIME_DIR=$logs/home NO_AT_BRIDGE=1 GTK_A11Y=none
            export XDG_CONFIG_HOME=$HOME/config XDG_CACHE_HOME=$HOME/cache XDG_DATA_HOME=$HOME/data
            exec dbus-run-session -- xfwm4 --compositor=off --sm-client-disable
        ) >/dev/null 2>&1 &
        ;;
    *) return 1 ;;
    esac
    wm_pid=$!
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
# window (openbox sets none before, xfwm4 0x0).
wm_running() {
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' &&
        xprop -root _NET_SUPPORTED 2>/dev/null | grep -q '_NET_ACTIVE_WINDOW'
}
active_window() { xprop -root _NET_ACTIVE_WINDOW 2>/dev/null | sed -n 's/.*window id # \([^,]*\).*/\1/p'; }
wm_has_active_window() { [[ $(active_window) == 0x* && $(active_window) != 0x0 ]]; }
is_active() { [[ $(active_window) == "$(hex "$1")" ]]; }
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
# Where the window manager has placed window $1: "x y width height" on the
# screen, without its frame.
geometry() {
    xwininfo -id "$1" 2>/dev/null | awk '/Absolute upper-left X:/ { x = $4 }
        /Absolute upper-left Y:/ { y = $4 } /^ *Width:/ { w = $2 } /^ *Height:/ { h = $2 }
        END { print x, y, w, h }'
}
# The same once the window manager has stopped moving the window: the same
# twice in a row.
settled_geometry() {
    local deadline=$((SECONDS + limit)) before="" now
    now=$(geometry "$1")
    until [[ $now == "$before" ]]; do
        ((SECONDS < deadline)) || return 1
        sleep 0.1
        before=$now now=$(geometry "$1")
    done
    echo "$now"
}
# Whether window $1 holds the point $2,$3 (on the screen).
holds_point() {
    local x y w h
    read -r x y w h < <(geometry "$1")
    [[ -n $h ]] && (($2 >= x && $2 < x + w && $3 >= y && $3 < y + h))
}
# The height of the frame that the window manager draws above window $1.
frame_top() { xprop -id "$1" _NET_FRAME_EXTENTS 2>/dev/null | awk -F', ' 'NF == 4 { print $3 }'; }
# The managed windows, lowest first.
stacking() { xprop -root _NET_CLIENT_LIST_STACKING | sed 's/^[^#]*# //; s/,//g'; }
is_above() { xprop -id "$1" _NET_WM_STATE | grep -q _NET_WM_STATE_ABOVE; }
not_above() { ! is_above "$1"; }
above_or_not() { is_above "$1" && echo above || echo "not above"; }
# Wine's order: the captions of its visible windows, the highest first.
wine_order() { rig_wine "$zorder" | tr -d '\r'; }
topmost_or_not() { wine_order | grep -qxF "$1 (topmost)" && echo topmost || echo "not topmost"; }
wine_last() { wine_order | tail -n 1; }
# Whether caption $1 comes before caption $2 in Wine's order.
wine_above() {
    wine_order | awk -v a="$1" -v b="$2" '{ sub(/ \(topmost\)$/, "") } $0 == a { seen = 1 }
        $0 == b { found = 1; exit } END { exit !(seen && found) }'
}
notepad_at_bottom() { not_above "$notepad" && [[ $(wine_last) == "$notepad_caption" ]]; }
# Whether window $1 is above window $2 in the stacking order.
stacked_above() {
    local above
    above=" $(stacking) "
    [[ $above == *" $(hex "$2") "* ]] || return 1
    above=" ${above#*" $(hex "$2") "}"
    [[ $above == *" $(hex "$1") "* ]]
}

# The rectangle of the window named $1 by ARRANGE_EXE: "left top width height".
layout_rect() {
    awk -v n="$1:" '$1 == n { split($2, p, ","); split($3, s, "x"); print p[1], p[2], s[1], s[2] }' \
        <<<"$layout"
}
# The point to drop on window $1 (named $2 by ARRANGE_EXE): the middle of its
# rectangle on the Windows side, or with "title", the middle of the title bar
# that the window manager draws, which must lie within that rectangle. Waits
# until the window manager has put the window where Wine says it is.
drop_point() {
    local l t w h x y width height top
    read -r l t w h < <(layout_rect "$2")
    [[ -n $h ]] && poll "$limit" holds_point "$1" $((l + w / 2)) $((t + h / 2)) || return 1
    [[ ${3:-} == title ]] || { echo $((l + w / 2)) $((t + h / 2)) && return; }
    read -r x y width height < <(settled_geometry "$1")
    top=$(frame_top "$1")
    [[ -n $height && -n $top ]] && ((top > 0)) || return 1
    x=$((x + width / 2)) y=$((y - top / 2))
    ((x >= l && x < l + w && y >= t && y < t + h)) && echo "$x $y"
}
# Presses on icon $1, moves in steps to the point of window $2 (named $3)
# that drop_point gives for $4, and releases there; the press activates
# Tiermo (the window managers focus the window clicked).
drop() { # icon-id window layout-name [title]
    local x y i steps=6 target_x target_y
    read -r target_x target_y < <(drop_point "$2" "$3" "${4:-}") ||
        fail "no point to drop on in $3's ${4:-middle}"
    read -r x y < <(icon "$1")
    xdotool mousemove --sync "$x" "$y"
    poll "$limit" holds_point "$tiermo_window" "$x" "$y" || fail "Tiermo's window is not at $x,$y"
    xdotool mousedown 1
    activate "$tiermo_window" || fail "pressing on Tiermo did not activate it"
    for ((i = 1; i <= steps; i++)); do
        xdotool mousemove --sync $((x + (target_x - x) * i / steps)) $((y + (target_y - y) * i / steps))
    done
    xdotool mouseup 1
}

# Starts notepad and waits for its window. Wine may fail to set up the
# session of a process it starts: notepad is started once more by the
# wrapper's rule (rig_run_again), and that is said and logged.
start_notepad() {
    local try pid started
    for try in 1 2; do
        started=$SECONDS
        rig_wine notepad >/dev/null 2>"$logs/notepad.err" &
        pid=$!
        poll "$limit" notepad_shown_or_ended "$pid" || return 1
        has_window Notepad && return 0
        wait "$pid"
        # Ended without its window: a failed run, whatever its exit code.
        local why
        ((try == 1)) && why=$(rig_run_again 1 $((SECONDS - started)) "$logs/notepad.err") || return 1
        rig_log "Wine could not set up notepad's session ($why); starting it once more"
        rig_log_second_run "desktop ($arch), notepad: started a second time; first start: $why"
    done
}
notepad_shown_or_ended() { has_window Notepad || ! kill -0 "$1" 2>/dev/null; }

rig_start_session end_test || exit 1
rig_restore_registry
# No virtual desktop: every window of Wine is one of the window manager's.
sed -i "/^\"Desktop\"=\"$RIG_DESKTOP_NAME\"\$/d" "$WINEPREFIX/user.reg"
start_wm || fail "cannot start $wm"
wait_until wm_running || fail "$wm did not start"

# One program at a time: the others start in a session that notepad has set
# up.
start_notepad || fail "notepad's window did not appear"
(cd "$(dirname "$tiermo")" && rig_wine "$tiermo") >/dev/null 2>"$logs/Tiermo.err" &
# A first run opens the About box by itself; Esc closes it.
wait_until has_window "$about_name" || fail "Tiermo's About box did not appear"
wait_until wm_has_active_window || fail "$wm set no active window"
close_about || fail "Esc did not close the About box"

ids=()
for id_name in IDC_TOP IDC_NORMAL IDC_BOTTOM; do
    ids+=("$(awk -v n="$id_name" '$1 == "#define" && $2 == n { print $3 }' "$resource_h")")
done
layout=$(rig_wine "$arrange" "$name" Notepad $((limit * 1000)) "${ids[@]}" | tr -d '\r') ||
    fail "could not place Tiermo and notepad: $layout"
echo "$layout"
icon() { awk -v id="$1" '$1 == "control" && $2 == id ":" { split($3, p, ","); print p[1], p[2] }' <<<"$layout"; }
# The third window, 300x200, its contents under the middle of notepad's title
# bar, as in a cascade.
read -r l t w h < <(layout_rect Notepad)
((t >= 100)) || fail "notepad is too near the top of the screen for a window above it: $layout"
rig_wine "$window_exe" --caption "$third" --pos $((l + w / 2 - 150)) $((t - 100)) 300 200 \
    --exit-after 600000 >/dev/null 2>"$logs/third.err" &
wait_until has_window "$third_name" || fail "the third window did not appear"
tiermo_window=$(window_named "$main_name")
notepad=$(window_named 'Notepad')
third_window=$(window_named "$third_name")
[[ -n $tiermo_window && -n $notepad && -n $third_window ]] || fail "windows not found"
notepad_caption=$(xdotool getwindowname "$notepad")
# A new window is activated, by Wine and by the window manager, after it is
# shown: notepad is activated only after that, or the third window's
# activation could still come after notepad's.
third_started() { is_active "$third_window" && [[ $(wine_order | head -n 1) == "$third" ]]; }
wait_until third_started || fail "the third window was not activated when it started"
# Notepad above the third window, also in Wine's order.
if ! activate "$notepad" || ! wait_until wine_above "$notepad_caption" "$third"; then
    fail "notepad did not come above the third window; active: $(active_window), Wine's order:" \
        "$(wine_order | paste -sd '|')"
fi
read -r title_x title_y < <(drop_point "$notepad" Notepad title) ||
    fail "no point to drop on in notepad's title bar"
title_over_third() {
    holds_point "$third_window" "$title_x" "$title_y" && stacked_above "$notepad" "$third_window"
}
wait_until title_over_third || fail "notepad's title bar does not lie over the third window"

drop "${ids[0]}" "$notepad" Notepad title
wait_until is_above "$notepad"
check "Top on notepad's title bar over the third window: notepad, and only notepad, is kept above" \
    "above; third window not above, not topmost" \
    "$(above_or_not "$notepad"); third window $(above_or_not "$third_window"), $(topmost_or_not "$third")"
# Activation raises Tiermo before the window manager reports it active.
activate "$tiermo_window" || fail "Tiermo could not be activated"
check "Top: still above, and above Tiermo, once Tiermo is active" yes \
    "$(is_above "$notepad" && stacked_above "$notepad" "$tiermo_window" && echo yes)"
drop "${ids[1]}" "$notepad" Notepad title
wait_until not_above "$notepad"
check "Normal on notepad's title bar: notepad is no longer kept above" "not above" \
    "$(above_or_not "$notepad")"

drop "${ids[0]}" "$tiermo_window" "$name" title
wait_until is_above "$tiermo_window"
check "Top on Tiermo's own title bar: Tiermo is kept above" above "$(above_or_not "$tiermo_window")"
drop "${ids[1]}" "$tiermo_window" "$name" title
wait_until not_above "$tiermo_window"
check "Normal on Tiermo's own title bar: Tiermo is no longer kept above" "not above" \
    "$(above_or_not "$tiermo_window")"

# "Bottom" on a window kept above, which is above the third window: no longer
# above, and last in Wine's order (the press on the icon raised only Tiermo).
drop "${ids[0]}" "$notepad" Notepad
wait_until is_above "$notepad"
check "Bottom: before, notepad is above, and above the third window in Wine's order" yes \
    "$(is_above "$notepad" && wine_above "$notepad_caption" "$third" && echo yes)"
drop "${ids[2]}" "$notepad" Notepad
wait_until notepad_at_bottom
check "Bottom: notepad is no longer above, and last in Wine's order" "not above, $notepad_caption" \
    "$(above_or_not "$notepad"), $(wine_last)"
echo "Wine's order: $(wine_order | paste -sd '|')"
echo "$wm stacks notepad $(stacked_above "$notepad" "$third_window" && echo above || echo below)" \
    "the third window: Wine asks the window manager to raise a window, never to lower one"

checks_done "desktop ($arch, $wm)"
