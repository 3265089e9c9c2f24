#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# A window manager that comes up 3 s after the program (KWin, as a session that starts the
# program early has it): from then on the 5-second raise goes out as a pager's request, so
# the floating window gets back over another always-on-top window within 6 s and is never
# marked as demanding attention.
source "$(dirname "$0")/lib/e2e.bash"
command -v kwin_x11 >/dev/null || { echo "SKIP: kwin_x11 is not installed"; exit 77; }
start_xvfb
fresh_user_folders
start_session_bus # KWin registers itself there
start_chartd --prices 1662.50
mkdir -p "$(dirname "$INI")" && printf '[Option]\nPriceChange=1000\nLastPrice=1650.00\n' >"$INI"

start_orvantis run -s
wait_for 10 window_of_size 112 25 || fail "no floating window without a window manager"
float=$(printf '0x%x' "$(window_of_size 112 25)")
sleep 3
start_wm kwin_x11
attention() { xprop -id "$float" _NET_WM_STATE | grep -q DEMANDS_ATTENTION; }
# Covered again when a raise came just as the competitor appeared, or when the window
# manager, still settling, did not activate it: a raise comes at most every 5 s.
covered() {
    local _
    for _ in 1 2 3; do
        xdotool windowactivate --sync "$XM" windowraise "$XM" 2>/dev/null || true
        wait_for 2 top_of "$XM" "$float" && return 0
    done
    return 1
}
# A window manager that lets nothing cover it leaves nothing to check here.
cover_with_always_on_top "$float" || covered || {
    echo "SKIP: the window manager let the competitor not cover the floating window"
    exit 77
}
start=$SECONDS
until top_of "$float" "$XM"; do
    [ $((SECONDS - start)) -lt 6 ] || fail "the floating window stayed covered for 6 s"
    attention && fail "the floating window was marked as demanding attention"
    sleep 0.1
done
sleep 1
attention && fail "the floating window was marked as demanding attention"
kill -TERM "$ORVANTIS_PID" && wait_for_exit "$ORVANTIS_PID" 5 SIGTERM
echo "1 passed, 0 failed"
