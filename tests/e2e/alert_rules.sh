#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# A price level tells once, also across a kill -9 between its notification and the next
# poll; a snooze handed to the running copy holds a move back, the status bar and the tray
# say so, and resuming tells the move once with the whole change. A bad argument writes
# nothing; with no copy running the verb writes the settings file itself.
source "$(dirname "$0")/lib/e2e.bash"
start_xvfb
fresh_user_folders
mkdir -p "$(dirname "$INI")"
printf '[Option]\nLastPrice=2390.00\nPriceChange=100\nSendEmail=1\nEmail=user@example.com\nPopup=0\n[Alerts]\nAlertAbove=2400\nLevelBand=5\n' >"$INI"
start_chartd --prices 2400.00
port=$(cat "$E2E_TMP/port")
# Regular polls a fifth of it apart: one a second.
export ORVANTIS_STALE_SECONDS=5

told() { cat "$E2E_TMP"/chartd*.log | grep -c '^notify: ' || true; }
told_is() { [ "$(told)" -eq "$1" ]; }
# One more poll judged: the program writes the current price back after each.
next_poll() {
    sed -i '/^CurrentPrice=/d' "$INI"
    wait_for 10 grep -q "^CurrentPrice=$1\$" "$INI" || fail "no poll read $1"
}
status_json() { "$BIN_DIR/orvantis-chart" --status --json; }

start_orvantis first -s
first=$ORVANTIS_PID
wait_for 15 told_is 1 || fail "the level did not tell: $(told) requests"
grep -qx 'notify: type=gold email=user@example.com last=2390.00 new=2400.00 chg=10.00' "$E2E_TMP/chartd.log" ||
    fail "the level's form is not the usual one"
grep -qx 'AboveArmed=0' "$INI" || fail "the spent level is not stored: $(cat "$INI")"

# Killed before its next poll: the level is still spent after the restart.
kill -9 "$first"
wait "$first" 2>/dev/null || true
start_orvantis second -s
pid=$ORVANTIS_PID
next_poll 2400.00
next_poll 2400.00
[ "$(told)" -eq 1 ] || fail "the level told again after the restart"

# Snoozed by a second start, which ends at once.
timeout 10 "$BIN_DIR/orvantis" --snooze 60 || fail "--snooze failed ($?)"
grep -qE '^SnoozeUntil=[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9:]{8}Z$' "$INI" || fail "no snooze in $(cat "$INI")"
status_json | grep -qE '"class":"snoozed","snoozed_until":"[0-9T:-]+Z"\}$' ||
    fail "the status does not show the snooze: $(status_json)"
status_json | grep -q 'Alerts snoozed until [0-9][0-9]:[0-9][0-9]' || fail "no snooze in the tooltip"

# A bad argument: a message, status 2, the file untouched.
cp "$INI" "$E2E_TMP/before.ini"
for bad in "--snooze abc" "--snooze 0" "--snooze" "--resume now"; do
    set +e
    timeout 10 "$BIN_DIR/orvantis" $bad 2>"$E2E_TMP/bad.err"
    status=$?
    set -e
    [ "$status" -eq 2 ] || fail "'$bad' ended with $status"
    grep -q '^orvantis: --' "$E2E_TMP/bad.err" || fail "'$bad' gave no message"
done
cmp -s "$INI" "$E2E_TMP/before.ini" || fail "a bad argument changed the settings file"

# A move while snoozed tells nothing; resumed, the next poll tells it once.
stop_chartd
"$BIN_DIR/orvantis-chartd" --port "$port" --prices 2550.00 >"$E2E_TMP/chartd2.log" 2>&1 &
E2E_PIDS+=($!)
next_poll 2550.00
next_poll 2550.00
[ "$(told)" -eq 1 ] || fail "a move was told while snoozed"
timeout 10 "$BIN_DIR/orvantis" --resume || fail "--resume failed ($?)"
grep -qx 'SnoozeUntil=' "$INI" || fail "the snooze was not cleared"
wait_for 10 told_is 2 || fail "the move was not told after resuming"
grep -qx 'notify: type=gold email=user@example.com last=2400.00 new=2550.00 chg=150.00' "$E2E_TMP/chartd2.log" ||
    fail "the change told is not the whole one: $(grep '^notify' "$E2E_TMP/chartd2.log")"
status_json | grep -q '"class":"flat"}$' || fail "the status still holds alerts: $(status_json)"

kill -TERM "$pid"
wait_for_exit "$pid" 5 "SIGTERM"

# No copy running, no display needed: the verb writes the file itself.
DISPLAY= timeout 10 "$BIN_DIR/orvantis" --snooze 30 || fail "--snooze without a running copy failed"
grep -qE '^SnoozeUntil=.+Z$' "$INI" || fail "no snooze written without a running copy"
echo "1 passed, 0 failed"
