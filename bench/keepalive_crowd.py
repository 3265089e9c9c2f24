#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""A crowd of clients that keep their connection, as proxies and browsers do: each opens
one, sends GET PATH, reads the answer and leaves the connection open until the server
closes it or the run ends. Once the whole crowd has asked, a newcomer asks on a new
connection. Prints one line: clients, the newcomer's answer time in ms, lost requests
(no whole 200 or 304 within 30 s), and the server's threads and RSS (KiB, summed over
PIDS, the server and its workers) at that moment.
    keepalive_crowd.py PORT PATH CLIENTS PID...
"""
import asyncio
import sys
import time

ANSWER_WAIT = 30.0


def status_of(pids):
    threads = rss = 0
    for pid in pids:
        with open(f"/proc/{pid}/status") as status:
            for line in status:
                key, _, value = line.partition(":")
                if key == "Threads":
                    threads += int(value)
                elif key == "VmRSS":
                    rss += int(value.split()[0])
    return threads, rss


async def ask(reader, writer, request, sent=None):
    writer.write(request)
    if sent:
        sent[0] += 1
    head = await asyncio.wait_for(reader.readuntil(b"\r\n\r\n"), ANSWER_WAIT)
    length = 0
    for line in head.split(b"\r\n"):
        if line.lower().startswith(b"content-length:"):
            length = int(line.split(b":")[1])
    await asyncio.wait_for(reader.readexactly(length), ANSWER_WAIT)
    return b" 200 " in head.split(b"\r\n")[0] or b" 304 " in head.split(b"\r\n")[0]


async def client(port, request, lost, sent, stop):
    writer = None
    try:
        reader, writer = await asyncio.open_connection("127.0.0.1", port)
        if not await ask(reader, writer, request, sent):
            lost[0] += 1
        await stop.wait()
    except (OSError, asyncio.IncompleteReadError, asyncio.TimeoutError, ValueError):
        lost[0] += 1
        sent[0] += writer is None  # never connected: it will not send
    finally:
        if writer:
            writer.close()


async def main():
    port, path, clients = int(sys.argv[1]), sys.argv[2], int(sys.argv[3])
    pids = sys.argv[4:]
    request = f"GET {path} HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n".encode()
    lost, sent, stop = [0], [0], asyncio.Event()
    crowd = []
    for _ in range(clients):
        crowd.append(asyncio.create_task(client(port, request, lost, sent, stop)))
        await asyncio.sleep(0)
    # The newcomer comes once every client of the crowd has asked.
    while sent[0] < clients:
        await asyncio.sleep(0.01)
    threads, rss = status_of(pids)
    start = time.monotonic()
    try:
        reader, writer = await asyncio.open_connection("127.0.0.1", port)
        answered = await ask(reader, writer, request)
        writer.close()
    except (OSError, asyncio.IncompleteReadError, asyncio.TimeoutError, ValueError):
        answered = False
    newest = (time.monotonic() - start) * 1000 if answered else float("inf")
    # The crowd's own answers may still be coming: each has ANSWER_WAIT from its request.
    await asyncio.sleep(min(ANSWER_WAIT, 5.0))
    stop.set()
    await asyncio.gather(*crowd)
    print(f"{clients:6d} clients: newest answered in {newest:.0f} ms, {lost[0]} lost, "
          f"{threads} threads, {rss} KiB")


asyncio.run(main())
