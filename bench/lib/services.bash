# SPDX-License-Identifier: MIT
# What the service benchmarks share: a private work folder in WORK (with the prefix given),
# the pids in PIDS stopped and the folder removed on exit, and free loopback ports.
PYTHON=/usr/bin/python3
WORK=$(mktemp -d "/tmp/$1.XXXXXX")
PIDS=()
cleanup() {
    local pid
    for pid in "${PIDS[@]}"; do kill -TERM "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$WORK"
}
trap cleanup EXIT
free_port() { "$PYTHON" -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }
# answer_tally FILE MEANT...: from the output of a wrk run with lib/answer_count.lua,
# prints the answers per second of the statuses meant (2xx and 304 as a rule); every
# other status and every failed connection goes to stderr with its count and is noted in
# the work folder (also from a subshell), so that the run can say at its end that its
# figures are not clean.
answer_tally() {
    local file=$1 other
    shift
    other=$(awk -v meant=" $* " '$1 == "status" && index(meant, " " $2 " ") == 0 { printf "%s %s x%s", sep, $2, $3; sep = "," }
        $1 == "errors" && $2 > 0 { printf "%s failed connections x%s", sep, $2; sep = "," }' "$file")
    if [ -n "$other" ]; then
        echo "unexpected answers:$other" >&2
        echo "$other" >>"$WORK/unexpected.txt"
    fi
    awk -v meant=" $* " '$1 == "status" && index(meant, " " $2 " ") > 0 { n += $3 }
        $1 == "seconds" { s = $2 } END { printf "%.0f\n", (s > 0 ? n / s : 0) }' "$file"
}
# Ends a run that met an answer it did not mean, after its figures.
answer_verdict() {
    if [ -s "$WORK/unexpected.txt" ]; then
        echo "UNEXPECTED ANSWERS in this run (its rates count only the answers meant):"
        cat "$WORK/unexpected.txt"
        return 1
    fi
    echo "every answer was one meant"
}

# notifyd_conf RELAY_PORT [MORE]: the settings of a notification service on $WORK with every
# limit out of the way, relaying to that port, MORE lines added; into $WORK/notifyd.conf.
notifyd_conf() {
    cat >"$WORK/notifyd.conf" <<CONF
listen = 127.0.0.1:0
relay = smtp://127.0.0.1:$1
from = orvantis@example.org
allow = user@example.com
per_recipient_per_hour = 1000000
per_client_per_minute = 1000000
per_client_connections = 0
per_minute = 1000000
spool = $WORK/spool
${2:-}
CONF
}
