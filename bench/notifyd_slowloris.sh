#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# A normal client's latency while one other address holds many slow connections to
# orvantis-notifyd, for two builds side by side in one run (before and after a change).
#   bench/notifyd_slowloris.sh BEFORE_BIN_DIR AFTER_BIN_DIR [CONNECTIONS] [REQUESTS]
# The slow connections come from 127.0.0.2, a second loopback address, since a cap per
# client address can only tell two clients apart by their addresses.
set -euo pipefail
BEFORE=${1:?usage: $0 BEFORE_BIN_DIR AFTER_BIN_DIR [CONNECTIONS] [REQUESTS]}
AFTER=${2:?usage: $0 BEFORE_BIN_DIR AFTER_BIN_DIR [CONNECTIONS] [REQUESTS]}
CONNECTIONS=${3:-300}
REQUESTS=${4:-50}
HERE=$(cd "$(dirname "$0")" && pwd)
WORK=$(mktemp -d /tmp/orvantis-slowloris.XXXXXX)
NOTIFYD_PID=
cleanup() {
    [ -n "$NOTIFYD_PID" ] && kill -TERM "$NOTIFYD_PID" 2>/dev/null && wait "$NOTIFYD_PID" || true
    rm -rf "$WORK"
}
trap cleanup EXIT

# measure BIN_DIR: prints the client's latencies with that build.
measure() {
    local binary=$1/orvantis-notifyd
    rm -rf "$WORK/spool"
    # The relay is down: only the accepting side runs. The limits of a build that knows
    # per-client limits are raised too, so the client's requests are all accepted.
    {
        printf 'listen = 127.0.0.1:0\nrelay = smtp://127.0.0.1:1\nfrom = orvantis@example.org\n'
        printf 'allow = user@example.com\nspool = %s/spool\n' "$WORK"
        printf 'per_recipient_per_hour = 1000000\nper_minute = 1000000\n'
        if grep -aq per_client_per_minute "$binary"; then
            printf 'per_client_per_minute = 1000000\n'
        fi
    } >"$WORK/notifyd.conf"
    chmod 600 "$WORK/notifyd.conf"
    : >"$WORK/notifyd.log"
    "$binary" --config "$WORK/notifyd.conf" 2>"$WORK/notifyd.log" &
    NOTIFYD_PID=$!
    until grep -q ' listening on ' "$WORK/notifyd.log"; do sleep 0.05; done
    local port
    port=$(grep -o 'http://[0-9.:]*' "$WORK/notifyd.log" | head -n 1 | cut -d: -f3)
    python3 "$HERE/notifyd_slowloris.py" "$port" 127.0.0.2 "$CONNECTIONS" "$REQUESTS"
    kill -TERM "$NOTIFYD_PID"
    wait "$NOTIFYD_PID" || true
    NOTIFYD_PID=
}

echo "$CONNECTIONS slow connections from 127.0.0.2, $REQUESTS requests from 127.0.0.1"
before=$(measure "$BEFORE")
after=$(measure "$AFTER")
echo "before: $before"
echo "after:  $after"
p95() { sed -E 's/.*p95 ([0-9.]+) ms.*/\1/' <<<"$1"; }
echo "p95 before / after: $(echo "scale=1; $(p95 "$before") / $(p95 "$after")" | bc)"
