# SPDX-License-Identifier: MIT
# The idle program on a private desktop (Xvfb, openbox, an XEmbed tray) with the demo
# chart server answering every poll: what the desktop figures measure.
BUILD_DIR=$(cd "${1:-$(dirname "${BASH_SOURCE[0]}")/../../build-ci}" && pwd)
source "$(dirname "${BASH_SOURCE[0]}")/../../tests/e2e/lib/e2e.bash" "$BUILD_DIR/bin"

# Starts Orvantis hidden (-s) with its floating window and tray icon; its pid in IDLE_PID.
start_idle_orvantis() {
    start_xvfb
    start_wm
    start_trayer
    fresh_user_folders
    start_chartd --prices 1650.25
    mkdir -p "$(dirname "$INI")"
    # The price matches the reference: no notification dialog, only the idle program.
    printf '[Option]\nLastPrice=1650.25\n' >"$INI"
    start_orvantis idle -s
    IDLE_PID=$ORVANTIS_PID
    wait_for 15 grep -q '^CurrentPrice=1650.25$' "$INI" || fail "the idle program read no price"
    wait_for 10 window_of_size 112 25 || fail "no floating window"
}

# KiB of one line of /proc/PID/smaps_rollup.
smaps_kib() { awk -v key="$2:" '$1 == key {print $2}' "/proc/$1/smaps_rollup"; }

# CPU ticks (user + system) the process has used.
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
