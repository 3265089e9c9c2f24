# SPDX-License-Identifier: MIT
"""Small push receivers on 127.0.0.1 for the notification service's tests.

POST /ntfy/<topic>      a topic: the text with Title, Priority and Tags headers
POST /gotify/message    a message endpoint: JSON title, message, priority; X-Gotify-Key
POST /hook/<name>       a webhook: JSON, signed with the secret of that name, if it has one

Each path answers with its plan of statuses in turn (the last one from then on; 200 when
it has none; a 3xx leads to an ftp:// URL); a 2xx is recorded as a delivery. A path in
holds answers nothing until release(). Run as a script (PORT_FILE LOG_FILE
[PORT]), it serves until killed, writes its port to PORT_FILE and appends each delivery
as a JSON line to LOG_FILE.
"""
import hashlib
import hmac
import json
import sys
import threading
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer


class Sinks:
    def __init__(self, port=0, gotify_token="", secrets=None, plans=None, holds=()):
        self.gotify_token = gotify_token
        self.secrets = secrets or {}
        self.plans = {path: list(statuses) for path, statuses in (plans or {}).items()}
        self.requests = []  # every POST: (path, headers, body)
        self.delivered = []  # the accepted ones, as dicts
        self.on_delivery = None
        self.lock = threading.Lock()
        self.holds = set(holds)
        self.released = threading.Event()
        self.holding = 0  # requests held so far
        sinks = self

        class Handler(BaseHTTPRequestHandler):
            def do_POST(self):
                body = self.rfile.read(int(self.headers.get("Content-Length", 0)))
                if self.path in sinks.holds:
                    with sinks.lock:
                        sinks.holding += 1
                    sinks.released.wait()
                status = sinks.answer(self.path, self.headers, body)
                self.send_response(status)
                if 300 <= status < 400:
                    self.send_header("Location", "ftp://127.0.0.1/elsewhere")
                self.send_header("Content-Length", "0")
                self.end_headers()

            def log_message(self, *args):
                pass

        self.server = ThreadingHTTPServer(("127.0.0.1", port), Handler)
        self.port = self.server.server_address[1]
        threading.Thread(target=self.server.serve_forever, daemon=True).start()

    def url(self, path):
        return f"http://127.0.0.1:{self.port}{path}"

    def answer(self, path, headers, body):
        with self.lock:
            self.requests.append((path, dict(headers), body))
            plan = self.plans.get(path, [])
            status = plan.pop(0) if len(plan) > 1 else (plan[0] if plan else 200)
        alert = self.check(path, headers, body)
        if alert is None:
            return 403
        if 200 <= status < 300:
            alert["path"] = path
            with self.lock:
                self.delivered.append(alert)
            if self.on_delivery:
                self.on_delivery(alert)
        return status

    # What the receiver makes of a request, or None when it would refuse it.
    def check(self, path, headers, body):
        alert_id = headers.get("X-Orvantis-Id", "")
        if path.startswith("/ntfy/"):
            return {"id": alert_id, "title": headers.get("Title"), "priority": headers.get("Priority"),
                    "tags": headers.get("Tags"), "text": body.decode()}
        document = json.loads(body)
        if path == "/gotify/message":
            if headers.get("X-Gotify-Key") != self.gotify_token:
                return None
            return {"id": alert_id, "title": document["title"], "text": document["message"],
                    "priority": document["priority"]}
        secret = self.secrets.get(path.removeprefix("/hook/"))
        if secret is not None:
            expected = "sha256=" + hmac.new(secret.encode(), body, hashlib.sha256).hexdigest()
            if not hmac.compare_digest(expected, headers.get("X-Orvantis-Signature", "")):
                return None
        if document["id"] != alert_id:
            return None
        return document

    def release(self):
        self.holds.clear()
        self.released.set()

    def count(self, alert_id, path):
        with self.lock:
            return sum(1 for p, h, _ in self.requests if p == path and h.get("X-Orvantis-Id") == alert_id)

    def stop(self):
        self.server.shutdown()
        self.server.server_close()


if __name__ == "__main__":
    port_file, log_file = sys.argv[1], sys.argv[2]
    sinks = Sinks(port=int(sys.argv[3]) if len(sys.argv) > 3 else 0)
    log = open(log_file, "a", buffering=1)
    sinks.on_delivery = lambda alert: log.write(json.dumps(alert) + "\n")
    with open(port_file + ".tmp", "w") as f:
        f.write(str(sinks.port))
    import os
    os.rename(port_file + ".tmp", port_file)
    threading.Event().wait()
