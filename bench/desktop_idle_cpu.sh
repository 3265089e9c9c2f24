#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# CPU time of the idle program (tray icon, floating window, hidden main window) while
# the demo chart server answers every poll, as a share of one core.
#   bench/desktop_idle_cpu.sh [BUILD_DIR] [SECONDS]      (default build-ci, 600 s)
source "$(dirname "$0")/lib/desktop.bash"
seconds=${2:-600}
start_idle_orvantis
# Start-up is not idling.
sleep 10
hz=$(getconf CLK_TCK)
before=$(cpu_ticks "$IDLE_PID")
start=$(date +%s.%N)
sleep "$seconds"
after=$(cpu_ticks "$IDLE_PID")
end=$(date +%s.%N)
polls=$(grep -c '^chart: ' "$E2E_TMP/chartd.log")
awk -v t=$((after - before)) -v hz="$hz" -v s="$start" -v e="$end" -v polls="$polls" \
    'BEGIN {printf "idle CPU: %.3f s over %.0f s = %.4f %% of one core (%d polls answered in all)\n",
            t / hz, e - s, 100 * t / hz / (e - s), polls}'
