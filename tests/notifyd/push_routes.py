# SPDX-License-Identifier: MIT
"""orvantis-notifyd's routes against push and webhook fakes and an SMTP server, all on
127.0.0.1: a table of routes and how each alert ends, a kill -9 between two channels of
one alert, and a test alert.   python3 push_routes.py BIN_DIR"""
import json
import os
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time
import urllib.error
import urllib.request

from aiosmtpd.controller import Controller

from push_sinks import Sinks

BIN_DIR = sys.argv[1]
WORK = tempfile.mkdtemp(prefix="orvantis-push.")
BOUNDARY = "---------------------------7da138124d076e"
FALLBACK_AFTER = 6


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_for(what, check, seconds=40):
    deadline = time.monotonic() + seconds
    while not check():
        assert time.monotonic() < deadline, f"timed out waiting for {what}"
        time.sleep(0.1)


class Mailbox:
    def __init__(self):
        self.mails = []

    async def handle_DATA(self, server, session, envelope):
        self.mails.append((envelope.rcpt_tos[0], envelope.content.decode()))
        return "250 OK"


class Service:
    """orvantis-notifyd with these settings, started anew on the same spool by start()."""

    def __init__(self, settings):
        self.config = os.path.join(WORK, "notifyd.conf")
        with open(self.config, "w") as f:
            f.write(f"listen = 127.0.0.1:0\nspool = {WORK}/spool\nfrom = orvantis@example.org\n"
                    f"allow = @example.com\nfallback_after = {FALLBACK_AFTER}\n{settings}")
        os.chmod(self.config, 0o600)
        self.log = os.path.join(WORK, "notifyd.log")

    def start(self):
        starts = open(self.log).read().count(" listening on ") if os.path.exists(self.log) else 0
        self.process = subprocess.Popen([f"{BIN_DIR}/orvantis-notifyd", "--config", self.config],
                                        stderr=open(self.log, "a"))
        wait_for("the service", lambda: open(self.log).read().count(" listening on ") > starts)
        self.url = re.findall(r"listening on (http://[0-9.:]+)", open(self.log).read())[-1]

    def post(self, email):
        body = "".join(f'--{BOUNDARY}\r\nContent-Disposition: form-data; name="{name}"\r\n\r\n{value}\r\n'
                       for name, value in [("type", "gold"), ("email", email), ("last", "1650.00"),
                                           ("new", "1662.50"), ("chg", "12.50")]) + f"--{BOUNDARY}--\r\n"
        request = urllib.request.Request(self.url + "/price_notify.php", body.encode(),
                                         {"Content-Type": "multipart/form-data; boundary=" + BOUNDARY})
        with urllib.request.urlopen(request) as answer:
            alert_id = answer.headers["X-Orvantis-Id"]
            assert answer.read().decode() == f"OK: queued {alert_id}\n"
            return alert_id

    def status(self, alert_id):
        try:
            with urllib.request.urlopen(f"{self.url}/status/{alert_id}") as answer:
                return json.load(answer)
        except urllib.error.HTTPError as error:
            return error.code

    def states(self, alert_id):
        return [channel["state"] for channel in self.status(alert_id)["channels"]]

    def stop(self, sig=signal.SIGTERM):
        self.process.send_signal(sig)
        return self.process.wait(10)


smtp_port = free_port()
mailbox = Mailbox()
smtp = Controller(mailbox, hostname="127.0.0.1", port=smtp_port)
smtp.start()
sinks = Sinks(gotify_token="app-token", secrets={"good": "s3cret", "other": "another"},
              plans={"/gotify/message": [503, 503, 200], "/ntfy/forbidden": [403], "/hook/moved": [302],
                     "/ntfy/busy": [503]},
              holds={"/hook/hang"})
dead = f"http://127.0.0.1:{free_port()}"  # nothing listens there
late_port = free_port()  # a webhook that starts only after the kill

CASES = [  # label, address, route, channel states when it is over, where it arrived, after how many tries
    ("a webhook that answers late", "hang", "webhook:{sink}/hook/hang", ["delivered"], "/hook/hang", 1),
    ("a webhook beside it", "beside", "webhook:{sink}/hook/beside", ["delivered"], "/hook/beside", 1),
    ("push delivered", "push", "ntfy:{sink}/ntfy/gold, mail", ["delivered", "skipped"], "/ntfy/gold", 1),
    ("push down then up", "flaky", "gotify:{sink}/gotify/, mail", ["delivered", "skipped"], "/gotify/message", 3),
    ("push down past fallback_after", "down", "ntfy:{dead}/ntfy/gold, mail", ["failed", "delivered"], "mail", 1),
    ("a permanent 403", "refused", "ntfy:{sink}/ntfy/forbidden, webhook:{sink}/hook/good", ["failed", "delivered"], "/hook/good", 1),
    ("a bad signature secret", "badsig", "webhook:{sink}/hook/other, mail", ["failed", "delivered"], "mail", 1),
    ("a redirect to another scheme", "moved", "webhook:{sink}/hook/moved, mail", ["failed", "delivered"], "mail", 1),
    ("a topic that fails", "busy", "ntfy:{sink}/ntfy/busy, mail", ["failed", "delivered"], "mail", 1),
    ("another topic on its host", "neighbour", "ntfy:{sink}/ntfy/fine, mail", ["delivered", "skipped"], "/ntfy/fine", 1),
    ("kill -9 between two channels", "crash", "ntfy:{sink}/ntfy/forbidden, webhook:http://127.0.0.1:{late}/hook/late", None, None, 1),
]
routes = "".join(f"route {address}@example.com = {route}\n" for _, address, route, *_ in CASES)
service = Service(f"relay = smtp://127.0.0.1:{smtp_port}\ngotify_token = app-token\nwebhook_secret = s3cret\n" +
                  routes.format(sink=sinks.url(""), dead=dead, late=late_port))
service.start()
ids = {address: service.post(f"{address}@example.com") for _, address, *_ in CASES}

# A webhook that does not answer holds only its own alert.
wait_for("the held webhook", lambda: sinks.holding == 1)
wait_for("the webhook beside it", lambda: service.states(ids["beside"]) == ["delivered"])
assert service.states(ids["hang"]) == ["queued"], service.status(ids["hang"])
sinks.release()
wait_for("the held webhook's delivery", lambda: service.states(ids["hang"]) == ["delivered"])

# Between the two channels: the first refused it, the second is not up yet.
wait_for("the first channel's refusal", lambda: service.states(ids["crash"]) == ["failed", "retrying"])
assert service.stop(signal.SIGKILL) == -signal.SIGKILL
late = Sinks(port=late_port)
service.start()

for label, address, _, states, path, tries in CASES[:-1]:
    wait_for(label, lambda: service.status(ids[address])["state"] != "pending")
    assert service.states(ids[address]) == states, (label, service.status(ids[address]))
    if path != "mail":
        arrived = [alert for alert in sinks.delivered if alert["id"] == ids[address]]
        assert [alert["path"] for alert in arrived] == [path], (label, arrived)
        assert sinks.count(ids[address], path) == tries, label
    mails = [text for rcpt, text in mailbox.mails if rcpt == f"{address}@example.com"]
    assert len(mails) == (path == "mail"), (label, mails)
    # A receipt names the outcome, never where a channel points.
    receipt = json.dumps(service.status(ids[address]))
    assert not re.search(rf"127\.0\.0\.1|{sinks.port}|{smtp_port}|/hook/|/ntfy/|ftp:", receipt), (label, receipt)
pushed = next(alert for alert in sinks.delivered if alert["id"] == ids["push"])
assert (pushed["title"], pushed["priority"], pushed["tags"]) == (
    "Gold price changed: 1662.50 (+12.50)", "high", "chart_with_upwards_trend"), pushed
assert service.status(ids["moved"])["channels"][0]["detail"] == "refused: redirect"
assert "a redirect to 'ftp://127.0.0.1/elsewhere', not followed" in open(service.log).read()
assert service.status(ids["down"])["channels"][0]["detail"] == f"no delivery within {FALLBACK_AFTER} s: connection refused"
hooked = next(alert for alert in sinks.delivered if alert["id"] == ids["refused"])
assert (hooked["email"], hooked["last"], hooked["new"], hooked["chg"]) == (
    "refused@example.com", "1650.00", "1662.50", "+12.50"), hooked

wait_for("the crashed alert", lambda: service.status(ids["crash"])["state"] == "delivered")
assert service.states(ids["crash"]) == ["failed", "delivered"]
assert sinks.count(ids["crash"], "/ntfy/forbidden") == 1
assert late.count(ids["crash"], "/hook/late") == 1
assert service.status("../" + ids["crash"]) == 404 and service.status(ids["crash"][:18] + "0" * 32) == 404
assert service.stop() == 0

test = subprocess.run([f"{BIN_DIR}/orvantis-notifyd", "--config", service.config, "--test", "push@example.com"],
                      capture_output=True, text=True, timeout=60)
assert test.returncode == 0 and re.search(r"1\. ntfy at .*: delivered .*\n  2\. mail: delivered", test.stdout), test
assert [alert["title"] for alert in sinks.delivered if alert["path"] == "/ntfy/gold"][-1] == "Orvantis test alert"
smtp.stop()
shutil.rmtree(WORK)
print("push routes: all passed")
