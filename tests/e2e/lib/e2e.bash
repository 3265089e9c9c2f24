# SPDX-License-Identifier: MIT
# Shared steps of the end-to-end tests: a private Xvfb display, a fresh settings and
# runtime folder, the demo chart server on loopback, and waiting without sleeping blind.
set -euo pipefail

BIN_DIR=${1:?usage: $0 BIN_DIR}
E2E_TMP=$(mktemp -d /tmp/orvantis-e2e.XXXXXX)
E2E_PIDS=()
XVFB_PID=
# The programs' wall clock starts on a Wednesday afternoon in New York, within a trading
# session, so that a silent source is stale on any day the tests run; a test of the
# market's hours sets its own instant.
export ORVANTIS_NOW=${ORVANTIS_NOW:-2026-12-09T18:00:00Z}

e2e_cleanup() {
    local pid
    for pid in "${E2E_PIDS[@]}"; do kill -9 "$pid" 2>/dev/null || true; done
    # Xvfb ends on TERM and removes its lock and socket files itself.
    if [ -n "$XVFB_PID" ]; then
        kill -TERM "$XVFB_PID" 2>/dev/null || true
    fi
    wait 2>/dev/null || true
    rm -rf "$E2E_TMP"
}
trap e2e_cleanup EXIT

fail() {
    echo "FAIL: $*" >&2
    for f in "$E2E_TMP"/*.log; do
        [ -f "$f" ] && { echo "--- $f" >&2; tail -n 20 "$f" >&2; }
    done
    exit 1
}

# wait_for SECONDS COMMAND...: true as soon as the command succeeds.
wait_for() {
    local deadline=$((SECONDS + $1))
    shift
    until "$@" >/dev/null 2>&1; do
        [ $SECONDS -ge $deadline ] && return 1
        sleep 0.1
    done
}

# Xvfb picks a free display itself and says which: tests of other checkouts may be
# starting displays on this machine at the same moment. Without -noreset the server
# resets whenever its last client leaves (xdpyinfo below, a killed program), and a
# client that connects during the reset is refused.
start_xvfb() {
    Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp -noreset 3>"$E2E_TMP/display" >"$E2E_TMP/xvfb.log" 2>&1 &
    XVFB_PID=$!
    wait_for 10 test -s "$E2E_TMP/display" || fail "Xvfb did not start"
    export DISPLAY=":$(head -n 1 "$E2E_TMP/display")"
    wait_for 10 xdpyinfo || fail "the display does not answer"
}

fresh_user_folders() {
    export XDG_CONFIG_HOME="$E2E_TMP/config"
    export XDG_DATA_HOME="$E2E_TMP/data"
    export XDG_RUNTIME_DIR="$E2E_TMP/run"
    mkdir -p "$XDG_CONFIG_HOME" && mkdir -m 700 "$XDG_RUNTIME_DIR"
    # No session bus unless a test starts its own: nothing of the machine's desktop leaks in.
    export DBUS_SESSION_BUS_ADDRESS="unix:path=$E2E_TMP/no-bus"
    INI="$XDG_CONFIG_HOME/Tamberlo/Orvantis/gold.ini"
    SOCKET="$XDG_RUNTIME_DIR/Tamberlo-Orvantis-TrayWnd-32JEZMR5"
}

# start_chartd ARGS...: the demo chart server on a free loopback port; both servers
# of the program point at it.
start_chartd() {
    rm -f "$E2E_TMP/port"
    "$BIN_DIR/orvantis-chartd" --port 0 --port-file "$E2E_TMP/port" "$@" >"$E2E_TMP/chartd.log" 2>&1 &
    CHARTD_PID=$!
    E2E_PIDS+=("$CHARTD_PID")
    wait_for 10 test -s "$E2E_TMP/port" || fail "orvantis-chartd did not start"
    export ORVANTIS_CHART_SERVER="http://127.0.0.1:$(cat "$E2E_TMP/port")"
    export ORVANTIS_NOTIFY_SERVER="$ORVANTIS_CHART_SERVER"
}

# start_orvantis NAME ARGS...: the program in the background; its pid in ORVANTIS_PID.
start_orvantis() {
    local name=$1
    shift
    "$BIN_DIR/orvantis" "$@" >"$E2E_TMP/$name.log" 2>&1 &
    ORVANTIS_PID=$!
    E2E_PIDS+=("$ORVANTIS_PID")
}

stop_chartd() {
    kill -TERM "$CHARTD_PID" 2>/dev/null || true
    wait "$CHARTD_PID" 2>/dev/null || true
}

# visible_window REGEX: the visible windows whose title (WM_NAME) matches. The floating
# window is "Orvantis price"; the tray icon has an empty title, which X11 toolkits fill
# with the program's name in _NET_WM_NAME only, so it never matches "^Orvantis$".
visible_window() {
    local win name found=1
    for win in $(xdotool search --onlyvisible --name "$1" 2>/dev/null); do
        name=$(xprop -id "$win" -notype WM_NAME 2>/dev/null | sed -n 's/^WM_NAME = "\(.*\)"$/\1/p')
        if [[ $name =~ $1 ]]; then
            echo "$win"
            found=0
        fi
    done
    return $found
}

# start_wm [NAME]: a window manager (openbox unless named), so that windows are placed,
# stacked, minimised and moved as on a desktop.
start_wm() {
    local wm=${1:-openbox}
    "$wm" >"$E2E_TMP/$wm.log" 2>&1 &
    E2E_PIDS+=($!)
    wait_for 10 sh -c 'xprop -root -notype _NET_SUPPORTING_WM_CHECK | grep -q "window id"' ||
        fail "$wm did not take over the display"
}

# An XEmbed tray along the top left corner; its pid in TRAYER_PID.
start_trayer() {
    trayer --edge top --align left --widthtype pixel --width 120 --height 24 >"$E2E_TMP/trayer.log" 2>&1 &
    TRAYER_PID=$!
    E2E_PIDS+=("$TRAYER_PID")
    wait_for 10 xdotool search --onlyvisible --classname '^panel$' || fail "trayer did not start"
}

# A private D-Bus session bus for this test.
start_session_bus() {
    dbus-daemon --session --nofork --nopidfile --print-address=1 >"$E2E_TMP/bus" 2>"$E2E_TMP/dbus.log" &
    E2E_PIDS+=($!)
    wait_for 10 test -s "$E2E_TMP/bus" || fail "dbus-daemon did not start"
    DBUS_SESSION_BUS_ADDRESS=$(head -n 1 "$E2E_TMP/bus")
    export DBUS_SESSION_BUS_ADDRESS
}

# start_watcher NAME: a StatusNotifierItem watcher and host on the session bus, logging
# to NAME.log a line "registered SERVICE/PATH" per item; its pid in WATCHER_PID.
start_watcher() {
    "$BIN_DIR/orvantis-sni-host" >"$E2E_TMP/$1.log" 2>&1 &
    WATCHER_PID=$!
    E2E_PIDS+=("$WATCHER_PID")
    wait_for 10 grep -q '^ready$' "$E2E_TMP/$1.log" || fail "the watcher did not start"
}

# window_geometry WIN: "X Y WIDTH HEIGHT" of the window on the screen.
window_geometry() {
    xwininfo -id "$1" | awk '/Absolute upper-left X/ {x=$NF} /Absolute upper-left Y/ {y=$NF}
        /^ *Width:/ {w=$NF} /^ *Height:/ {h=$NF} END {print x, y, w, h}'
}

is_viewable() { xwininfo -id "$1" 2>/dev/null | grep -q 'Map State: IsViewable'; }

# The program's visible window of that size, e.g. the floating window: window_of_size 112 25.
window_of_size() {
    local win
    for win in $(xdotool search --onlyvisible --class '^orvantis$' 2>/dev/null); do
        read -r _ _ w h <<<"$(window_geometry "$win")"
        if [ "$w" = "$1" ] && [ "$h" = "$2" ]; then
            echo "$win"
            return 0
        fi
    done
    return 1
}

# tray_icon CLASS: the window of that program's class embedded in the tray.
tray_icon() {
    local panel w
    panel=$(xdotool search --onlyvisible --classname '^panel$' | head -n 1) || return 1
    for w in $(xdotool search --class "^$1\$" 2>/dev/null); do
        if is_viewable "$w" && xwininfo -tree -id "$panel" | grep -q "$(printf '0x%x ' "$w")"; then
            echo "$w"
            return 0
        fi
    done
    return 1
}

# pixel X Y: the colour of a screen pixel as #RRGGBB.
pixel() {
    import -window root -crop "1x1+$1+$2" -depth 8 txt:- 2>/dev/null | sed -n 's/.*\(#[0-9A-Fa-f]\{6\}\).*/\1/p' | tail -n 1
}

# Presses Esc in the first visible window whose title matches, and waits until it is gone.
close_window() {
    local win
    win=$(visible_window "$1" | head -n 1) || fail "no window '$1' to close"
    xdotool windowfocus --sync "$win" 2>/dev/null || xdotool windowfocus "$win"
    xdotool key --clearmodifiers Escape
    local deadline=$((SECONDS + 5))
    while visible_window "$1" | grep -qx "$win"; do
        [ $SECONDS -ge $deadline ] && fail "window '$1' did not close on Esc"
        sleep 0.1
    done
}

# wait_for_exit PID SECONDS WHAT: the program ends within SECONDS of WHAT, with status 0.
wait_for_exit() {
    local pid=$1 deadline=$((SECONDS + $2))
    while kill -0 "$pid" 2>/dev/null; do
        [ $SECONDS -ge $deadline ] && fail "the program did not end within $2 s of $3"
        sleep 0.05
    done
    wait "$pid" || fail "the program ended with status $? after $3"
}

# Ends the program with Esc in its main window and checks the exit status.
exit_with_escape() {
    local pid=$1 win
    win=$(visible_window '^Orvantis$' | head -n 1) || fail "no main window to press Esc in"
    xdotool windowfocus --sync "$win" 2>/dev/null || xdotool windowfocus "$win"
    xdotool key --clearmodifiers Escape
    wait_for_exit "$pid" 5 Esc
}

xmessage_at() { # GEOMETRY: a new xmessage window, its id in XM
    xmessage -geometry "$1" "$1" >/dev/null 2>&1 &
    E2E_PIDS+=($!)
    wait_for 10 xdotool search --pid $! --class Xmessage || fail "no xmessage"
    XM=$(printf '0x%x' "$(xdotool search --pid $! --class Xmessage | head -n 1)")
}

# top_of A B: window A is stacked above window B.
top_of() { xprop -root _NET_CLIENT_LIST_STACKING | grep -oE "\b($1|$2)\b" | tail -n 1 | grep -qx "$1"; }

# cover_with_always_on_top WIN: a competing always-on-top window over WIN, mapped with that
# state as such programs are, and active (the user works in it); its id in XM. False when
# it is not over WIN within 2 s (WIN may have been raised in between).
cover_with_always_on_top() {
    local x y
    read -r x y _ <<<"$(window_geometry "$1")"
    xmessage_at "200x60+$((x - 20))+$((y - 20))"
    xdotool windowunmap --sync "$XM"
    xprop -id "$XM" -f _NET_WM_STATE 32a -set _NET_WM_STATE _NET_WM_STATE_ABOVE
    xdotool windowmap --sync "$XM"
    xdotool windowactivate --sync "$XM"
    wait_for 2 top_of "$XM" "$1"
}

# user_session DIR: a home and a private runtime folder under DIR, with gold.ini in INI,
# for compositors that refuse to run as root (they then run as nobody). session CMD...
# runs a command there with only the session's environment (ENV, which callers extend),
# in place of the calling shell: run it in the background or in a subshell.
user_session() {
    DIR=$1
    chmod 755 "$E2E_TMP" && mkdir -p "$DIR/home/ini" && mkdir -m 700 "$DIR/run"
    INI="$DIR/home/ini/Tamberlo/Orvantis/gold.ini" && mkdir -p "$(dirname "$INI")"
    as_user=()
    [ "$(id -u)" -ne 0 ] || as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
    ENV=(HOME="$DIR/home" XDG_RUNTIME_DIR="$DIR/run" XDG_CONFIG_HOME="$DIR/home/ini" PATH="$PATH")
    local name
    for name in ASAN_OPTIONS LSAN_OPTIONS UBSAN_OPTIONS TSAN_OPTIONS; do
        [ -z "${!name:-}" ] || ENV+=("$name=${!name}")
    done
}
session() { exec "${as_user[@]}" env -i "${ENV[@]}" "$@"; }

# Gives the session's user its folder, once the test has written what it needs there.
own_session_folder() { [ ${#as_user[@]} -eq 0 ] || chown -R 65534 "$DIR"; }

# A D-Bus session bus of the session's user; its address joins ENV.
start_session_user_bus() {
    session dbus-daemon --session --nofork --nopidfile --print-address=1 >"$DIR/run/bus" 2>/dev/null &
    E2E_PIDS+=($!)
    wait_for 10 test -s "$DIR/run/bus" || fail "dbus-daemon did not start"
    ENV+=(DBUS_SESSION_BUS_ADDRESS="$(head -n 1 "$DIR/run/bus")")
}

# The tray host (a StatusNotifierItem watcher), then the program, in the session, both
# pointed at the chart server; the program's pid in ORVANTIS_PID.
start_session_program() {
    ENV+=(ORVANTIS_CHART_SERVER="$ORVANTIS_CHART_SERVER" ORVANTIS_NOTIFY_SERVER="$ORVANTIS_NOTIFY_SERVER")
    session "$BIN_DIR/orvantis-sni-host" >"$E2E_TMP/sni.log" 2>&1 &
    E2E_PIDS+=($!)
    wait_for 10 grep -q '^ready$' "$E2E_TMP/sni.log" || fail "the tray host did not start"
    session "$BIN_DIR/orvantis" >"$E2E_TMP/run.log" 2>&1 &
    ORVANTIS_PID=$!
    E2E_PIDS+=($ORVANTIS_PID)
}

# status_json, status_is CLASS: what orvantis-chart --status --json says of the program.
status_json() { "$BIN_DIR/orvantis-chart" --status --json; }
status_is() { status_json | grep -q "\"class\":\"$1\""; }

# shows COLOUR [GEOMETRY]: pixels of that colour (green, grey, black, or colour: any
# that is not grey) on the screen, by default inside the floating window's outline
# (at fx, fy).
shows() {
    import -window root -crop "${2:-100x17+$((fx + 6))+$((fy + 4))}" -depth 8 txt:- 2>/dev/null |
        sed -n 's/^[0-9]*,[0-9]*: (\([0-9]*\),\([0-9]*\),\([0-9]*\).*/\1 \2 \3/p' |
        awk -v want="$1" '
            $2 > $1 + 60 && $2 > $3 + 60 { n["green"]++ }
            $1 < 40 && $2 < 40 && $3 < 40 { n["black"]++ }
            $1 >= 120 && $1 <= 136 && $1 == $2 && $2 == $3 { n["grey"]++ }
            $1 - $3 > 40 || $3 - $1 > 40 { n["colour"]++ }
            END { exit !(n[want] > 0) }'
}

# start_faulty_source: the demo chart server at 1660.00, its answers switched by
# "fault ok|status:404|noanchor|...", a notified price of 1650.00, and polls a second apart.
fault() { echo "$1" >"$E2E_TMP/fault"; }
start_faulty_source() {
    fault ok
    start_chartd --prices 1660.00 --fault-file "$E2E_TMP/fault"
    mkdir -p "$(dirname "$INI")"
    printf '[Option]\nLastPrice=1650.00\nPriceChange=100\n' >"$INI"
    # Regular polls a fifth of it apart: one a second.
    export ORVANTIS_STALE_SECONDS=5
}
