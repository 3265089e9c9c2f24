#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# A broken chart source shows: the demo server switched to HTTP 404 turns the floating
# window grey and the status stale, with the reason on standard error and in the status
# tooltip; a chart without its anchor lands in the cache; the price then comes back in
# its colours.
source "$(dirname "$0")/lib/e2e.bash"
start_xvfb
start_trayer
fresh_user_folders
export XDG_CACHE_HOME="$E2E_TMP/cache"
CHART="$XDG_CACHE_HOME/Tamberlo/Orvantis/unreadable-chart.png"
start_faulty_source

start_orvantis run -s
pid=$ORVANTIS_PID

wait_for 15 status_is up || fail "no price that is up: $(status_json)"
status_json | grep -qx '{"text":"1660.00 +10.00","tooltip":"Last Notify Price: 1650.00","class":"up"}' ||
    fail "unexpected status $(status_json)"
[ "$("$BIN_DIR/orvantis-chart" --status)" = "1660.00 +10.00" ] || fail "plain status: $("$BIN_DIR/orvantis-chart" --status)"
float=$(window_of_size 112 25) || fail "no floating window"
read -r fx fy _ _ <<<"$(window_geometry "$float")"
wait_for 5 shows green || fail "the live change is not green"
icon=$(tray_icon orvantis) || fail "no icon in the tray"
read -r ix iy iw ih <<<"$(window_geometry "$icon")"
tray_icon_area="${iw}x${ih}+$ix+$iy"
shows colour "$tray_icon_area" || fail "the live tray icon has no colour"

fault status:404
wait_for 20 status_is stale || fail "the status did not turn stale: $(status_json)"
status_json | grep -q 'No price read since [0-9][0-9]:[0-9][0-9]: the chart server answered with HTTP status 404' ||
    fail "the tooltip does not name HTTP 404: $(status_json)"
grep -q '^orvantis: No price read since .*HTTP status 404$' "$E2E_TMP/run.log" || fail "stderr does not name HTTP 404"
wait_for 5 shows grey || fail "the stale line is not grey"
shows green && fail "the stale line still shows green"
shows black && fail "the stale line still shows black"
shows colour "$tray_icon_area" && fail "the tray icon is not greyed while stale"

fault noanchor
wait_for 10 test -s "$CHART" || fail "the chart without its anchor was not kept"
read_kept=$("$BIN_DIR/orvantis-chart" "$CHART" || true)
[ "$read_kept" = "$CHART: no price" ] || fail "the kept chart is not the unreadable one: $read_kept"
status_json | grep -q '(no anchor)' || fail "the tooltip does not say the anchor is missing: $(status_json)"

fault ok
wait_for 20 status_is up || fail "the price did not come back: $(status_json)"
wait_for 5 shows green || fail "the change is not green again"
shows grey && fail "grey is left after the price came back"
wait_for 5 shows colour "$tray_icon_area" || fail "the tray icon stays greyed"
[ "$(grep -c '^orvantis: No price read' "$E2E_TMP/run.log")" = 1 ] || fail "not one line when the stale state began"
grep -q '^orvantis: a price is read again$' "$E2E_TMP/run.log" || fail "no line when the stale state ended"
[ -s "$CHART" ] || fail "a price read removed the kept chart"

kill -TERM "$pid"
wait_for_exit "$pid" 5 TERM
"$BIN_DIR/orvantis-chart" --status >/dev/null 2>&1 && fail "--status answered without a program"
[ $? -eq 1 ] || fail "--status without a program did not exit 1"
echo "1 passed, 0 failed"
