#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# On sway the program runs through XWayland, where sway would centre a managed floating
# window, make it at least 75 x 50, ignore its shape and stack it under newer windows.
# The floating window is 112 x 25 at its stored place, over the main window, with neither
# the key colour nor a black band on screen, and a logout stores no place.
source "$(dirname "$0")/lib/e2e.bash"
for tool in sway Xwayland grim swaymsg; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
fresh_user_folders
start_chartd --prices 1662.50

# sway refuses to run as root: then the session is an unprivileged user's.
as_user=()
[ "$(id -u)" -eq 0 ] && as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
chmod 755 "$E2E_TMP"
SWAY_DIR="$E2E_TMP/sway"
mkdir -p "$SWAY_DIR/home/config/Tamberlo/Orvantis" && mkdir -m 700 "$SWAY_DIR/run"
INI="$SWAY_DIR/home/config/Tamberlo/Orvantis/gold.ini"
# Over the middle of the screen, where sway centres the main window.
printf '[Option]\nPriceChange=1000\nLastPrice=1650.00\nFloatPos=584,388\n' >"$INI"
BACKGROUND=00a0a0
cat >"$SWAY_DIR/config" <<EOF
output HEADLESS-1 resolution 1280x800 position 0,0 bg #$BACKGROUND solid_color
xwayland enable
exec sh -c 'echo \$DISPLAY \$WAYLAND_DISPLAY >$SWAY_DIR/run/display'
EOF
[ ${#as_user[@]} -gt 0 ] && chown -R 65534:65534 "$SWAY_DIR"
# session ARGS...: a command of the session's user, in the session's environment; run in
# the background, its pid is the command's own.
SESSION_ENV=(HOME="$SWAY_DIR/home" XDG_RUNTIME_DIR="$SWAY_DIR/run" PATH="$PATH"
    XDG_CONFIG_HOME="$SWAY_DIR/home/config")
for name in ASAN_OPTIONS LSAN_OPTIONS UBSAN_OPTIONS TSAN_OPTIONS; do # sanitizer runs
    [ -n "${!name:-}" ] && SESSION_ENV+=("$name=${!name}")
done
session() { (exec "${as_user[@]}" env -i "${SESSION_ENV[@]}" "$@"); }
session_bg() { exec "${as_user[@]}" env -i "${SESSION_ENV[@]}" "$@"; }
session_bg env WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman \
    sway -c "$SWAY_DIR/config" >"$E2E_TMP/sway.log" 2>&1 &
SWAY_PID=$!
# sway ends its Xwayland and background with itself, when asked to end.
trap 'kill -TERM $SWAY_PID 2>/dev/null; wait $SWAY_PID 2>/dev/null; e2e_cleanup' EXIT
ipc_socket() { ls "$SWAY_DIR"/run/sway-ipc.*.sock; }
wait_for 15 test -s "$SWAY_DIR/run/display" || fail "sway did not start"
wait_for 15 ipc_socket || fail "sway did not open its socket"
read -r x_display wayland_display <"$SWAY_DIR/run/display"
SESSION_ENV+=(DISPLAY="$x_display" WAYLAND_DISPLAY="$wayland_display" SWAYSOCK="$(ipc_socket)"
    ORVANTIS_CHART_SERVER="$ORVANTIS_CHART_SERVER" ORVANTIS_NOTIFY_SERVER="$ORVANTIS_NOTIFY_SERVER")

session_bg "$BIN_DIR/orvantis" >"$E2E_TMP/run.log" 2>&1 &
pid=$!
E2E_PIDS+=("$pid")
# floating: the X window of the floating window, "ID X Y WIDTH HEIGHT".
floating() {
    session xwininfo -root -tree | grep -i '"Orvantis": ("orvantis"' |
        awk '{ split($(NF-1), g, /[x+]/); print $1, g[3], g[4], g[1], g[2] }' | grep ' 112 25$\| 75 50$\| 112 50$' | head -n 1
}
# views: the windows of the program that sway manages, "X Y WIDTH HEIGHT TITLE" each.
views() {
    session swaymsg -t get_tree | python3 -c '
import json, sys
def walk(n):
    if n.get("window_properties", {}).get("instance") == "orvantis" or n.get("app_id") == "orvantis":
        r = n["rect"]
        print(r["x"], r["y"], r["width"], r["height"], n.get("name"))
    for c in n.get("nodes", []) + n.get("floating_nodes", []):
        walk(c)
walk(json.load(sys.stdin))'
}
wait_for 15 grep -q '^CurrentPrice=1662.50$' "$INI" || fail "no price read under sway"
has_views() { [ "$(views | wc -l)" -ge 1 ]; }
wait_for 10 has_views || fail "sway shows no window of the program"
wait_for 10 floating >/dev/null || fail "no floating window on the X display"
read -r _ fx fy fw fh <<<"$(floating)"
[ "$fw x $fh at $fx,$fy" = "112 x 25 at 584,388" ] || fail "floating window $fw x $fh at $fx,$fy"
[ "$(views | wc -l)" -eq 1 ] || fail "sway manages more than the main window: $(views)"
read -r mx my mw mh _ <<<"$(views)"
[ "$fx" -ge "$mx" ] && [ $((fx + 112)) -le $((mx + mw)) ] && [ "$fy" -ge "$my" ] &&
    [ $((fy + 25)) -le $((my + mh)) ] || fail "the floating window is not over the main window ($mx $my $mw $mh)"

sleep 1 # a frame for the last paint
session grim "$SWAY_DIR/run/shot.png" || fail "grim failed"
cp "$SWAY_DIR/run/shot.png" "$E2E_TMP/shot.png"
# The floating window's rectangle, pixel by pixel: "X Y R G B".
pixels() {
    convert "$E2E_TMP/shot.png" -crop "112x25+$fx+$fy" -depth 8 txt:- |
        sed -n 's/^\([0-9]*\),\([0-9]*\): (\([0-9]*\),\([0-9]*\),\([0-9]*\).*/\1 \2 \3 \4 \5/p'
}
pixels | awk '
    $3 > 200 && $4 < 80 && $5 > 200 { key++ }
    { row[$2] += ($3 < 40 && $4 < 40 && $5 < 40) }
    # The skin is cream: redder than blue, unlike the grey main window under it.
    $1 >= 12 && $1 < 100 && $2 >= 3 && $2 < 22 && $3 > $5 + 12 { skin++; inner++ }
    $1 >= 12 && $1 < 100 && $2 >= 3 && $2 < 22 && !($3 > $5 + 12) { inner++ }
    END {
        for (y in row) if (row[y] > 56) { print "a black band in row " y; bad = 1 }
        if (key) { print key " pixels of the key colour"; bad = 1 }
        if (skin < inner * 0.6) { print "the skin covers only " skin " of " inner " pixels: behind the main window?"; bad = 1 }
        exit bad
    }' || fail "the floating window does not look right (screenshot: $E2E_TMP/shot.png)"

kill -TERM "$pid"
wait_for_exit "$pid" 5 SIGTERM
grep -q '^FloatPos=584,388$' "$INI" || fail "a logout changed FloatPos: $(grep FloatPos "$INI")"
echo "1 passed, 0 failed"
