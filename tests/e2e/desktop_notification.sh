#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# With alerts as desktop notifications: a move sends one notification with the three lines
# of the dialog, the launcher's name and the actions; the next move replaces it; its
# "Snooze 1 hour" stores the end of the snooze, and the next move sends nothing. With no
# notification server on the bus, the dialog comes up instead.
source "$(dirname "$0")/lib/e2e.bash"
start_xvfb
fresh_user_folders
start_session_bus
export ORVANTIS_STALE_SECONDS=5 # a poll a second once prices come in
mkdir -p "$(dirname "$INI")"
printf '[Option]\nPriceChange=5\nLastPrice=1650.00\n[Alerts]\nStyle=notification\n' >"$INI"
# Two moves, a long flat stretch to snooze in, then a move while snoozed.
flat=$(printf '1670,%.0s' $(seq 1 25))
start_chartd --prices "1660,1670,${flat}1690"
"$BIN_DIR/orvantis-fake-notifications" >"$E2E_TMP/server.log" 2>&1 &
SERVER_PID=$!
E2E_PIDS+=("$SERVER_PID")
wait_for 10 grep -q '^ready$' "$E2E_TMP/server.log" || fail "the notification server did not start"

started=$(date +%s) # the program's clock starts at ORVANTIS_NOW
start_orvantis run -s
pid=$ORVANTIS_PID
sent() { [ "$(grep -c '^notify ' "$E2E_TMP/server.log")" -ge "$1" ]; }
wait_for 20 sent 2 || fail "not two notifications for two moves"
first=$(grep '^notify ' "$E2E_TMP/server.log" | sed -n 1p)
expected='notify 1 replaces=0 summary=Gold Price Changed entry=com.tamberlo.Orvantis icon=com.tamberlo.Orvantis'
expected+=' actions=snooze-hour=Snooze 1 hour;snooze-tomorrow=Snooze until tomorrow;open=Open;history=History;default=Open'
expected+=' body=Last Notify Price: 1650.00\nCurrent Price: 1660.00\nChange: +10.00'
[ "$first" = "$expected" ] || fail "first notification: '$first'"
second=$(grep '^notify ' "$E2E_TMP/server.log" | sed -n 2p)
[[ $second == 'notify 1 replaces=1 '*'Current Price: 1670.00\nChange: +10.00' ]] ||
    fail "the second did not replace the first: '$second'"
! visible_window '^Gold Price Changed' || fail "a dialog opened beside the notification"

dbus-send --session --print-reply --dest=org.freedesktop.Notifications /org/freedesktop/Notifications \
    com.tamberlo.TestNotifications.Invoke uint32:1 string:snooze-hour >/dev/null
wait_for 5 grep -q '^SnoozeUntil=20[0-9-]*T[0-9:]*Z$' "$INI" || fail "Snooze 1 hour stored no snooze"
until_epoch=$(date -u -d "$(sed -n 's/^SnoozeUntil=\(.*\)Z$/\1/p' "$INI" | tr T ' ')" +%s)
ahead=$((until_epoch - $(date -d "$ORVANTIS_NOW" +%s) - $(date +%s) + started))
[ "$ahead" -gt 3500 ] && [ "$ahead" -le 3600 ] || fail "the snooze ends in $ahead s, not in an hour"

wait_for 40 grep -q '^CurrentPrice=1690.00$' "$INI" || fail "the move while snoozed was not read"
sleep 1
! sent 3 || fail "a notification was sent while snoozed"

kill -TERM "$pid"
wait_for_exit "$pid" 5 "SIGTERM"

# No server owns the name: the dialog instead.
kill "$SERVER_PID"
wait "$SERVER_PID" 2>/dev/null || true
stop_chartd
printf '[Option]\nPriceChange=5\nLastPrice=1650.00\n[Alerts]\nStyle=notification\n' >"$INI"
start_chartd --prices 1700
start_orvantis run2 -s
pid=$ORVANTIS_PID
wait_for 20 visible_window '^Gold Price Changed$' || fail "no dialog without a notification server"
kill -TERM "$pid"
wait_for_exit "$pid" 5 "SIGTERM"
echo "1 passed, 0 failed"
