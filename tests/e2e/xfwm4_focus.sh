#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Under xfwm4, which grants any window's focus request, the program never takes the focus
# from the application the user types in, whatever arrives; and the 5-second raise puts
# the floating window back over another always-on-top window, even while the program is
# otherwise idle (a raise left in Qt's queue would wait for the next price).
source "$(dirname "$0")/lib/e2e.bash"
command -v xfwm4 >/dev/null || { echo "SKIP: xfwm4 is not installed"; exit 77; }
start_xvfb
fresh_user_folders
start_session_bus # xfwm4 reads its settings over D-Bus
start_wm xfwm4
start_chartd --start 1650 --step 5
mkdir -p "$(dirname "$INI")"
printf '[Option]\nPriceChange=1000\nLastPrice=1650.00\n' >"$INI"

# stacking: the managed windows, bottom to top.
stacking() { xprop -root _NET_CLIENT_LIST_STACKING | sed 's/.*# //; s/,//g'; }
active() { xprop -root _NET_ACTIVE_WINDOW | sed -n 's/.*# \(0x[0-9a-f]*\).*/\1/p'; }
orvantis_windows() { for w in $(xdotool search --class '^orvantis$'); do printf '0x%x\n' "$w"; done; }
# xmessage_at GEOMETRY TEXT: a managed xmessage window; its id in XM.
xmessage_at() {
    xmessage -geometry "$1" "$2" >/dev/null 2>&1 &
    E2E_PIDS+=($!)
    local pid=$!
    wait_for 10 xdotool search --pid "$pid" --class Xmessage || fail "xmessage did not come up"
    XM=$(xdotool search --pid "$pid" --class Xmessage | head -n 1)
}

# The main window first, as at a start from the menu; then the user types elsewhere.
export ORVANTIS_STALE_SECONDS=5 # a price every second
start_orvantis focus
wait_for 10 visible_window '^Orvantis$' || fail "no main window"
xmessage_at 300x80+100+500 "the user types here"
xdotool windowactivate --sync "$XM" 2>/dev/null || fail "xmessage cannot be activated"
typing=$(printf '0x%x' "$XM")
is_active() { [ "$(active)" = "$1" ]; }
wait_for 5 is_active "$typing" || fail "xmessage did not become active"
ours=$(orvantis_windows)
prices=0 last=
start=$SECONDS
while [ $((SECONDS - start)) -lt 11 ] || [ "$prices" -lt 3 ]; do # two raises, three prices
    [ $((SECONDS - start)) -ge 30 ] && fail "only $prices price updates in 30 s"
    now=$(active)
    grep -qx "$now" <<<"$ours" && fail "an Orvantis window ($now) took the focus after $((SECONDS - start)) s"
    price=$(grep '^CurrentPrice=' "$INI" || true)
    [ -n "$price" ] && [ "$price" != "$last" ] && { prices=$((prices + 1)); last=$price; }
    sleep 0.2
done
[ "$(active)" = "$typing" ] || fail "the focus left the window the user types in: $(active)"
kill -TERM "$ORVANTIS_PID"
wait_for_exit "$ORVANTIS_PID" 5 SIGTERM

# Idle after its first price: the next poll is minutes away.
unset ORVANTIS_STALE_SECONDS
start_orvantis idle -s
wait_for 10 grep -q '^CurrentPrice=' "$INI" || fail "no price read"
wait_for 10 window_of_size 112 25 || { for w in $(xdotool search --class orvantis); do xwininfo -id $w | grep -E "Width|Height|Map"; done; fail "no floating window"; }
float=$(window_of_size 112 25)
read -r fx fy _ <<<"$(window_geometry "$float")"
float=$(printf '0x%x' "$float")
# A competing always-on-top window over it: mapped with the state, as such programs do.
xmessage_at "200x60+$((fx - 20))+$((fy - 20))" "always on top"
xdotool windowunmap --sync "$XM"
xprop -id "$XM" -f _NET_WM_STATE 32a -set _NET_WM_STATE _NET_WM_STATE_ABOVE
xdotool windowmap --sync "$XM"
competitor=$(printf '0x%x' "$XM")
above() { stacking | tr ' ' '\n' | grep -xE "$1|$2" | tail -n 1 | grep -qx "$1"; }
wait_for 2 above "$competitor" "$float" || fail "the competing window did not cover the floating window"
wait_for 6 above "$float" "$competitor" || fail "the floating window stayed covered for 6 s: $(stacking)"
grep -qx "$(active)" <<<"$(orvantis_windows)" && fail "the raise took the focus"
kill -TERM "$ORVANTIS_PID"
wait_for_exit "$ORVANTIS_PID" 5 SIGTERM
echo "1 passed, 0 failed"
