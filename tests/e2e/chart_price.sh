#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The real program with an empty settings folder reads the demo server's chart and
# stores the price; it still exits at once while a download hangs on a dead server.
source "$(dirname "$0")/lib/e2e.bash"
start_xvfb
fresh_user_folders
start_chartd --prices 1650.25

start_orvantis run
pid=$ORVANTIS_PID
has_price() { grep -q '^CurrentPrice=1650.25$' "$INI"; }
wait_for 10 has_price || fail "gold.ini holds no price within 10 s"
grep -q '^LastPrice=1650.25$' "$INI" || fail "the first price did not become the reference"
grep -q '^TipLastPrice=0.00$' "$INI" || fail "the previous reference is not 0.00"
# The first price reaches the threshold: the notification dialog is up, modal.
wait_for 10 visible_window '^Gold Price Changed$' || fail "the first price showed no notification"
close_window '^Gold Price Changed$'
exit_with_escape "$pid"

# A chart server that accepts the request and never answers.
stop_chartd
start_chartd --fault stall
start_orvantis stalled
pid=$ORVANTIS_PID
wait_for 10 visible_window '^Orvantis$' || fail "no main window"
sleep 1 # the first poll is now stuck in its download
start=$SECONDS
exit_with_escape "$pid"
[ $((SECONDS - start)) -le 3 ] || fail "exit waited for the stuck download"
echo "1 passed, 0 failed"
