#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Start to the main window mapped: the program (shown, not -s) against the minimal Qt
# tray program showing its dialog, interleaved, RUNS (default 15) each, medians and their
# ratio; then the same with the chart on an https server (a local one whose self-signed
# certificate the program is told to trust), to show what TLS costs when it is used.
# Both on the same private display and XEmbed tray, without a window manager.
#   bench/startup_time.sh [BUILD_DIR] [RUNS]
#   ORVANTIS=path/to/orvantis bench/startup_time.sh ...   (another build of the program)
source "$(dirname "$0")/lib/desktop.bash"
RUNS=${2:-15}
PROGRAM=${ORVANTIS:-$BIN_DIR/orvantis}
TIMER="$BUILD_DIR/bench/orvantis-map-timer"

start_xvfb
start_trayer
fresh_user_folders
start_chartd --prices 1650.25
mkdir -p "$(dirname "$INI")"
# The price matches the reference: no notification dialog, only the main window.
printf '[Option]\nLastPrice=1650.25\n' >"$INI"

median() { sort -n | awk '{ t[NR] = $1 } END { print t[int((NR + 1) / 2)] }'; }

# compare NAME: RUNS interleaved starts of both, then the medians and their ratio.
compare() {
    local run
    : >"$E2E_TMP/program.ms"
    : >"$E2E_TMP/minimal.ms"
    for run in $(seq "$RUNS"); do
        "$TIMER" Orvantis "$PROGRAM" >>"$E2E_TMP/program.ms" || fail "$1: no main window"
        "$TIMER" Minimal "$BUILD_DIR/bench/orvantis-minimal-tray" --show >>"$E2E_TMP/minimal.ms" ||
            fail "$1: the minimal program showed no dialog"
    done
    local program minimal
    program=$(median <"$E2E_TMP/program.ms")
    minimal=$(median <"$E2E_TMP/minimal.ms")
    awk -v name="$1" -v p="$program" -v m="$minimal" -v n="$RUNS" \
        'BEGIN { printf "%-22s orvantis %7.1f ms  minimal %7.1f ms  ratio %.2fx  (medians of %d)\n", name, p, m, p / m, n }'
}

compare "http chart server"

# The same chart from an https server.
openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=127.0.0.1 \
    -addext subjectAltName=IP:127.0.0.1 -keyout "$E2E_TMP/key.pem" -out "$E2E_TMP/cert.pem" 2>/dev/null ||
    fail "openssl made no certificate"
mkdir -p "$E2E_TMP/www/NewCharts/gold/images"
curl -sf -o "$E2E_TMP/www/NewCharts/gold/images/gold_1d_o_USD.png" \
    "$ORVANTIS_CHART_SERVER/NewCharts/gold/images/gold_1d_o_USD.png" || fail "no chart to serve"
(cd "$E2E_TMP/www" && exec openssl s_server -WWW -accept 127.0.0.1:0 \
    -cert "$E2E_TMP/cert.pem" -key "$E2E_TMP/key.pem") >"$E2E_TMP/https.log" 2>&1 &
E2E_PIDS+=($!)
wait_for 10 grep -q '^ACCEPT' "$E2E_TMP/https.log" || fail "openssl s_server did not start"
export ORVANTIS_CHART_SERVER="https://127.0.0.1:$(sed -n 's/^ACCEPT.*:\([0-9]*\)$/\1/p' "$E2E_TMP/https.log")"
export SSL_CERT_FILE="$E2E_TMP/cert.pem"
compare "https chart server"
