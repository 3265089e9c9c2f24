#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Tray hosts that come and go: a StatusNotifierItem watcher (with its host, on a private
# session bus) that starts after the program gets the item; the item has the tip
# "Orvantis", and activating it restores the minimised main window, then hides and restores it. When the watcher goes
# and an XEmbed tray starts, the icon moves there; when a watcher comes back, the item
# goes back to it and the XEmbed icon leaves the tray. The menu's exit entry ends the
# program.
source "$(dirname "$0")/lib/e2e.bash"
start_xvfb
start_wm
fresh_user_folders
start_session_bus
start_chartd --prices 1650.25
mkdir -p "$(dirname "$INI")"
printf '[Option]\nLastPrice=1650.25\n' >"$INI"

start_orvantis run
pid=$ORVANTIS_PID
# No tray yet: prices come in, and Minimize minimises the window.
wait_for 10 grep -q '^CurrentPrice=1650.25$' "$INI" || fail "no price was read without a tray"
wait_for 10 visible_window '^Orvantis$' || fail "no main window without a tray"
main=$(visible_window '^Orvantis$' | head -n 1)
xdotool windowactivate --sync "$main" 2>/dev/null || xdotool windowfocus "$main"
xdotool key --clearmodifiers Return
wait_for 5 sh -c "xprop -id $main WM_STATE | grep -q Iconic" || fail "Minimize did nothing without a tray"

start_watcher watcher
wait_for 10 grep -q '^registered ' "$E2E_TMP/watcher.log" || fail "the watcher that came late got no item"
ITEM=$(sed -n 's/^registered //p' "$E2E_TMP/watcher.log" | head -n 1)
item_call() { dbus-send --session --print-reply --dest="${ITEM%%/*}" "$@"; }
item_get() { item_call "/${ITEM#*/}" org.freedesktop.DBus.Properties.Get string:org.kde.StatusNotifierItem "string:$1"; }
activate() { item_call "/${ITEM#*/}" org.kde.StatusNotifierItem.Activate int32:0 int32:0 >/dev/null; }
# The tip's title is its second string, after the icon's name.
title=$(item_get ToolTip | grep -o 'string "[^"]*"' | sed -n '2s/string "\(.*\)"/\1/p')
[ "$title" = "Orvantis" ] || fail "the item's tip is '$title'"

activate || fail "the item cannot be activated"
shown() { is_viewable "$main" && ! xprop -id "$main" WM_STATE | grep -q Iconic; }
hidden() { ! is_viewable "$main" && ! xprop -id "$main" WM_STATE | grep -q Iconic; }
wait_for 5 shown || fail "activating did not bring the minimised main window back"
activate
wait_for 5 hidden || fail "activating again did not hide the main window into the tray"
activate
wait_for 5 shown || fail "activating a third time did not bring the main window back"

# The watcher goes, an XEmbed tray comes: the icon follows.
kill "$WATCHER_PID"
wait "$WATCHER_PID" 2>/dev/null || true
start_trayer
wait_for 10 tray_icon orvantis || fail "the icon did not move to the XEmbed tray that came"

# A watcher comes back beside it: the item goes back to the watcher, and leaves the tray.
start_watcher watcher2
wait_for 10 grep -q '^registered ' "$E2E_TMP/watcher2.log" || fail "the watcher that came back got no item"
icon_gone() { ! tray_icon orvantis; }
wait_for 10 icon_gone || fail "the icon stayed in the XEmbed tray as well"

# The menu entry "Exit(&X)" (the menu marks its mnemonic with '_'), clicked.
menu=$(item_get Menu | sed -n 's/.*object path "\(.*\)"/\1/p')
exit_id=$(item_call "$menu" com.canonical.dbusmenu.GetLayout int32:0 int32:-1 array:string: |
    awk '/int32/ {id = $2} /variant +string "Exit\((_|&)X\)"/ {print id}')
[ -n "$exit_id" ] || fail "the menu has no Exit(&X)"
item_call "$menu" com.canonical.dbusmenu.Event int32:"$exit_id" string:clicked variant:int32:0 uint32:0 >/dev/null
wait_for_exit "$pid" 10 "the menu's exit"
echo "1 passed, 0 failed"
