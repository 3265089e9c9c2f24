#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# A second start hands over to the first: the hidden main window comes back and the
# second process ends at once. A killed first instance leaves nothing that blocks the next.
source "$(dirname "$0")/lib/e2e.bash"
start_xvfb
fresh_user_folders
export ORVANTIS_CHART_SERVER="http://127.0.0.1:9" ORVANTIS_NOTIFY_SERVER="http://127.0.0.1:9"

start_orvantis first -s
first=$ORVANTIS_PID
wait_for 10 test -S "$SOCKET" || fail "the first instance opened no hand-over socket"
test -d "$XDG_CONFIG_HOME/Tamberlo/Orvantis" || fail "the settings folder was not created"
sleep 0.5
visible_window '^Orvantis$' && fail "-s showed the main window"

timeout 10 "$BIN_DIR/orvantis" >"$E2E_TMP/second.log" 2>&1 || fail "the second start failed or hung ($?)"
wait_for 5 visible_window '^Orvantis$' || fail "the first instance did not show its main window"
kill -0 "$first" || fail "the first instance died"

# A first instance killed outright leaves its lock and socket behind.
kill -9 "$first"
wait "$first" 2>/dev/null || true
test -S "$SOCKET" || fail "expected the killed instance's socket to be left behind"
start_orvantis again
again=$ORVANTIS_PID
wait_for 10 visible_window '^Orvantis$' || fail "the next start did not run as the first instance"
timeout 10 "$BIN_DIR/orvantis" -s >"$E2E_TMP/third.log" 2>&1 || fail "a further start did not hand over"
kill -0 "$again" || fail "the restarted instance died"

exit_with_escape "$again"
echo "1 passed, 0 failed"
