#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# A weekend on a shifted clock: the program polls the demo chart server on Saturday, the
# server dies, and the price stays "market closed" in its colours, never stale; on Sunday
# evening the market reopens and a dead server turns stale; on a weekday a dead server
# makes the price stale as always. A malformed clock stops every program.
source "$(dirname "$0")/lib/e2e.bash"
start_xvfb
start_trayer
fresh_user_folders
export TZ=UTC
start_faulty_source

for program in orvantis orvantis-chart orvantis-chartd; do
    status=0
    ORVANTIS_NOW=2026-12-12T25:00:00Z "$BIN_DIR/$program" --status >/dev/null 2>"$E2E_TMP/now.err" || status=$?
    [ "$status" = 2 ] || fail "$program with a malformed ORVANTIS_NOW exited with $status"
    grep -q 'ORVANTIS_NOW' "$E2E_TMP/now.err" || fail "$program did not name ORVANTIS_NOW"
done

# run_from INSTANT: the program, its wall clock starting at that instant.
run_from() {
    ORVANTIS_NOW=$1 start_orvantis "$2" -s
}
stop_orvantis() {
    kill -TERM "$ORVANTIS_PID"
    wait_for_exit "$ORVANTIS_PID" 5 TERM
}

# The exported history of each run: what was read while closed is kept as closed and a
# dead server's polls while open as stale, so that the chart draws both as gaps.
check_history_gaps() {
    local csv="$E2E_TMP/history-$1.csv"
    "$BIN_DIR/orvantis-chart" --history >"$csv" 2>"$E2E_TMP/history-$1.log" ||
        fail "no history export after $1: $(cat "$E2E_TMP/history-$1.log")"
    rows() { grep -c "^$1T[^,]*,[^,]*,\"\{0,1\}$2" "$csv" || true; }
    case $1 in
    saturday) [ "$(rows 2026-12-12 closed)" -gt 0 ] && [ "$(rows 2026-12-12 live)$(rows 2026-12-12 stale)" = 00 ] ;;
    sunday) [ "$(rows 2026-12-13 closed)" -gt 0 ] && [ "$(rows 2026-12-13 stale)" -gt 0 ] && [ "$(rows 2026-12-13 live)" = 0 ] ;;
    wednesday) [ "$(rows 2026-12-16 live)" -gt 0 ] && [ "$(rows 2026-12-16 stale)" -gt 0 ] && [ "$(rows 2026-12-16 closed)" = 0 ] ;;
    esac || fail "the history of $1 lost its gaps: $(tr '\r\n' ' ;' <"$csv")"
}

# Saturday noon in New York: closed until Sunday 18:00 there (23:00 UTC).
run_from 2026-12-12T17:00:00Z saturday
wait_for 15 status_is closed || fail "Saturday is not closed: $(status_json)"
closed_status() { status_json | grep -qx '{"text":"1660.00 +10.00","tooltip":"Last Notify Price: 1650.00\\nMarket closed, reopens Sun 23:00","class":"closed","reopens":"2026-12-13T23:00:00Z"}'; }
wait_for 5 closed_status || fail "unexpected closed status $(status_json)"
float=$(window_of_size 112 25) || fail "no floating window"
read -r fx fy _ _ <<<"$(window_geometry "$float")"
wait_for 5 shows green || fail "the closed price is not in its colours"
shows grey && fail "the closed price is grey"
fault status:404
# Twice the stale limit of polls that fail: still closed.
for _ in $(seq 10); do
    sleep 1
    status_is closed || fail "a dead server on Saturday changed the status: $(status_json)"
done
shows grey && fail "the closed price turned grey"
grep -q '^orvantis: No price read' "$E2E_TMP/saturday.log" && fail "stale on a Saturday"
stop_orvantis
check_history_gaps saturday

# Sunday, ten seconds before the reopening, the server still dead: closed past the stale
# limit, then stale after the reopening.
run_from 2026-12-13T22:59:50Z sunday
wait_for 5 status_is closed || fail "Sunday before the reopening is not closed: $(status_json)"
for _ in $(seq 6); do
    sleep 1
    status_is closed || fail "stale before the reopening: $(status_json)"
done
wait_for 20 status_is stale || fail "not stale after the reopening: $(status_json)"
status_json | grep -q 'No price read yet: the chart server answered with HTTP status 404' ||
    fail "the tooltip does not name HTTP 404: $(status_json)"
grep -q '^orvantis: Market closed, reopens Sun 23:00$' "$E2E_TMP/sunday.log" || fail "no closed line"
stop_orvantis
check_history_gaps sunday

# Wednesday afternoon: open, and a dead server is stale.
fault ok
run_from 2026-12-16T18:00:00Z wednesday
wait_for 15 status_is up || fail "no live price on Wednesday: $(status_json)"
fault status:404
wait_for 20 status_is stale || fail "a dead server on Wednesday is not stale: $(status_json)"
wait_for 5 shows grey || fail "the stale price is not grey"
stop_orvantis
check_history_gaps wednesday
echo "1 passed, 0 failed"
