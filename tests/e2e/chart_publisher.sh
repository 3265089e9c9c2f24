#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The whole road of a price from a quote feed to the desktop: a loopback JSON feed,
# orvantis-chartd with its settings file, the real program reading the chart it serves;
# the feed dies, and the chart turns stale with a 503, the published file goes, and the
# program says the price is stale; the feed comes back, and so does the price; a stop
# takes the published file away.
source "$(dirname "$0")/lib/e2e.bash"
start_xvfb
fresh_user_folders

mkdir -p "$E2E_TMP/feed"
echo '{"gold":{"currency":"USD","price":"1650.25"}}' >"$E2E_TMP/feed/quote.json"
FEED_PORT=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
start_feed() {
    python3 -m http.server "$FEED_PORT" --bind 127.0.0.1 --directory "$E2E_TMP/feed" >>"$E2E_TMP/feed.log" 2>&1 &
    FEED_PID=$!
    E2E_PIDS+=("$FEED_PID")
}
start_feed

cat >"$E2E_TMP/chartd.conf" <<CONF
listen = 127.0.0.1:0
feed = http://127.0.0.1:$FEED_PORT/quote.json
feed_pointer = /gold/price
feed_interval = 1
stale_after = 3
state_dir = $E2E_TMP/state
publish_dir = $E2E_TMP/publish
CONF
"$BIN_DIR/orvantis-chartd" --config "$E2E_TMP/chartd.conf" 2>"$E2E_TMP/chartd.log" &
CHARTD_PID=$!
E2E_PIDS+=("$CHARTD_PID")
wait_for 10 grep -q ' listening on ' "$E2E_TMP/chartd.log" || fail "orvantis-chartd did not listen"
export ORVANTIS_CHART_SERVER=$(grep -o 'http://127.0.0.1:[0-9]*' "$E2E_TMP/chartd.log" | head -n 1)
PUBLISHED="$E2E_TMP/publish/gold_1d_o_USD.png"
wait_for 10 test -s "$PUBLISHED" || fail "no chart published"
[ "$("$BIN_DIR/orvantis-chart" "$PUBLISHED")" = "$PUBLISHED: 1650.25" ] || fail "the published chart does not read 1650.25"

# Polls a second apart, stale after five seconds without a price.
export ORVANTIS_STALE_SECONDS=5
start_orvantis run -s
wait_for 20 grep -q '^CurrentPrice=1650.25$' "$INI" || fail "the program read no 1650.25"
status_json() { "$BIN_DIR/orvantis-chart" --status --json; }
status_has() { status_json | grep -q "$1"; }
wait_for 10 status_has '"text":"1650.25 ' || fail "the status shows no price: $(status_json)"

kill -TERM "$FEED_PID"
wait_for 15 grep -q ' stale: no quote accepted for ' "$E2E_TMP/chartd.log" || fail "the publisher did not turn stale"
[ ! -e "$PUBLISHED" ] || fail "the published chart was kept while stale"
answer=$(curl -s -o /dev/null -w '%{http_code} %header{retry-after}' "$ORVANTIS_CHART_SERVER/NewCharts/gold/images/gold_1d_o_USD.png")
[ "$answer" = "503 1" ] || fail "a stale chart answers '$answer', not 503 with Retry-After: 1"
wait_for 20 status_has '"class":"stale"' || fail "the program does not show the price as stale: $(status_json)"
status_json | grep -q 'HTTP status 503' || fail "the stale status does not name the 503: $(status_json)"

echo '{"gold":{"currency":"USD","price":1651.5}}' >"$E2E_TMP/feed/quote.json"
start_feed
wait_for 15 grep -q '^CurrentPrice=1651.50$' "$INI" || fail "the price did not come back"
[ -s "$PUBLISHED" ] || fail "the chart is not published again"
kill -TERM "$CHARTD_PID"
wait "$CHARTD_PID" || fail "orvantis-chartd ended with status $? on SIGTERM"
[ ! -e "$PUBLISHED" ] || fail "a stopped publisher left its chart to be served as live"
kill -TERM "$ORVANTIS_PID"
wait_for_exit "$ORVANTIS_PID" 5 TERM
echo "1 passed, 0 failed"
