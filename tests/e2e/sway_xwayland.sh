#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Under sway the program runs through XWayland, where sway would centre a managed floating
# window, make it at least 75 x 50, ignore its shape and stack it under newer windows. The
# floating window is 112 x 25 at its stored place, unmanaged, over the main window, with
# neither the key colour nor a black band on screen. The main window, moved, hidden to the
# tray and shown again, comes back where it was; a logout stores no place.
source "$(dirname "$0")/lib/e2e.bash"
for tool in sway Xwayland grim swaymsg; do
    command -v $tool >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
fresh_user_folders
start_chartd --prices 1662.50
user_session "$E2E_TMP/sway" # sway refuses to run as root
# Over the middle of the screen, where sway centres the main window.
printf '[Option]\nPriceChange=1000\nLastPrice=1650.00\nFloatPos=584,388\n' >"$INI"
printf 'output HEADLESS-1 resolution 1280x800 bg #00a0a0 solid_color\nxwayland enable\n%s\n' \
    "exec sh -c 'echo \$DISPLAY \$WAYLAND_DISPLAY >$DIR/run/display'" >"$DIR/config"
own_session_folder
session env WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman sway -c "$DIR/config" \
    >"$E2E_TMP/sway.log" 2>&1 &
SWAY_PID=$!
trap '{ kill -TERM $SWAY_PID; wait $SWAY_PID; } 2>/dev/null || true; e2e_cleanup' EXIT # sway ends its Xwayland
wait_for 15 test -s "$DIR/run/display" && wait_for 15 ls "$DIR"/run/sway-ipc.*.sock || fail "sway did not start"
read -r x wl <"$DIR/run/display"
ENV+=(DISPLAY="$x" WAYLAND_DISPLAY="$wl" SWAYSOCK="$(ls "$DIR"/run/sway-ipc.*.sock)")
start_session_user_bus
start_session_program
pid=$ORVANTIS_PID
managed() { (session swaymsg -t get_tree) | grep -c '"instance": "orvantis"'; }
floating() { (session xwininfo -root -tree) | sed -n 's/.*("orvantis" "Orvantis")  \(11[02]x[0-9]*+[0-9]*+[0-9]*\) .*/\1/p'; }
wait_for 15 grep -q '^CurrentPrice=1662.50$' "$INI" && wait_for 10 floating || fail "no floating window"
[ "$(floating)" = 112x25+584+388 ] || fail "the floating window is $(floating)"
[ "$(managed)" = 1 ] || fail "sway manages $(managed) windows of the program, not only the main window"
sleep 1 # the last paint
(session grim "$DIR/run/shot.png") && cp "$DIR/run/shot.png" "$E2E_TMP/shot.png" || fail "grim failed"
# Pixel by pixel: no key colour, no black row; the cream skin, not the grey main window.
convert "$E2E_TMP/shot.png" -crop 112x25+584+388 -depth 8 txt:- |
    sed -n 's/^\([0-9]*\),\([0-9]*\): (\([0-9]*\),\([0-9]*\),\([0-9]*\).*/\1 \2 \3 \4 \5/p' | awk '
    $3 > 200 && $4 < 80 && $5 > 200 { key++ }
    { dark[$2] += $3 + $4 + $5 < 120 }
    $1 >= 12 && $1 < 100 && $2 >= 3 && $2 < 22 { inner++; skin += $3 > $5 + 12 }
    END { for (y in dark) black += dark[y] > 56; exit key + black > 0 || skin < inner * 0.6 }' ||
    fail "key colour, a black band or no skin on screen (see $E2E_TMP/shot.png)"

# sway centres a window each time it maps it: moved, hidden with Minimize and brought back by
# a second start, the main window still comes back to the rectangle it had.
main_rect() { (session swaymsg -r -t get_tree) | python3 -c 'import json, sys
def walk(n):
    if n.get("name") == "Orvantis" and n.get("window"): print(*n["rect"].values())
    for k in n.get("nodes", []) + n.get("floating_nodes", []): walk(k)
walk(json.load(sys.stdin))'; }
main_at() { [ "$(main_rect)" = "$1" ]; }
wait_for 5 grep -q '^registered' "$E2E_TMP/sni.log" || fail "no tray icon"
centred=$(main_rect)
(session swaymsg '[title="^Orvantis$"] move position 200 150, focus') >/dev/null
wait_for 5 eval '! main_at "$centred"' && moved=$(main_rect) || fail "swaymsg did not move the main window"
(session xdotool key Return) && wait_for 5 main_at "" || fail "Minimize did not hide the main window"
(session "$BIN_DIR/orvantis") >"$E2E_TMP/second.log" 2>&1 || fail "the second start failed"
wait_for 5 main_at "$moved" || fail "the main window came back at $(main_rect), not at $moved"
kill -TERM $pid && wait_for_exit $pid 5 SIGTERM
grep -q '^FloatPos=584,388$' "$INI" || fail "a logout changed FloatPos: $(grep FloatPos "$INI")"
echo "1 passed, 0 failed"
