#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# On a desktop with a window manager and an XEmbed tray: the floating window floats,
# shaped, where it belongs and above other windows, moves with the mouse and keeps its
# place across runs; the tray icon hides and restores the main window, comes back after the
# tray restarts, and its menu ends the program. A StatusNotifierItem watcher that hangs
# beside the tray delays nothing: the main window shows at once and the icon goes to the
# tray.
source "$(dirname "$0")/lib/e2e.bash"
start_xvfb
start_wm
fresh_user_folders
start_chartd --prices 1650.25
ROOT_COLOUR='#123456'
xsetroot -solid "$ROOT_COLOUR"
start_session_bus
start_watcher hung
kill -STOP "$WATCHER_PID"
start_trayer
mkdir -p "$(dirname "$INI")"
# The first price matches the reference: no notification dialog in the way.
printf '[Option]\nLastPrice=1650.25\n' >"$INI"

start_orvantis first
pid=$ORVANTIS_PID
wait_for 10 visible_window '^Orvantis$' || fail "no main window"
main=$(visible_window '^Orvantis$' | head -n 1)
wait_for 10 window_of_size 112 25 || fail "no floating window of 112 x 25"
float=$(window_of_size 112 25)
read -r x y _ _ <<<"$(window_geometry "$float")"
[ "$x,$y" = "1120,60" ] || fail "the floating window is at $x,$y, expected 160 left of the right edge and 60 down"

# Shaped: the skin's magenta corner shows the desktop, its middle the skin.
[ "$(pixel 1120 60)" = "$ROOT_COLOUR" ] || fail "the cut-away corner shows $(pixel 1120 60)"
[ "$(pixel 1176 62)" != "$ROOT_COLOUR" ] || fail "the floating window shows nothing"

# Another window placed over it stays below it.
xmessage -geometry 300x120+1050+30 'in the way' >"$E2E_TMP/xmessage.log" 2>&1 &
E2E_PIDS+=($!)
wait_for 10 visible_window '^xmessage$' || fail "xmessage did not show"
cover=$(visible_window '^xmessage$' | head -n 1)
stacked_above() {
    local list
    list=$(xprop -root _NET_CLIENT_LIST_STACKING | tr -d ',' | sed 's/.*# //')
    local seen_cover= w
    for w in $list; do
        [ $((w)) -eq "$cover" ] && seen_cover=1
        [ $((w)) -eq "$float" ] && [ -n "$seen_cover" ] && return 0
    done
    return 1
}
wait_for 5 stacked_above || fail "the floating window is not above the window placed over it"

# A drag from any visible point moves it. The button stays down until the window
# follows the pointer, so a busy machine cannot end the drag before it starts.
xdotool mousemove 1176 72 mousedown 1
follows() {
    xdotool mousemove_relative -- -1 1
    [ "$(window_geometry "$float" | cut -d' ' -f1-2)" != "1120 60" ]
}
wait_for 5 follows || fail "pressing the floating window did not start a drag"
xdotool mousemove 700 500
near_target() {
    read -r x y _ _ <<<"$(window_geometry "$float")"
    [ $((x - 644)) -ge -20 ] && [ $((x - 644)) -le 20 ] && [ $((y - 488)) -ge -20 ] && [ $((y - 488)) -le 20 ]
}
wait_for 5 near_target || fail "the drag left the floating window at $(window_geometry "$float")"
xdotool mouseup 1
read -r moved_x moved_y _ _ <<<"$(window_geometry "$float")"

# Minimize hides the main window into the tray (no taskbar entry, not minimised); a left
# click on the icon brings it back and the next hides it again.
icon_in_tray() { ICON=$(tray_icon orvantis); }
click_icon() {
    local ix iy iw ih
    read -r ix iy iw ih <<<"$(window_geometry "$ICON")"
    xdotool mousemove $((ix + iw / 2)) $((iy + ih / 2)) click "$1"
}
wait_for 10 icon_in_tray || fail "the icon is not in the tray"
xdotool windowactivate --sync "$main" 2>/dev/null || xdotool windowfocus "$main"
xdotool key --clearmodifiers Return
wait_for 5 sh -c "! xwininfo -id $main | grep -q IsViewable" || fail "Minimize did not hide the main window"
xprop -id "$main" WM_STATE | grep -q Iconic && fail "Minimize minimised the window instead of hiding it"
click_icon 1
wait_for 5 is_viewable "$main" || fail "a left click did not bring the main window back"
click_icon 1
wait_for 5 sh -c "! xwininfo -id $main | grep -q IsViewable" || fail "a second left click did not hide the main window"

# The tray dies and comes back: so does the icon.
kill "$TRAYER_PID"
wait "$TRAYER_PID" 2>/dev/null || true
start_trayer
wait_for 10 icon_in_tray || fail "the icon did not come back to the restarted tray"

# The menu's "Exit(&X)", its second and last entry, ends the program with status 0 and
# stores the position.
open_menu() {
    local w
    for w in $(xdotool search --onlyvisible --class '^orvantis$'); do
        # The one pop-up: the window manager neither frames nor places it.
        if xwininfo -id "$w" | grep -q 'Override Redirect State: yes'; then
            MENU=$w
            return 0
        fi
    done
    return 1
}
click_icon 3
wait_for 5 open_menu || fail "a right click opened no menu"
read -r mx my mw mh <<<"$(window_geometry "$MENU")"
xdotool mousemove $((mx + mw / 2)) $((my + mh * 3 / 4)) click 1
wait_for_exit "$pid" 10 "Exit(&X)"
grep -q "^FloatPos=$moved_x,$moved_y\$" "$INI" ||
    fail "Exit stored $(grep FloatPos "$INI"), not FloatPos=$moved_x,$moved_y"

# The next start puts the floating window there.
start_orvantis second
wait_for 10 window_of_size 112 25 || fail "no floating window on the second start"
float=$(window_of_size 112 25)
[ "$(window_geometry "$float" | cut -d' ' -f1-2)" = "$moved_x $moved_y" ] ||
    fail "the second start put the floating window at $(window_geometry "$float")"
wait_for 10 visible_window '^Orvantis$' || fail "no main window on the second start"
exit_with_escape "$ORVANTIS_PID"
echo "1 passed, 0 failed"
