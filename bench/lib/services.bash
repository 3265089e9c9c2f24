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
