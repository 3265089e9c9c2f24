#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# On a desktop without any tray the monitor still reads prices, and Minimize leaves the
# main window minimised (so the window manager can give it back), not gone.
source "$(dirname "$0")/lib/e2e.bash"
start_xvfb
start_wm
fresh_user_folders
start_chartd --prices 1650.25
mkdir -p "$(dirname "$INI")"
printf '[Option]\nLastPrice=1650.25\n' >"$INI"

start_orvantis run
pid=$ORVANTIS_PID
has_price() { grep -q '^CurrentPrice=1650.25$' "$INI"; }
wait_for 10 has_price || fail "no price reached gold.ini without a tray"
wait_for 10 visible_window '^Orvantis$' || fail "no main window"
main=$(visible_window '^Orvantis$' | head -n 1)

iconic() { xprop -id "$main" WM_STATE | grep -q 'window state: Iconic'; }
xdotool windowactivate --sync "$main" 2>/dev/null || xdotool windowfocus "$main"
xdotool key --clearmodifiers Return
wait_for 5 iconic || fail "Minimize did not minimise the main window: $(xprop -id "$main" WM_STATE)"
kill -0 "$pid" || fail "the program ended on Minimize"

# A second start gives the minimised window back.
timeout 10 "$BIN_DIR/orvantis" >"$E2E_TMP/second.log" 2>&1 || fail "the second start failed or hung ($?)"
normal() { xprop -id "$main" WM_STATE | grep -q 'window state: Normal'; }
wait_for 5 normal || fail "the second start did not restore the minimised window"
exit_with_escape "$pid"
echo "1 passed, 0 failed"
