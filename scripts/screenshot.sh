#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Makes the README's picture from the real program: a private Xvfb display with the
# openbox window manager, the demo chart server, and the main window beside the floating
# window showing a price.
#   scripts/screenshot.sh [BIN_DIR [OUTPUT]]
# BIN_DIR holds orvantis and orvantis-chartd (default: build them with the default
# preset); OUTPUT defaults to docs/screenshot.png.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bin=${1:-}
out=$(realpath -m "${2:-$root/docs/screenshot.png}")
if [ -z "$bin" ]; then
    (cd "$root" && cmake --preset default >/dev/null &&
        cmake --build --preset default --target orvantis orvantis-chartd)
    bin="$root/build/bin"
fi

# The end-to-end tests' steps: display, user folders, demo server, clean-up.
source "$root/tests/e2e/lib/e2e.bash" "$bin"
start_xvfb
# One calm colour behind the windows, cut away again at the end. display sets the root
# window's picture and then reports a failure of its own.
background='#4a6d8c'
convert -size 8x8 "xc:$background" "$E2E_TMP/background.png"
display -window root "$E2E_TMP/background.png" 2>/dev/null || true
start_wm

fresh_user_folders
mkdir -p "$(dirname "$INI")"
# Last told at 1645.00; the demo price is a rise below the threshold, so no dialog opens.
printf '[Option]\nPriceChange=10\nLastPrice=1645.00\nFloatPos=390,70\n' >"$INI"
start_chartd --prices 1650.25
start_orvantis shot
wait_for 10 grep -q '^CurrentPrice=1650.25$' "$INI" || fail "no price read"
wait_for 10 visible_window '^Orvantis$' || fail "no main window"
main=$(visible_window '^Orvantis$' | head -n 1)
xdotool windowmove --sync "$main" 40 40
xdotool windowactivate --sync "$main" 2>/dev/null || true
sleep 1 # the last paints after the move

mkdir -p "$(dirname "$out")"
import -window root "$E2E_TMP/root.png"
# Everything but the windows is the background colour: trim it, keep an even margin.
convert "$E2E_TMP/root.png" -bordercolor "$background" -border 1 -trim +repage \
    -bordercolor "$background" -border 24 -strip "$out"
echo "wrote $out"
