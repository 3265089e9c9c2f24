#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Resident and private memory (RSS, USS) of the idle program (tray icon, floating
# window, hidden main window) against a minimal Qt 6 Widgets program with a tray icon,
# a dialog and a 112 x 25 window, both on the same private display and tray.
#   bench/desktop_memory.sh [BUILD_DIR]      (default build-ci; needs orvantis,
#                                             orvantis-chartd, orvantis-minimal-tray)
source "$(dirname "$0")/lib/desktop.bash"
start_idle_orvantis

"$BUILD_DIR/bench/orvantis-minimal-tray" >"$E2E_TMP/minimal.log" 2>&1 &
minimal=$!
E2E_PIDS+=("$minimal")
wait_for 10 tray_icon orvantis || fail "Orvantis has no icon in the tray"
wait_for 10 tray_icon orvantis-minimal-tray || fail "the minimal program has no icon in the tray"
# Both idle: let start-up work (fonts, first paints, the first poll) settle.
sleep 5

# USS counts the pages of a library that no other process maps at the moment as private,
# so it moves with what else runs on the machine; its dirty part (heap, stacks, written
# data) does not.
printf '%-14s %10s %10s %14s\n' "" "RSS KiB" "USS KiB" "USS dirty KiB"
row() {
    local rss=$(smaps_kib "$1" Rss) dirty=$(smaps_kib "$1" Private_Dirty)
    local uss=$(($(smaps_kib "$1" Private_Clean) + dirty))
    printf '%-14s %10d %10d %14d\n' "$2" "$rss" "$uss" "$dirty"
    echo "$rss $uss $dirty" >"$E2E_TMP/$2.mem"
}
row "$IDLE_PID" orvantis
row "$minimal" minimal
paste "$E2E_TMP/orvantis.mem" "$E2E_TMP/minimal.mem" |
    awk '{printf "%-14s %9.2fx %9.2fx %13.2fx\n", "ratio", $1 / $4, $2 / $5, $3 / $6}'

# Where the difference lies: mapped files by size, and the heap.
echo
echo "orvantis mappings beyond the minimal program's (private KiB, orvantis and minimal):"
mappings() {
    awk '/^[0-9a-f]+-[0-9a-f]+ / {name = ($6 == "" ? "[anonymous]" : $6)}
         $1 == "Private_Clean:" || $1 == "Private_Dirty:" {kib[name] += $2}
         END {for (n in kib) print n, kib[n]}' "/proc/$1/smaps" | sort
}
join -a 1 -e 0 -o 0,1.2,2.2 <(mappings "$IDLE_PID") <(mappings "$minimal") |
    awk '$2 - $3 >= 32 {printf "  %-60s %7d %7d\n", $1, $2, $3}' | sort -k2 -n -r | head -n 15
