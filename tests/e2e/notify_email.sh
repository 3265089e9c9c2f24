#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# With e-mail notification on, the first price sends one form to the notification
# server with the stored prices and shows the notification dialog.
source "$(dirname "$0")/lib/e2e.bash"
start_xvfb
fresh_user_folders
mkdir -p "$(dirname "$INI")"
printf '[Option]\nSendEmail=1\nEmail=user@example.com\n' >"$INI"
start_chartd --prices 1650.25

start_orvantis run -s
pid=$ORVANTIS_PID
wait_for 15 visible_window '^Gold Price Changed$' || fail "no notification dialog"
posted() { grep -q '^notify: ' "$E2E_TMP/chartd.log"; }
wait_for 10 posted || fail "no form reached the notification server"
line=$(grep '^notify: ' "$E2E_TMP/chartd.log")
[ "$(grep -c '^notify: ' "$E2E_TMP/chartd.log")" -eq 1 ] || fail "expected one request, got: $line"
expected='notify: type=gold email=user@example.com last=0.00 new=1650.25 chg=1650.25'
[ "$line" = "$expected" ] || fail "form fields: '$line', expected '$expected'"

# Plain http both ways: neither libcurl nor any TLS library is loaded. (Kerberos comes
# with Qt Network itself, for its proxy authentication.)
loaded=$(grep -oE 'lib(curl|crypto|ssl|gnutls|ldap|ssh2)[^/]*\.so[^ ]*' "/proc/$pid/maps" | sort -u || true)
[ -z "$loaded" ] || fail "the program maps $loaded"

# A logout ends the program cleanly even while the dialog is open.
kill -TERM "$pid"
wait_for_exit "$pid" 5 "SIGTERM"
echo "1 passed, 0 failed"
