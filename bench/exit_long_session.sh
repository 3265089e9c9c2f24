#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# How long the program takes to end after SIGTERM at the end of a long session. Each
# session has its own display with openbox, an XEmbed tray and the demo chart server, and
# runs for MINUTES (default 10): the first price opens a notification dialog, Settings
# and About are opened and closed, the tray icon hides and restores the main window and
# opens its menu, and every later notification (one a poll) is closed as it comes.
# RUNS (default 20) sessions of each build run side by side, all at once; prints the
# median and the worst exit time of each build in milliseconds, and what the exit cost
# in the worst session: CPU time and page faults (from /proc before SIGTERM and GNU
# time's account at the end).
#   bench/exit_long_session.sh BEFORE_BIN_DIR AFTER_BIN_DIR [RUNS] [MINUTES]
# Needs what the end-to-end tests need, and GNU time (/usr/bin/time).
set -euo pipefail

if [ "${1:-}" = --session ]; then
    # One session: --session BIN_DIR RESULT_FILE SECONDS
    result=$3 seconds=$4
    set -- "$2"
    source "$(dirname "$0")/../tests/e2e/lib/e2e.bash"
    fail() {
        echo "fail: $*" >"$result"
        exit 1
    }
    start_xvfb
    start_wm
    fresh_user_folders
    start_trayer
    # A move of 12 dollars at every poll against a threshold of 10: a dialog each time.
    start_chartd --prices "$(seq -s, 1700 12 1900)" --quiet
    mkdir -p "$(dirname "$INI")"
    printf '[Option]\nLastPrice=1650.00\nPriceChange=10\n' >"$INI"
    # GNU time accounts for the whole run; /proc for the run until SIGTERM.
    /usr/bin/time -o "$E2E_TMP/usage" -f '%e %U %S %F %R' "$BIN_DIR/orvantis" \
        >"$E2E_TMP/session.log" 2>&1 &
    E2E_PIDS+=($!)
    timer=$!
    wait_for 10 pgrep -P "$timer" || fail "the program did not start"
    pid=$(pgrep -P "$timer")
    end=$((SECONDS + seconds))
    wait_for 30 visible_window '^Orvantis$' || fail "no main window"
    main=$(visible_window '^Orvantis$' | head -n 1)
    wait_for 30 visible_window '^Gold Price Changed$' || fail "no notification dialog"
    close_window '^Gold Price Changed$'

    # open_dialog X Y TITLE: clicks the main window there until the dialog shows, closes it.
    open_dialog() {
        local try
        for try in 1 2 3 4 5; do
            xdotool mousemove --window "$main" "$1" "$2" click 1
            wait_for 5 visible_window "^$3\$" && break
        done
        close_window "^$3\$"
    }
    eval "$(xdotool getwindowgeometry --shell "$main")"
    # Settings and About, by their places in the window's 185 x 92 dialog units.
    open_dialog $((WIDTH * 149 / 185)) $((HEIGHT * 75 / 184)) Settings
    open_dialog $((WIDTH * 167 / 185)) $((HEIGHT * 11 / 92)) 'About Orvantis'

    wait_for 30 tray_icon orvantis || fail "no tray icon"
    read -r ix iy iw ih <<<"$(window_geometry "$(tray_icon orvantis)")"
    click_icon() { xdotool mousemove $((ix + iw / 2)) $((iy + ih / 2)) click "$1"; }
    hidden() { ! is_viewable "$main"; }
    click_icon 1
    wait_for 10 hidden || fail "the icon did not hide the main window"
    click_icon 1
    wait_for 10 is_viewable "$main" || fail "the icon did not restore the main window"
    click_icon 3
    sleep 1
    xdotool key --clearmodifiers Escape

    while [ $SECONDS -lt $end ]; do
        if visible_window '^Gold Price Changed$' >/dev/null; then
            close_window '^Gold Price Changed$'
        fi
        sleep 2
    done
    # Ticks of user and system time, minor and major faults so far.
    read -r before_user before_system before_minor before_major < <(awk '{print $14, $15, $10, $12}' "/proc/$pid/stat")
    t0=$(date +%s%N)
    kill -TERM "$pid"
    status=0
    wait "$timer" || status=$?
    t1=$(date +%s%N)
    [ "$status" -eq 0 ] || fail "exit status $status"
    read -r _ user system major minor <"$E2E_TMP/usage"
    ticks=$(getconf CLK_TCK)
    awk -v ms=$(((t1 - t0) / 1000000)) -v u="$user" -v s="$system" -v bu="$before_user" \
        -v bs="$before_system" -v t="$ticks" -v mj="$major" -v mn="$minor" -v bmj="$before_major" \
        -v bmn="$before_minor" 'BEGIN {printf "%d cpu %d ms, faults %d minor %d major\n", ms,
            (u + s - (bu + bs) / t) * 1000, mn - bmn, mj - bmj}' >"$result"
    exit 0
fi

BEFORE=$(realpath "${1:?usage: $0 BEFORE_BIN_DIR AFTER_BIN_DIR [RUNS] [MINUTES]}")
AFTER=$(realpath "${2:?usage: $0 BEFORE_BIN_DIR AFTER_BIN_DIR [RUNS] [MINUTES]}")
RUNS=${3:-20}
MINUTES=${4:-10}
RESULTS=$(mktemp -d /tmp/orvantis-exit.XXXXXX)
trap 'rm -rf "$RESULTS"' EXIT

sessions=()
for run in $(seq "$RUNS"); do
    for build in before after; do
        bin=$BEFORE
        [ "$build" = after ] && bin=$AFTER
        bash "$0" --session "$bin" "$RESULTS/$build.$run.ms" $((MINUTES * 60)) \
            >"$RESULTS/$build.$run.log" 2>&1 &
        sessions+=($!)
        # Starting 2 x RUNS desktops at the same moment would only measure the start-up.
        sleep 2
    done
done
wait "${sessions[@]}" || true

for build in before after; do
    cat "$RESULTS"/$build.*.ms 2>/dev/null | grep '^fail' | sort | uniq -c | sed "s/^/$build: /" >&2 || true
    cat "$RESULTS"/$build.*.ms 2>/dev/null | grep -E '^[0-9]+ ' | sort -n | awk -v name="$build" '
        { t[NR] = $1; worst = $0 } END { if (NR) printf "%-7s median %5d ms, worst %5d ms (%d sessions); the worst: %s\n",
                                            name, t[int((NR + 1) / 2)], t[NR], NR, worst }'
done
