#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# A second start hands over to the first: the hidden main window comes back and the
# second process ends at once. A killed first instance leaves nothing that blocks the next.
# Only the instance that holds the lock removes the leftovers of killed settings writes.
source "$(dirname "$0")/lib/e2e.bash"
start_xvfb
fresh_user_folders
export ORVANTIS_CHART_SERVER="http://127.0.0.1:9" ORVANTIS_NOTIFY_SERVER="http://127.0.0.1:9"

# What killed writes left behind holds the e-mail address: the one instance removes it.
mkdir -p "$(dirname "$INI")"
printf '[Option]\nEmail=user@example.com\n' | tee "$INI" >"$(dirname "$INI")/.gold.ini.Ab12Cd"
start_orvantis first -s
first=$ORVANTIS_PID
wait_for 10 test -S "$SOCKET" || fail "the first instance opened no hand-over socket"
test -d "$XDG_CONFIG_HOME/Tamberlo/Orvantis" || fail "the settings folder was not created"
test -e "$(dirname "$INI")/.gold.ini.Ab12Cd" && fail "the leftover of a killed write is still there"
sleep 0.5
visible_window '^Orvantis$' && fail "-s showed the main window"

# A second start does not hold the lock, so it leaves the folder alone.
: >"$(dirname "$INI")/.gold.ini.Ef34Gh"
timeout 10 "$BIN_DIR/orvantis" >"$E2E_TMP/second.log" 2>&1 || fail "the second start failed or hung ($?)"
test -e "$(dirname "$INI")/.gold.ini.Ef34Gh" || fail "a second start removed files of the running one"
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
