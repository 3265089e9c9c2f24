#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The installed program, with no build tree beside it, in a prefix that holds blanks:
# started by its full path, through a symbolic link and by a relative path, it finds its
# skins and reads the demo server's price. Without skins it still runs and exits cleanly.
source "$(dirname "$0")/lib/e2e.bash"
start_xvfb
fresh_user_folders
start_chartd --prices 1650.25

PREFIX="$E2E_TMP/Gold Apps/usr"
cmake --install "$BIN_DIR/.." --prefix "$PREFIX" >"$E2E_TMP/install.log" 2>&1 ||
    fail "cmake --install failed"
[ ! -e "$PREFIX/bin/images" ] || fail "the install put skins beside the program"
mkdir "$E2E_TMP/links"
ln -s "$PREFIX/bin/orvantis" "$E2E_TMP/links/orvantis"
WM_CLASS=$(sed -n 's/^StartupWMClass=//p' "$PREFIX/share/applications/com.tamberlo.Orvantis.desktop")

# Pixels of the up arrow's colour (images/up.bmp) and of the change text's green.
count_colour() { import -window "$1" -depth 8 txt:- 2>/dev/null | grep -c "$2" || true; }
shows_colour() { [ "$(count_colour "$1" "$2")" -gt 0 ]; }
ARROW='#00A000'
CHANGE_TEXT='#008000'

# Any other window the program shows is the floating one: cut to the shape of its skin.
floating_windows_shaped() {
    local win
    for win in $(xdotool search --onlyvisible --pid "$1"); do
        [ "$win" = "$2" ] && continue
        xwininfo -shape -id "$win" | grep -q 'No window shape defined' && return 1
    done
    return 0
}

# run_installed NAME DIR PROGRAM SKINS: PROGRAM started from the folder DIR with a price
# history that makes the next price a rise; SKINS says whether the panel shows the arrow.
run_installed() {
    local name=$1 dir=$2 program=$3 skins=$4 pid main
    mkdir -p "$(dirname "$INI")"
    # A rise of 50.25, below the threshold: an up arrow on the panel and no dialog.
    printf '[Option]\nLastPrice=1600.00\nPriceChange=1000\n' >"$INI"
    (cd "$dir" && exec "$program") >"$E2E_TMP/$name.log" 2>&1 &
    pid=$!
    E2E_PIDS+=("$pid")
    wait_for 10 grep -q '^CurrentPrice=1650.25$' "$INI" || fail "$name: no price read within 10 s"
    wait_for 10 visible_window '^Orvantis$' || fail "$name: no main window"
    main=$(visible_window '^Orvantis$' | head -n 1)
    wait_for 5 shows_colour "$main" "$CHANGE_TEXT" || fail "$name: the panel shows no rise"
    if [ "$skins" = yes ]; then
        shows_colour "$main" "$ARROW" || fail "$name: no up arrow: the skins were not found"
        floating_windows_shaped "$pid" "$main" || fail "$name: the floating window is not shaped"
    else
        ! shows_colour "$main" "$ARROW" || fail "$name: an arrow without its skin"
    fi
    xprop -id "$main" WM_CLASS | grep -q "\"$WM_CLASS\"\$" ||
        fail "$name: WM_CLASS is not the launcher's StartupWMClass $WM_CLASS"
    exit_with_escape "$pid"
}

run_installed full-path / "$PREFIX/bin/orvantis" yes
run_installed link / "$E2E_TMP/links/orvantis" yes
run_installed relative "$E2E_TMP" "./Gold Apps/usr/bin/orvantis" yes
mv "$PREFIX/share/orvantis/images" "$E2E_TMP/skins-away"
run_installed no-skins / "$PREFIX/bin/orvantis" no
echo "1 passed, 0 failed"
