#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# On a StatusNotifierItem host (a watcher and host on a private session bus): a host
# that hangs blocks nothing and gets the item once it answers; the item has the tip
# "Orvantis", activating it hides and restores the main window, a restarted watcher
# gets the item again, and the menu's exit entry ends the program.
source "$(dirname "$0")/lib/e2e.bash"
start_xvfb
start_wm
fresh_user_folders
start_session_bus
start_chartd --prices 1650.25
mkdir -p "$(dirname "$INI")"
printf '[Option]\nLastPrice=1650.25\n' >"$INI"

start_watcher() {
    "$BIN_DIR/orvantis-sni-host" >"$E2E_TMP/$1.log" 2>&1 &
    E2E_PIDS+=($!)
    WATCHER_PID=$!
    wait_for 10 grep -q '^ready$' "$E2E_TMP/$1.log" || fail "the watcher did not start"
}
start_watcher watcher
kill -STOP "$WATCHER_PID"

start_orvantis run
pid=$ORVANTIS_PID
# While the host hangs the program runs as without a tray: prices come in, and Minimize
# minimises the window.
wait_for 10 grep -q '^CurrentPrice=1650.25$' "$INI" || fail "no price was read while the tray host hung"
wait_for 10 visible_window '^Orvantis$' || fail "no main window while the tray host hung"
main=$(visible_window '^Orvantis$' | head -n 1)
xdotool windowactivate --sync "$main" 2>/dev/null || xdotool windowfocus "$main"
xdotool key --clearmodifiers Return
wait_for 5 sh -c "xprop -id $main WM_STATE | grep -q Iconic" || fail "Minimize did nothing while the tray host hung"

# Not a wait for something to happen: the program's question must outlive its deadline.
sleep 2.5
kill -CONT "$WATCHER_PID"
wait_for 20 grep -q '^registered ' "$E2E_TMP/watcher.log" || fail "the host that came back got no item"
ITEM=$(sed -n 's/^registered //p' "$E2E_TMP/watcher.log" | head -n 1)
item_call() { dbus-send --session --print-reply --dest="${ITEM%%/*}" "$@"; }
item_get() { item_call "/${ITEM#*/}" org.freedesktop.DBus.Properties.Get string:org.kde.StatusNotifierItem "string:$1"; }
activate() { item_call "/${ITEM#*/}" org.kde.StatusNotifierItem.Activate int32:0 int32:0 >/dev/null; }
# The tip's title is its second string, after the icon's name.
title=$(item_get ToolTip | grep -o 'string "[^"]*"' | sed -n '2s/string "\(.*\)"/\1/p')
[ "$title" = "Orvantis" ] || fail "the item's tip is '$title'"

activate || fail "the item cannot be activated"
hidden() { ! is_viewable "$main" && ! xprop -id "$main" WM_STATE | grep -q Iconic; }
wait_for 5 hidden || fail "activating did not hide the minimised main window into the tray"
activate
wait_for 5 is_viewable "$main" || fail "activating again did not bring the main window back"

kill "$WATCHER_PID"
wait "$WATCHER_PID" 2>/dev/null || true
start_watcher watcher2
wait_for 10 grep -q '^registered ' "$E2E_TMP/watcher2.log" || fail "the restarted watcher did not get the item again"

# The menu entry "Exit(&X)" (the menu marks its mnemonic with '_'), clicked.
menu=$(item_get Menu | sed -n 's/.*object path "\(.*\)"/\1/p')
exit_id=$(item_call "$menu" com.canonical.dbusmenu.GetLayout int32:0 int32:-1 array:string: |
    awk '/int32/ {id = $2} /variant +string "Exit\((_|&)X\)"/ {print id}')
[ -n "$exit_id" ] || fail "the menu has no Exit(&X)"
item_call "$menu" com.canonical.dbusmenu.Event int32:"$exit_id" string:clicked variant:int32:0 uint32:0 >/dev/null
wait_for_exit "$pid" 10 "the menu's exit"
echo "1 passed, 0 failed"
