#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Under xfwm4 (which grants focus requests) no price and no raise takes the focus; the raise
# puts the floating window over another always-on-top one within 6 s, also while idle.
source "$(dirname "$0")/lib/e2e.bash"
command -v xfwm4 >/dev/null || { echo "SKIP: xfwm4 is not installed"; exit 77; }
start_xvfb
fresh_user_folders
start_session_bus # xfwm4 reads its settings over D-Bus
start_wm xfwm4
start_chartd --start 1650 --step 5
mkdir -p "$(dirname "$INI")" && printf '[Option]\nPriceChange=1000\nLastPrice=1650.00\n' >"$INI"
active() { xprop -root _NET_ACTIVE_WINDOW | sed -n 's/.*# \(0x[0-9a-f]*\).*/\1/p'; }

ORVANTIS_STALE_SECONDS=5 start_orvantis focus # a price every second
wait_for 10 visible_window '^Orvantis$' || fail "no main window"
xmessage_at 300x80+100+500
xdotool windowactivate --sync "$XM"
start=$SECONDS prices=0 last=
while [ $((SECONDS - start)) -lt 11 ] || [ $prices -lt 3 ]; do # two raises, three prices
    [ "$(active)" = "$XM" ] || fail "$(active) took the focus after $((SECONDS - start)) s"
    now=$(grep '^CurrentPrice=' "$INI" || true)
    [ "$now" != "$last" ] && prices=$((prices + 1)) last=$now
    sleep 0.2
done
kill -TERM "$ORVANTIS_PID" && wait_for_exit "$ORVANTIS_PID" 5 SIGTERM

start_orvantis idle -s # idle after its first price: the next poll is minutes away
wait_for 10 grep -q '^CurrentPrice=' "$INI" && wait_for 10 window_of_size 112 25 || fail "no floating window"
float=$(printf '0x%x' "$(window_of_size 112 25)")
cover_with_always_on_top "$float" || fail "the competitor did not cover the floating window"
wait_for 6 top_of "$float" "$XM" || fail "the floating window stayed covered for 6 s"
[ "$(active)" = "$XM" ] || fail "the raise took the focus ($(active) is active)"
kill -TERM "$ORVANTIS_PID" && wait_for_exit "$ORVANTIS_PID" 5 SIGTERM
echo "1 passed, 0 failed"
