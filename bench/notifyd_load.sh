#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Load figures of orvantis-notifyd on loopback: requests accepted into the spool per
# second under a burst (wrk, the program's own form), the delivery rate to a local SMTP
# server (Debian's aiosmtpd) or, with "push", through a route to the tests' push server,
# and the service's memory at rest and at the burst's peak. Every answer to the burst but
# a 200 is printed with its count, and a run that met one says so at its end (exit 1).
#   bench/notifyd_load.sh BIN_DIR [REQUESTS] [CONNECTIONS] [mail|push]
# Needs wrk and python3-aiosmtpd (apt-get install wrk python3-aiosmtpd).
set -euo pipefail
BIN_DIR=${1:?usage: $0 BIN_DIR [REQUESTS] [CONNECTIONS] [mail|push]}
REQUESTS=${2:-10000}
CONNECTIONS=${3:-16}
CHANNEL=${4:-mail}
THREADS=2
HERE=$(cd "$(dirname "$0")" && pwd)
source "$(dirname "$0")/lib/services.bash" orvantis-load
kib() { awk -v key="$2:" '$1 == key { print $2 }' "/proc/$1/status"; }
spooled() { find "$WORK/spool" -maxdepth 1 -name '*.mail' | wc -l; }
SMTP_PORT=$(free_port)
PUSH_PORT=$(free_port)
ROUTE=
if [ "$CHANNEL" = push ]; then
    ROUTE="route user@example.com = ntfy:http://127.0.0.1:$PUSH_PORT/ntfy/bench"
fi

notifyd_conf "$SMTP_PORT" "$ROUTE"
start_notifyd() {
    : >"$WORK/notifyd.log"
    "$BIN_DIR/orvantis-notifyd" --config "$WORK/notifyd.conf" 2>"$WORK/notifyd.log" &
    NOTIFYD_PID=$!
    PIDS+=("$NOTIFYD_PID")
    until grep -q ' listening on ' "$WORK/notifyd.log"; do sleep 0.05; done
    URL=$(grep -o 'http://[0-9.:]*' "$WORK/notifyd.log" | head -n 1)
}

# 1. The burst, with the relay (or the push server) down so that only the accepting side
# runs.
start_notifyd
sleep 1
echo "memory at rest: $(kib "$NOTIFYD_PID" VmRSS) KiB"
# wrk runs until the spool holds the whole burst; the rate is taken from the spool
# files' own names, which begin with the time each was accepted in microseconds.
wrk -t "$THREADS" -c "$CONNECTIONS" -d 600s -s "$HERE/notifyd_post.lua" "$URL" >"$WORK/wrk.txt" &
WRK_PID=$!
until [ "$(spooled)" -ge "$REQUESTS" ]; do sleep 0.1; done
kill -INT "$WRK_PID"
wait "$WRK_PID" || true
grep -E 'Latency' "$WORK/wrk.txt"
echo "answers 200: $(awk '$1 == "status" && $2 == 200 { print $3 }' "$WORK/wrk.txt")"
answer_tally "$WORK/wrk.txt" 200 >/dev/null
names=$(find "$WORK/spool" -maxdepth 1 -name '*.mail' -printf '%f\n' | sort)
first=$(head -n 1 <<<"$names" | cut -c1-17)
last=$(tail -n 1 <<<"$names" | cut -c1-17)
echo "accepted $(spooled) requests in $(echo "scale=3; ($last - $first) / 1000000" | bc) s:" \
    "$(echo "$(spooled) * 1000000 / ($last - $first)" | bc) per second"
echo "memory after the burst: $(kib "$NOTIFYD_PID" VmRSS) KiB, peak $(kib "$NOTIFYD_PID" VmHWM) KiB"
kill -TERM "$NOTIFYD_PID"
wait "$NOTIFYD_PID" || true

# 2. The relay (or the push server) comes up and a restarted service empties the spool.
if [ "$CHANNEL" = push ]; then
    "$PYTHON" "$HERE/../tests/notifyd/push_sinks.py" "$WORK/push.port" "$WORK/push.log" "$PUSH_PORT" &
    PIDS+=($!)
    until [ -s "$WORK/push.port" ]; do sleep 0.05; done
    delivered() { wc -l <"$WORK/push.log"; }
else
    "$PYTHON" -m aiosmtpd -n -l "127.0.0.1:$SMTP_PORT" -c aiosmtpd.handlers.Mailbox "$WORK/mail" &
    PIDS+=($!)
    until (exec 3<>"/dev/tcp/127.0.0.1/$SMTP_PORT") 2>/dev/null; do sleep 0.05; done
    delivered() { find "$WORK/mail/new" -type f | wc -l; }
fi
waiting=$(spooled)
start=$(date +%s.%N)
start_notifyd
until [ "$(spooled)" -eq 0 ]; do sleep 0.2; done
seconds=$(echo "$(date +%s.%N) - $start" | bc)
echo "delivered $waiting alerts by $CHANNEL in $seconds s: $(echo "$waiting / $seconds" | bc) per second;" \
    "$(delivered) received"
echo "memory while delivering: peak $(kib "$NOTIFYD_PID" VmHWM) KiB"
answer_verdict
