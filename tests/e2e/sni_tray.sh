#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# On a StatusNotifierItem host (a watcher and host on a private session bus): the
# program registers its item with the tip "Orvantis", activating it hides and restores
# the main window, a restarted watcher gets the item again, and the menu's exit entry
# ends the program.
source "$(dirname "$0")/lib/e2e.bash"
start_xvfb
start_wm
fresh_user_folders
start_session_bus
export ORVANTIS_CHART_SERVER="http://127.0.0.1:9" ORVANTIS_NOTIFY_SERVER="http://127.0.0.1:9"
SNI="$BIN_DIR/orvantis-sni-host"

start_watcher() {
    "$SNI" watch >"$E2E_TMP/$1.log" 2>&1 &
    E2E_PIDS+=($!)
    WATCHER_PID=$!
    wait_for 10 grep -q '^ready$' "$E2E_TMP/$1.log" || fail "the watcher did not start"
}
start_watcher watcher

start_orvantis run
pid=$ORVANTIS_PID
wait_for 10 grep -q '^registered ' "$E2E_TMP/watcher.log" || fail "the program registered no item"
[ "$("$SNI" tooltip)" = "Orvantis" ] || fail "the item's tip is '$("$SNI" tooltip)'"

wait_for 10 visible_window '^Orvantis$' || fail "no main window"
main=$(visible_window '^Orvantis$' | head -n 1)
"$SNI" activate || fail "the item cannot be activated"
wait_for 5 sh -c "! xwininfo -id $main | grep -q IsViewable" || fail "activating did not hide the main window"
"$SNI" activate
wait_for 5 is_viewable "$main" || fail "activating again did not bring the main window back"

kill "$WATCHER_PID"
wait "$WATCHER_PID" 2>/dev/null || true
start_watcher watcher2
wait_for 10 grep -q '^registered ' "$E2E_TMP/watcher2.log" || fail "the restarted watcher did not get the item again"

"$SNI" click 'Exit(&X)' || fail "the menu has no Exit(&X)"
expect_exit "$pid" 10 "the menu's exit"
echo "1 passed, 0 failed"
