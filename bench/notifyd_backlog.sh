#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The cost of a backlog while the relay is down: WAITING alerts in the spool, then the
# service's CPU over a quiet minute of retries and per alert stored on top of them.
#   bench/notifyd_backlog.sh BIN_DIR [WAITING] [STORED]
set -euo pipefail
BIN_DIR=${1:?usage: $0 BIN_DIR [WAITING] [STORED]}
WAITING=${2:-10000}
STORED=${3:-200}
HERE=$(cd "$(dirname "$0")" && pwd)
source "$HERE/lib/services.bash" orvantis-backlog
[ -x "$BIN_DIR/orvantis-notifyd" ] || { echo "no $BIN_DIR/orvantis-notifyd" >&2; exit 1; }
HZ=$(getconf CLK_TCK)
ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }

notifyd_conf "$(free_port)"
"$BIN_DIR/orvantis-notifyd" --config "$WORK/notifyd.conf" 2>"$WORK/notifyd.log" &
PID=$!
PIDS+=("$PID")
until grep -q ' listening on ' "$WORK/notifyd.log"; do sleep 0.05; done
URL=$(grep -o 'http://[0-9.:]*' "$WORK/notifyd.log" | head -n 1)/price_notify.php
post() { curl -s -o /dev/null -F type=gold -F email=user@example.com -F last=1650.00 \
    -F new=1662.50 -F chg=12.50 "$URL"; }
post
until [ -n "$(find "$WORK/spool" -maxdepth 1 -name '*.mail')" ]; do sleep 0.05; done
kill -TERM "$PID" && wait "$PID" || true
# Copies of the one alert under new names; the service reads them at start.
"$PYTHON" - "$WORK/spool" "$WAITING" <<'PY'
import os, sys, shutil
folder, count = sys.argv[1], int(sys.argv[2])
first = next(f for f in os.listdir(folder) if f.endswith(".mail"))
data = open(os.path.join(folder, first), "rb").read()
stamp = int(first.split("-")[0])
for i in range(1, count):
    name = "%017d-%032x.mail" % (stamp + i, i)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data.replace(first[:-5].encode(), name[:-5].encode()))
PY
"$BIN_DIR/orvantis-notifyd" --config "$WORK/notifyd.conf" 2>"$WORK/notifyd.log" &
PID=$!
PIDS+=("$PID")
until grep -q ' listening on ' "$WORK/notifyd.log"; do sleep 0.05; done
URL=$(grep -o 'http://[0-9.:]*' "$WORK/notifyd.log" | head -n 1)/price_notify.php
sleep 20 # the first look at every alert
before=$(ticks "$PID")
sleep 60
after=$(ticks "$PID")
attempts=$(grep -c 'takes no mail\|not now' "$WORK/notifyd.log" || true)
echo "waiting $WAITING, relay down: $(awk -v t=$((after - before)) -v hz="$HZ" \
    'BEGIN { printf "%.2f", 100 * t / hz / 60 }') % of a core over 60 s of retries"
before=$(ticks "$PID")
for ((i = 0; i < STORED; ++i)); do post; done
sleep 2
after=$(ticks "$PID")
echo "waiting $WAITING: $(awk -v t=$((after - before)) -v hz="$HZ" -v n="$STORED" \
    'BEGIN { printf "%.2f", 1000 * t / hz / n }') ms of CPU per stored alert ($attempts log lines of failures)"
