#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Settings driven as a user would: a lower threshold and e-mail on with an address. The
# next price that moves by the new threshold (and not by the old one) posts the e-mail
# request with that address. Under a GTK-style theme, where Enter presses check boxes,
# Enter on the ticked "Load at login" presses OK and leaves it ticked.
source "$(dirname "$0")/lib/e2e.bash"
start_xvfb
fresh_user_folders
mkdir -p "$(dirname "$INI")"
printf '[Option]\nLastPrice=1650.00\nPriceChange=10\n' >"$INI"

# The chart server stays down while the settings change, so no price can arrive before
# OK: the port is taken from a first run of it.
start_chartd --prices 1651.00
port=$(cat "$E2E_TMP/port")
stop_chartd

QT_QPA_PLATFORMTHEME=gtk3 start_orvantis run
pid=$ORVANTIS_PID
wait_for 10 visible_window '^Orvantis$' || fail "no main window"
main=$(visible_window '^Orvantis$' | head -n 1)

# "Settings" sits at (120, 24) and is 58 x 27 of the window's 185 x 92 dialog units.
eval "$(xdotool getwindowgeometry --shell "$main")"
xdotool mousemove --window "$main" $((WIDTH * 149 / 185)) $((HEIGHT * 75 / 184)) click 1
wait_for 5 visible_window '^Settings$' || fail "Settings did not open"
settings=$(visible_window '^Settings$' | head -n 1)
xdotool windowfocus --sync "$settings" 2>/dev/null || xdotool windowfocus "$settings"
# Tab order from OK: Cancel, threshold, "Notify me by email", popup, address, "Load at login".
xdotool key --clearmodifiers Tab Tab ctrl+a
xdotool type --clearmodifiers --delay 20 '0.75'
xdotool key --clearmodifiers Tab space Tab Tab
xdotool type --clearmodifiers --delay 20 'user@example.com'
xdotool key --clearmodifiers Tab space Return
closed() { ! visible_window '^Settings$'; }
wait_for 5 closed || fail "Settings did not close on Enter"
for line in PriceChange=0.75 SendEmail=1 Email=user@example.com Popup=1; do
    grep -qx "$line" "$INI" || fail "gold.ini lacks $line: $(tr '\n' ' ' <"$INI")"
done
[ -f "$XDG_CONFIG_HOME/autostart/Orvantis.desktop" ] || fail "Enter unticked \"Load at login\""

start_chartd --port "$port" --prices 1651.00
posted() { grep -q '^notify: ' "$E2E_TMP/chartd.log"; }
wait_for 30 posted || fail "no form reached the notification server"
line=$(grep '^notify: ' "$E2E_TMP/chartd.log")
expected='notify: type=gold email=user@example.com last=1650.00 new=1651.00 chg=1.00'
[ "$line" = "$expected" ] || fail "form fields: '$line', expected '$expected'"

wait_for 10 visible_window '^Gold Price Changed$' || fail "no notification dialog with popup on"
close_window '^Gold Price Changed$'
exit_with_escape "$pid"
echo "1 passed, 0 failed"
