#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Under KWin on Wayland (Plasma's compositor, with XWayland) three notifications pile up
# three "Gold Price Changed" dialogs: KWin numbers none of the program's windows ("<2>"),
# and each dialog answers its own OK, Enter and Esc, the oldest first. Minimised with
# KWin's own minimise, the main window comes back at the first click on the tray icon.
source "$(dirname "$0")/lib/e2e.bash"
for tool in kwin_wayland Xwayland xdotool; do
    command -v $tool >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
# Xwayland puts its socket there; only root may make the shared folder.
[ -d /tmp/.X11-unix ] || mkdir -m 1777 /tmp/.X11-unix 2>/dev/null || { echo "SKIP: no /tmp/.X11-unix"; exit 77; }
fresh_user_folders
start_chartd --prices 1660,1670,1680
user_session "$E2E_TMP/kwin" # run as the user a desktop session has
printf '[Option]\nPriceChange=5\nLastPrice=1650.00\nFloatPos=900,100\n' >"$INI"
# A copy without the file capabilities that the package gives it, which a container or
# an unprivileged user cannot take on.
cp "$(command -v kwin_wayland)" "$DIR/kwin_wayland"
own_session_folder
start_session_user_bus
session "$DIR/kwin_wayland" --virtual --xwayland --socket orvantis-kwin --width 1280 --height 800 \
    "sh -c 'echo \$DISPLAY >$DIR/run/display'" >"$E2E_TMP/kwin.log" 2>&1 &
KWIN_PID=$!
trap '{ kill -TERM $KWIN_PID; wait $KWIN_PID; } 2>/dev/null || true; e2e_cleanup' EXIT # KWin ends its Xwayland
wait_for 20 test -s "$DIR/run/display" || fail "kwin_wayland did not start"
ENV+=(DISPLAY="$(cat "$DIR/run/display")" WAYLAND_DISPLAY=orvantis-kwin ORVANTIS_STALE_SECONDS=5)
x() { (session "$@"); } # an X client of the session, in the foreground
start_session_program
pid=$ORVANTIS_PID

# The program's windows KWin manages, one "ID CAPTION" line each, oldest first: the caption
# KWin shows is its visible name, which it sets only where it differs from the window's.
managed() {
    local w
    for w in $(x xprop -root _NET_CLIENT_LIST | grep -o '0x[0-9a-f]*'); do
        x xprop -id "$w" WM_CLASS | grep -q '"orvantis"' || continue
        echo "$w $(x xprop -id "$w" _NET_WM_VISIBLE_NAME _NET_WM_NAME | sed -n 's/.* = "\(.*\)"$/\1/p' | sed -n 1p)"
    done
}
dialogs() { managed | grep ' Gold Price Changed' | cut -d' ' -f1; }
dialog_count() { [ "$(dialogs | wc -l)" = "$1" ]; }
wait_for 20 grep -q '^CurrentPrice=1680.00$' "$INI" && wait_for 10 dialog_count 3 ||
    fail "not three dialogs: $(managed | tr '\n' ';')"
windows=$(managed)
! grep -q '<[0-9]*>' <<<"$windows" || fail "KWin numbered a caption: $(tr '\n' ';' <<<"$windows")"
main=$(sed -n 's/ Orvantis$//p' <<<"$windows")
[ -n "$main" ] || fail "no main window: $(tr '\n' ';' <<<"$windows")"

# They open over one another: each is brought to the front as from the task bar, then the
# oldest answered by its OK button (36, 53, 50 x 14 of the dialog's 123 x 74 units), the
# next by Enter, the newest by Esc; each closes only itself.
answer() { # WINDOW HOW
    x xdotool windowactivate "$1" 2>/dev/null || true
    active() { x xprop -root _NET_ACTIVE_WINDOW | grep -q "# $1\$"; }
    wait_for 5 active "$1" || fail "KWin did not activate the dialog $1 ($(x xprop -root _NET_ACTIVE_WINDOW))"
    sleep 0.5 # the program hears of it
    if [ "$2" = click ]; then
        eval "$(x xdotool getwindowgeometry --shell "$1")"
        x xdotool mousemove --window "$1" $((WIDTH * 61 / 123)) $((HEIGHT * 60 / 74)) click 1
    else
        x xdotool key --clearmodifiers "$2"
    fi
    gone() { ! grep -qx "$1" <<<"$(dialogs)"; }
    wait_for 5 gone "$1" || fail "the dialog $1 did not close on $2"
}
left=3
for how in click Return Escape; do
    oldest=$(dialogs | sed -n 1p)
    answer "$oldest" "$how"
    left=$((left - 1))
    dialog_count $left || fail "$how closed more than the oldest dialog: $(managed | tr '\n' ';')"
done

# KWin's minimise (as its title bar button does it), then one click on the tray icon.
wait_for 5 grep -q '^registered' "$E2E_TMP/sni.log" || fail "no tray icon"
ITEM=$(sed -n 's/^registered //p' "$E2E_TMP/sni.log" | head -n 1)
iconic() { x xprop -id "$main" WM_STATE | grep -q Iconic; }
x xdotool windowminimize "$main"
wait_for 5 iconic || fail "KWin did not minimise the main window"
x dbus-send --session --print-reply --dest="${ITEM%%/*}" "/${ITEM#*/}" \
    org.kde.StatusNotifierItem.Activate int32:0 int32:0 >/dev/null
restored() { ! iconic && x xwininfo -id "$main" | grep -q 'IsViewable'; }
wait_for 5 restored || fail "one click on the tray icon did not bring the minimised window back"
kill -TERM $pid && wait_for_exit $pid 5 SIGTERM
echo "1 passed, 0 failed"
