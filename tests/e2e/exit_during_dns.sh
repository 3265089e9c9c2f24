#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# While the chart host's name waits for a name server that never answers, SIGTERM,
# SIGINT, SIGHUP and Esc end the program within about a second, with status 0; so does
# a SIGTERM in the first moments of start-up. Runs in a private user, network and mount
# namespace whose resolver is a silent socket on its own loopback.
if [ -z "${ORVANTIS_IN_NAMESPACE:-}" ]; then
    if ! unshare -rnm true 2>/dev/null; then
        echo "SKIPPED: this machine gives no private namespaces (unshare -rnm)"
        exit 77
    fi
    ORVANTIS_IN_NAMESPACE=1 exec unshare -rnm bash "$0" "$@"
fi
source "$(dirname "$0")/lib/e2e.bash"

if [ ! -f /etc/resolv.conf ]; then
    echo "SKIPPED: no /etc/resolv.conf to stand in for"
    exit 77
fi
ip link set lo up || fail "cannot bring up the private loopback"
# The resolver waits 30 s for an answer, far longer than an exit may take.
printf 'nameserver 127.0.0.1\noptions timeout:30 attempts:1\n' >"$E2E_TMP/resolv.conf"
mount --bind "$E2E_TMP/resolv.conf" /etc/resolv.conf || fail "cannot replace resolv.conf"
"$BIN_DIR/orvantis-silent-peer" udp 53 >"$E2E_TMP/dns.log" 2>&1 &
E2E_PIDS+=($!)

start_xvfb
fresh_user_folders
# A name, so that each poll starts with a lookup (of a documentation domain; the only
# resolver in this namespace is the silent one).
export ORVANTIS_CHART_SERVER="http://chart.example.org" ORVANTIS_NOTIFY_SERVER="http://notify.example.org"

queries() { grep -c '^query' "$E2E_TMP/dns.log" || true; }

# end_during_lookup HOW: starts the program, waits for its lookup, then ends it by HOW.
end_during_lookup() {
    local how=$1 before
    before=$(queries || true)
    start_orvantis "$how"
    local pid=$ORVANTIS_PID
    wait_for 15 visible_window '^Orvantis$' || fail "$how: no main window"
    more_queries() { [ "$(queries)" -gt "$before" ]; }
    wait_for 10 more_queries || fail "$how: the chart host was not looked up"
    if [ "$how" = Escape ]; then
        exit_with_escape "$pid"
        return
    fi
    kill -"$how" "$pid"
    wait_for_exit "$pid" 10 "SIG$how"
}

for how in TERM INT HUP Escape; do
    end_during_lookup "$how"
done

# A SIGTERM as soon as the handlers are in place, long before any window.
start_orvantis early
pid=$ORVANTIS_PID
# The program itself: before its exec the shell's child catches SIGTERM too.
caught() {
    [ "$(cat "/proc/$pid/comm")" = orvantis ] &&
        (($(printf '%d' "0x$(awk '/^SigCgt/ {print $2}' "/proc/$pid/status")") & (1 << 14)))
}
wait_for 10 caught || fail "the program never caught SIGTERM"
kill -TERM "$pid"
wait "$pid" || fail "a SIGTERM during start-up ended the program with status $?"
echo "1 passed, 0 failed"
