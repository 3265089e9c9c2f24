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

printf '%-22s %10s %10s\n' "" "RSS KiB" "USS KiB"
for who in "orvantis:$IDLE_PID" "minimal Qt:$minimal"; do
    pid=${who#*:}
    rss=$(smaps_kib "$pid" Rss)
    uss=$(($(smaps_kib "$pid" Private_Clean) + $(smaps_kib "$pid" Private_Dirty)))
    printf '%-22s %10d %10d\n' "${who%%:*}" "$rss" "$uss"
    eval "rss_${pid}=$rss uss_${pid}=$uss"
done
eval "r1=\$rss_$IDLE_PID u1=\$uss_$IDLE_PID r2=\$rss_$minimal u2=\$uss_$minimal"
awk -v r1="$r1" -v r2="$r2" -v u1="$u1" -v u2="$u2" \
    'BEGIN {printf "ratio                  %9.2fx %9.2fx\n", r1 / r2, u1 / u2}'

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
