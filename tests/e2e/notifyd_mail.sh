#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The program's e-mail request reaches orvantis-notifyd and lands as one mail in a real
# SMTP server on loopback. While the SMTP server is down the request waits in the spool
# and arrives once when the server is back, also across a restart of the service. With a
# route to the phone, it arrives as one push at a push server on loopback instead.
source "$(dirname "$0")/lib/e2e.bash"
# Debian's interpreter, which has the SMTP server module, whatever else is on PATH.
PYTHON=/usr/bin/python3
MAILDIR=$E2E_TMP/mail
SPOOL=$E2E_TMP/spool
SMTP_PORT=$("$PYTHON" -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')

# A bad setting stops the service at once with status 2 and says which.
printf 'relay = smtp://127.0.0.1:%s\nrelay_typo = 1\n' "$SMTP_PORT" >"$E2E_TMP/bad.conf"
status=0
"$BIN_DIR/orvantis-notifyd" --config "$E2E_TMP/bad.conf" 2>"$E2E_TMP/bad.err" || status=$?
[ "$status" -eq 2 ] && grep -q "line 2: unknown key 'relay_typo'" "$E2E_TMP/bad.err" ||
    fail "a bad setting ended the service with status $status: $(cat "$E2E_TMP/bad.err")"

smtp_listening() { (exec 3<>"/dev/tcp/127.0.0.1/$SMTP_PORT") 2>/dev/null; }
start_smtp() {
    "$PYTHON" -m aiosmtpd -n -l "127.0.0.1:$SMTP_PORT" -c aiosmtpd.handlers.Mailbox "$MAILDIR" \
        >>"$E2E_TMP/smtp.log" 2>&1 &
    SMTP_PID=$!
    E2E_PIDS+=("$SMTP_PID")
    wait_for 10 smtp_listening || fail "the SMTP server did not start"
}
stop_smtp() {
    kill -TERM "$SMTP_PID"
    wait "$SMTP_PID" 2>/dev/null || true
}
mail_count() { find "$MAILDIR/new" -type f 2>/dev/null | wc -l; }
spool_count() { find "$SPOOL" -maxdepth 1 -name '*.mail' | wc -l; }

cat >"$E2E_TMP/notifyd.conf" <<EOF
# for this test only
listen = 127.0.0.1:0
relay = smtp://127.0.0.1:$SMTP_PORT
from = orvantis@example.org
allow = user@example.com
spool = $SPOOL
EOF
NOTIFYD_STARTS=0
start_notifyd() {
    NOTIFYD_STARTS=$((NOTIFYD_STARTS + 1))
    "$BIN_DIR/orvantis-notifyd" --config "$E2E_TMP/notifyd.conf" 2>>"$E2E_TMP/notifyd.log" &
    NOTIFYD_PID=$!
    E2E_PIDS+=("$NOTIFYD_PID")
    started() { [ "$(grep -c ' listening on ' "$E2E_TMP/notifyd.log")" -ge "$NOTIFYD_STARTS" ]; }
    wait_for 10 started || fail "orvantis-notifyd did not start"
    NOTIFYD_URL=$(grep -o 'listening on http://[0-9.:]*' "$E2E_TMP/notifyd.log" | tail -n 1 | cut -d' ' -f3)
}
stop_notifyd() {
    kill -TERM "$NOTIFYD_PID"
    wait_for 5 sh -c "! kill -0 $NOTIFYD_PID" || fail "SIGTERM did not end orvantis-notifyd within 5 s"
    wait "$NOTIFYD_PID" || fail "orvantis-notifyd ended with status $? on SIGTERM"
}

# notify LAST PRICE: one run of the program that finds PRICE on the chart with LAST as
# the last notified price, and ends once its request has been answered.
NOTIFICATIONS=0
notify() {
    NOTIFICATIONS=$((NOTIFICATIONS + 1))
    printf '[Option]\nSendEmail=1\nPopup=0\nEmail=user@example.com\nPriceChange=10\nLastPrice=%s\n' "$1" >"$INI"
    start_chartd --prices "$2"
    export ORVANTIS_NOTIFY_SERVER=$NOTIFYD_URL
    start_orvantis "run$NOTIFICATIONS" -s
    local pid=$ORVANTIS_PID
    queued() { [ "$(grep -c ': 200 queued for user@example.com' "$E2E_TMP/notifyd.log")" -ge "$NOTIFICATIONS" ]; }
    wait_for 20 queued || fail "request $NOTIFICATIONS was not queued"
    kill -TERM "$pid"
    wait "$pid" || fail "the program ended with status $? on SIGTERM"
    stop_chartd
}

# expect_mails COUNT: waits for them, then checks that no further copy comes.
expect_mails() {
    enough() { [ "$(mail_count)" -ge "$1" ]; }
    wait_for 30 enough "$1" || fail "expected $1 mails, got $(mail_count)"
    sleep 2
    [ "$(mail_count)" -eq "$1" ] || fail "expected $1 mails, got $(mail_count)"
    [ "$(spool_count)" -eq 0 ] || fail "delivered mails are still in the spool"
}
# has_mail SUBJECT LAST NEW CHANGE: exactly one mail has that subject, for user@example.com,
# with the three prices in its body.
has_mail() {
    local files
    files=$(grep -lFx "Subject: $1" "$MAILDIR"/new/* 2>/dev/null) || fail "no mail '$1'"
    [ "$(echo "$files" | wc -l)" -eq 1 ] || fail "mail '$1' arrived more than once"
    local text
    text=$(tr -d '\r' <"$files")
    grep -qx 'To: user@example.com' <<<"$text" || fail "mail '$1' has another To"
    grep -qx 'X-RcptTo: user@example.com' <<<"$text" || fail "mail '$1' went to another recipient"
    grep -qx "Last notified price: $2" <<<"$text" || fail "mail '$1' lacks the last price $2"
    grep -qx "New price: *$3" <<<"$text" || fail "mail '$1' lacks the new price $3"
    grep -qx "Change: *$4" <<<"$text" || fail "mail '$1' lacks the change $4"
}

start_xvfb
fresh_user_folders
mkdir -p "$(dirname "$INI")"
start_smtp
start_notifyd

notify 1650.00 1662.50
expect_mails 1
has_mail 'Gold price changed: 1662.50 (+12.50)' 1650.00 1662.50 +12.50

# The SMTP server is down: the request is answered, kept, and sent once it is back.
stop_smtp
notify 1662.50 1640.00
[ "$(spool_count)" -eq 1 ] || fail "the request is not in the spool"
start_smtp
expect_mails 2
has_mail 'Gold price changed: 1640.00 (-22.50)' 1662.50 1640.00 -22.50

# Down again, and the service restarts before it comes back.
stop_smtp
notify 1640.00 1655.00
stop_notifyd
[ "$(spool_count)" -eq 1 ] || fail "the spool lost the request at the stop"
start_smtp
start_notifyd
expect_mails 3
has_mail 'Gold price changed: 1655.00 (+15.00)' 1640.00 1655.00 +15.00
grep -q 'ALERT: the relay takes no mail' "$E2E_TMP/notifyd.log" || fail "the outage was not told"

# A route to a push server: the next request is one push, and no mail.
"$PYTHON" "$(dirname "$0")/../notifyd/push_sinks.py" "$E2E_TMP/push.port" "$E2E_TMP/push.log" &
E2E_PIDS+=($!)
wait_for 10 test -s "$E2E_TMP/push.port" || fail "the push server did not start"
echo "route user@example.com = ntfy:http://127.0.0.1:$(cat "$E2E_TMP/push.port")/ntfy/gold, mail" >>"$E2E_TMP/notifyd.conf"
stop_notifyd
start_notifyd
notify 1655.00 1668.00
wait_for 20 grep -q '"title": "Gold price changed: 1668.00 (+13.00)"' "$E2E_TMP/push.log" || fail "no push arrived"
expect_mails 3
[ "$(wc -l <"$E2E_TMP/push.log")" -eq 1 ] || fail "the push arrived more than once"
stop_notifyd
echo "1 passed, 0 failed"
