#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# How long the program takes to end after SIGTERM while its work is stuck: during a name
# lookup that never gets an answer, a chart download from a server that never answers,
# and an e-mail request to a server that never answers. Prints the median and the worst
# of RUNS (default 20) each, in milliseconds.
#   bench/exit_latency.sh BIN_DIR [RUNS]
# Runs in a private user, network and mount namespace, whose resolver is a silent socket
# on its own loopback; everything it starts listens on 127.0.0.1 there.
set -euo pipefail
BIN=$(realpath "${1:?usage: $0 BIN_DIR [RUNS]}")
RUNS=${2:-20}
if [ -z "${ORVANTIS_IN_NAMESPACE:-}" ]; then
    ORVANTIS_IN_NAMESPACE=1 exec unshare -rnm bash "$0" "$BIN" "$RUNS"
fi
set -- "$BIN"
source "$(dirname "$0")/../tests/e2e/lib/e2e.bash"

ip link set lo up
printf 'nameserver 127.0.0.1\noptions timeout:30 attempts:1\n' >"$E2E_TMP/resolv.conf"
mount --bind "$E2E_TMP/resolv.conf" /etc/resolv.conf
"$BIN_DIR/orvantis-silent-peer" udp 53 >"$E2E_TMP/dns.log" 2>&1 &
E2E_PIDS+=($!)
"$BIN_DIR/orvantis-silent-peer" tcp 0 "$E2E_TMP/silent.port" >"$E2E_TMP/silent.log" 2>&1 &
E2E_PIDS+=($!)
wait_for 10 test -s "$E2E_TMP/silent.port" || fail "the silent server did not start"
SILENT="http://127.0.0.1:$(cat "$E2E_TMP/silent.port")"
start_xvfb

count() { grep -c "$1" "$2" || true; }

# measure NAME SETUP STUCK: RUNS times: a fresh start, SETUP, wait until STUCK counts one
# more, SIGTERM, time until the process is gone.
measure() {
    local name=$1 setup=$2 stuck=$3 times=() run
    for run in $(seq "$RUNS"); do
        rm -rf "$E2E_TMP/config" "$E2E_TMP/run"
        fresh_user_folders
        $setup
        local before
        before=$($stuck)
        start_orvantis "$name" -s
        local pid=$ORVANTIS_PID
        more() { [ "$($stuck)" -gt "$before" ]; }
        wait_for 20 more || fail "$name: never got stuck"
        sleep 0.2
        local t0 t1
        t0=$(date +%s%N)
        kill -TERM "$pid"
        wait "$pid" || fail "$name: status $?"
        t1=$(date +%s%N)
        times+=($(((t1 - t0) / 1000000)))
        [ -z "${VERBOSE:-}" ] || echo "$name run $run: ${times[-1]} ms" >&2
    done
    printf '%s\n' "${times[@]}" | sort -n | awk -v name="$name" '
        { t[NR] = $1 } END { printf "%-16s median %5d ms, worst %5d ms (%d runs)\n", name, t[int((NR + 1) / 2)], t[NR], NR }'
}

dns_setup() { export ORVANTIS_CHART_SERVER="http://chart.example.org" ORVANTIS_NOTIFY_SERVER="$SILENT"; }
dns_stuck() { count '^query' "$E2E_TMP/dns.log"; }

download_setup() {
    [ -n "${STALL_PID:-}" ] || {
        "$BIN_DIR/orvantis-chartd" --port 0 --port-file "$E2E_TMP/stall.port" --fault stall >"$E2E_TMP/stall.log" 2>&1 &
        STALL_PID=$!
        E2E_PIDS+=("$STALL_PID")
        wait_for 10 test -s "$E2E_TMP/stall.port" || fail "orvantis-chartd did not start"
    }
    export ORVANTIS_CHART_SERVER="http://127.0.0.1:$(cat "$E2E_TMP/stall.port")" ORVANTIS_NOTIFY_SERVER="$SILENT"
}
download_stuck() { count 'stall' "$E2E_TMP/stall.log"; }

post_setup() {
    [ -n "${PRICE_PID:-}" ] || {
        "$BIN_DIR/orvantis-chartd" --port 0 --port-file "$E2E_TMP/price.port" >"$E2E_TMP/price.log" 2>&1 &
        PRICE_PID=$!
        E2E_PIDS+=("$PRICE_PID")
        wait_for 10 test -s "$E2E_TMP/price.port" || fail "orvantis-chartd did not start"
    }
    export ORVANTIS_CHART_SERVER="http://127.0.0.1:$(cat "$E2E_TMP/price.port")" ORVANTIS_NOTIFY_SERVER="$SILENT"
    mkdir -p "$(dirname "$INI")"
    printf '[Option]\nSendEmail=1\nPopup=0\nEmail=user@example.com\n' >"$INI"
}
post_stuck() { count '^connection' "$E2E_TMP/silent.log"; }

measure "name lookup" dns_setup dns_stuck
measure "stalled download" download_setup download_stuck
measure "stalled e-mail" post_setup post_stuck
