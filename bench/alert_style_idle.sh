#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Wakeups (context switches of all threads) per second and memory of two idle copies
# side by side, one alerting with the dialog and one with desktop notifications, each
# after one alert, on the same display, bus and chart server.
#   bench/alert_style_idle.sh [BUILD_DIR] [SECONDS]      (default build-ci, 120 s)
source "$(dirname "$0")/lib/desktop.bash"
seconds=${2:-120}
start_xvfb
start_wm
fresh_user_folders
start_session_bus
"$BUILD_DIR/bin/orvantis-fake-notifications" >"$E2E_TMP/server.log" 2>&1 &
E2E_PIDS+=($!)
wait_for 10 grep -q '^ready$' "$E2E_TMP/server.log" || fail "the notification server did not start"
start_chartd --prices 1660.25

# copy STYLE: a copy of its own (settings, lock, socket); its pid in COPY_PID.
copy() {
    local dir=$E2E_TMP/$1
    mkdir -p "$dir/config/Tamberlo/Orvantis" && mkdir -m 700 "$dir/run"
    printf '[Option]\nLastPrice=1650.25\n[Alerts]\nStyle=%s\n' "$1" >"$dir/config/Tamberlo/Orvantis/gold.ini"
    XDG_CONFIG_HOME=$dir/config XDG_RUNTIME_DIR=$dir/run "$BUILD_DIR/bin/orvantis" -s >"$E2E_TMP/$1.log" 2>&1 &
    COPY_PID=$!
    E2E_PIDS+=("$COPY_PID")
}
copy dialog
dialog=$COPY_PID
copy notification
notification=$COPY_PID
wait_for 20 visible_window '^Gold Price Changed$' || fail "the dialog copy showed no dialog"
wait_for 20 grep -q '^notify ' "$E2E_TMP/server.log" || fail "the notification copy sent nothing"
sleep 10 # start-up is not idling

switches() {
    cat /proc/"$1"/task/*/status 2>/dev/null |
        awk '/^(non)?voluntary_ctxt_switches/ {n += $2} END {print n}'
}
a0=$(switches "$dialog") b0=$(switches "$notification")
sleep "$seconds"
a1=$(switches "$dialog") b1=$(switches "$notification")
printf '%-14s %12s %10s %14s\n' "Style" "wakeups/s" "RSS KiB" "USS dirty KiB"
row() {
    printf '%-14s %12.2f %10d %14d\n' "$1" "$(echo "($3 - $2) / $seconds" | bc -l)" \
        "$(smaps_kib "$4" Rss)" "$(smaps_kib "$4" Private_Dirty)"
}
row dialog "$a0" "$a1" "$dialog"
row notification "$b0" "$b1" "$notification"
