#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Under GNOME (gnome-shell headless, the program on its XWayland, no tray anywhere):
# Minimize minimises the main window and a second start gives it back; a second start
# brings the window to the front over another program's with the launch's startup id; two
# notification dialogs are answered the oldest first. gnome-shell runs as an unprivileged
# user in a mount and network namespace of its own, with an empty system bus.
command -v gnome-shell >/dev/null || { echo "SKIP: gnome-shell is not installed"; exit 77; }
if [ -z "${ORVANTIS_E2E_PRIVATE:-}" ]; then
    [ "$(id -u)" -eq 0 ] || { echo "SKIP: needs root for the namespaces"; exit 77; }
    # Its own loopback, /tmp (X display numbers and their locks) and abstract sockets:
    # nothing of the machine's desktop, or of a parallel test, is in reach.
    exec unshare --mount --net env ORVANTIS_E2E_PRIVATE=1 bash "$0" "$@"
fi
ip link set lo up && mount -t tmpfs -o mode=1777 tmpfs /tmp && mkdir -m 1777 /tmp/.X11-unix ||
    { echo "FAIL: no private namespace" >&2; exit 1; }
source "$(dirname "$0")/lib/e2e.bash"
fresh_user_folders
start_chartd --start 1650 --step 5
user_session "$E2E_TMP/gnome" # gnome-shell refuses to run as root
printf '[Option]\nPriceChange=1000\nLastPrice=1650.00\n' >"$INI"
sed "s|@SOCKET@|$DIR/system_bus|" >"$DIR/system.conf" <<'EOF'
<busconfig><type>system</type><listen>unix:path=@SOCKET@</listen><auth>EXTERNAL</auth>
<policy context="default"><allow user="*"/><allow own="*"/><allow send_type="*"/>
<allow receive_type="*"/></policy></busconfig>
EOF
own_session_folder
ENV+=(XDG_SESSION_TYPE=wayland DBUS_SYSTEM_BUS_ADDRESS="unix:path=$DIR/system_bus")
session dbus-daemon --config-file="$DIR/system.conf" --nofork --nopidfile >"$E2E_TMP/system-bus.log" 2>&1 &
E2E_PIDS+=($!)
wait_for 10 test -S "$DIR/system_bus" || fail "the system bus did not start"
start_session_user_bus
session gnome-shell --headless --virtual-monitor 1280x800 --wayland >"$E2E_TMP/gnome-shell.log" 2>&1 &
SHELL_PID=$!
stop_shell() { # it ends its XWayland
    kill -TERM $SHELL_PID 2>/dev/null && wait_for 5 eval '! kill -0 $SHELL_PID' || kill -9 $SHELL_PID 2>/dev/null
    wait $SHELL_PID 2>/dev/null || true
}
trap 'stop_shell; e2e_cleanup' EXIT
export DISPLAY=:0
wait_for 60 eval 'ls "$DIR"/run/.mutter-Xwaylandauth.* && test -S /tmp/.X11-unix/X0' || fail "no XWayland"
XAUTHORITY=$(ls "$DIR"/run/.mutter-Xwaylandauth.* | head -n 1) && export XAUTHORITY
wait_for 60 sh -c 'xprop -root -notype _NET_SUPPORTING_WM_CHECK | grep -q "window id"' || fail "mutter did not manage the display"
# The session starts in the overview, which holds every window back; the user leaves it.
overview() { (session dbus-send --session --print-reply --dest=org.gnome.Shell /org/gnome/Shell \
    org.freedesktop.DBus.Properties."$1" string:org.gnome.Shell string:OverviewActive ${2:+"$2"}); }
wait_for 60 grep -q "GNOME Shell started" "$E2E_TMP/gnome-shell.log" || fail "gnome-shell did not start up"
wait_for 30 overview Set variant:boolean:false || fail "gnome-shell is not on the session bus"
wait_for 10 eval 'overview Get | grep -q "boolean false"' || fail "the overview stayed open"
ENV+=(DISPLAY=:0 XAUTHORITY="$XAUTHORITY" WAYLAND_DISPLAY=wayland-0
    ORVANTIS_CHART_SERVER="$ORVANTIS_CHART_SERVER" ORVANTIS_NOTIFY_SERVER="$ORVANTIS_NOTIFY_SERVER")
active() { xprop -root _NET_ACTIVE_WINDOW | sed -n 's/.*# \(0x[0-9a-f]*\).*/\1/p'; }
state() { xprop -id "$1" WM_STATE | sed -n 's/.*window state: //p'; }
hex() { printf '0x%x\n' "$@"; }
orvantis() { session "$BIN_DIR/orvantis" "$@"; }

orvantis >"$E2E_TMP/run.log" 2>&1 &
pid=$!
E2E_PIDS+=($pid)
wait_for 30 visible_window '^Orvantis$' || fail "no main window"
main=$(hex "$(visible_window '^Orvantis$' | head -n 1)")
wait_for 10 eval '[ "$(active)" = "$main" ]' || timeout 5 xdotool windowactivate --sync "$main"
xdotool key --clearmodifiers Return # the default button, Minimize
wait_for 5 eval '[ "$(state "$main")" = Iconic ]' || fail "Minimize left the main window $(state "$main")"
# A start from the launcher carries the launch's startup id with the time of the click
# (XWayland's clock is the monotonic one).
launch() {
    local now
    now=$(python3 -c 'import time; print(int(time.monotonic() * 1000) & 0xffffffff)')
    (ENV+=(DESKTOP_STARTUP_ID="e2e-launcher-$1-orvantis_TIME$now") && orvantis) >"$E2E_TMP/second.log" 2>&1 ||
        fail "second start $1 failed"
}
(orvantis) >"$E2E_TMP/second.log" 2>&1 || fail "the second start failed" # as an older launcher
wait_for 5 eval '[ "$(state "$main")" = Normal ]' || fail "a second start left the main window $(state "$main")"
# Minimised again, the program must not still believe it minimised from before.
timeout 5 xdotool windowactivate --sync "$main" && xdotool key --clearmodifiers Return
wait_for 5 eval '[ "$(state "$main")" = Iconic ]' || fail "the second Minimize left it $(state "$main")"
launch 1
wait_for 5 eval '[ "$(state "$main")" = Normal ]' || fail "the second restore left it $(state "$main")"
wait_for 5 eval '[ "$(active)" = "$main" ]' || fail "the restored window is not active ($(active))"

# Another program is in front, as when the user works in it.
session xmessage -geometry 400x300+200+150 "in front" >/dev/null 2>&1 &
E2E_PIDS+=($!)
wait_for 10 xdotool search --class Xmessage || fail "no xmessage"
other=$(hex "$(xdotool search --class Xmessage | head -n 1)")
timeout 5 xdotool windowactivate --sync "$other"
wait_for 5 eval '[ "$(active)" = "$other" ]' || fail "xmessage did not become active"
launch 2
wait_for 5 eval '[ "$(active)" = "$main" ]' || fail "a second start left $(active) in front, not $main"
timeout 5 xdotool windowactivate --sync "$main" && xdotool key --clearmodifiers Escape && wait_for_exit $pid 5 Esc

# A change at every poll; the chart server stops once two dialogs are open.
printf '[Option]\nPriceChange=1\nLastPrice=1650.00\n' >"$INI" && chown 65534 "$INI"
(ENV+=(ORVANTIS_STALE_SECONDS=5) && orvantis) >"$E2E_TMP/notify.log" 2>&1 &
pid=$!
E2E_PIDS+=($pid)
tips() { xdotool search --onlyvisible --name '^Gold Price Changed' 2>/dev/null | sort -n; }
wait_for 30 eval '[ "$(tips | wc -l)" -ge 2 ]' || fail "no two notification dialogs"
stop_chartd
sleep 1 # a poll in flight
mapfile -t open < <(tips)
# The oldest first, with Enter, while the newer ones stay; then the rest with Esc.
for key in Return Escape Escape Escape; do
    [ ${#open[@]} -gt 0 ] || break
    timeout 5 xdotool windowactivate --sync "${open[0]}" && xdotool key --clearmodifiers "$key"
    wait_for 5 eval '! tips | grep -qx "${open[0]}"' || fail "the oldest dialog did not answer $key"
    open=("${open[@]:1}")
    [ "$(tips | wc -l)" -eq ${#open[@]} ] || fail "$key closed more than the oldest dialog"
done
[ "$key" != Return ] || fail "fewer than two dialogs were answered"
kill -TERM $pid && wait_for_exit $pid 5 SIGTERM
echo "1 passed, 0 failed"
